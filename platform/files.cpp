// The parts of the file layer that are the same on every system.
#include "platform/files.h"

#include <cstring>

namespace corvane::platform {

FileError::FileError(std::string operation, std::string path, std::string reason)
    : std::runtime_error("cannot " + operation + " \"" + path + "\": " + reason),
      m_Operation(std::move(operation)),
      m_Path(std::move(path)) {}

FileError::FileError(std::string operation, std::string path, int errorNumber)
    : FileError(std::move(operation), std::move(path), std::strerror(errorNumber)) {}

std::string_view FolderOf(std::string_view path) {
    size_t slash = path.rfind(kSeparator);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != kSeparator) path += kSeparator;
    return path;
}

}  // namespace corvane::platform
