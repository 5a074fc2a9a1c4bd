#include "bench/floor.h"

#include <string_view>

#include "audit/check_run.h"
#include "text/text.h"

namespace corvane::bench {

namespace {

void ReadFolder(platform::FileSystem& fs, const std::string& folder, std::string_view extension,
                std::string& bytes, FloorResult& result) {
    std::string path;
    for (const platform::FolderEntry& entry : fs.ListFolder(folder)) {
        path = folder;
        path += platform::kSeparator;
        path += entry.name;
        if (entry.kind == platform::EntryKind::kFolder) {
            ReadFolder(fs, path, extension, bytes, result);
        } else if (entry.kind == platform::EntryKind::kFile &&
                   text::EndsWithNoCase(entry.name, extension)) {
            fs.ReadFile(path, bytes);
            ++result.files;
            result.bytes += std::int64_t(bytes.size());
        }
    }
}

}  // namespace

FloorResult ReadLibraryFiles(platform::FileSystem& fs, const std::string& libraryRoot) {
    FloorResult result;
    std::string bytes;
    for (const Category& category : kCategories) {
        std::string_view pattern = category.pattern;
        ReadFolder(fs, libraryRoot + category.title, pattern.substr(pattern.find('.')), bytes,
                   result);
    }
    return result;
}

}  // namespace corvane::bench
