// What every FileSystem shares, whatever the system beneath it.
#include "platform/files.h"

namespace corvane::platform {

std::unique_ptr<OpenFolder> FileSystem::OpenFolderForReading(const std::string& folder) {
    return std::make_unique<OpenFolder>(folder);
}

FileFacts FileSystem::ReadFileIn(const OpenFolder& folder, std::string_view name,
                                 std::string& bytes) {
    std::string path = folder.Path();
    path += kSeparator;
    path += name;
    return ReadFile(path, bytes);
}

}  // namespace corvane::platform
