#include "bench/floor.h"

#include <string_view>
#include <thread>
#include <vector>

#include "audit/check_run.h"
#include "text/text.h"

namespace corvane::bench {

namespace {

// Calls file with the path of every library file, in the order of the
// folders' listings.
template <typename File>
void WalkFolder(platform::FileSystem& fs, const std::string& folder, std::string_view extension,
                File& file) {
    std::string path;
    for (const platform::FolderEntry& entry : fs.ListFolder(folder)) {
        path = folder;
        path += platform::kSeparator;
        path += entry.name;
        if (entry.kind == platform::EntryKind::kFolder) {
            WalkFolder(fs, path, extension, file);
        } else if (entry.kind == platform::EntryKind::kFile &&
                   text::EndsWithNoCase(entry.name, extension)) {
            file(path);
        }
    }
}

template <typename File>
void WalkLibrary(platform::FileSystem& fs, const std::string& libraryRoot, File file) {
    for (const Category& category : kCategories) {
        std::string_view pattern = category.pattern;
        WalkFolder(fs, libraryRoot + category.title, pattern.substr(pattern.find('.')), file);
    }
}

}  // namespace

FloorResult ReadLibraryFiles(platform::FileSystem& fs, const std::string& libraryRoot) {
    FloorResult result;
    std::string bytes;
    WalkLibrary(fs, libraryRoot, [&](const std::string& path) {
        fs.ReadFile(path, bytes);
        ++result.files;
        result.bytes += std::int64_t(bytes.size());
    });
    return result;
}

FloorResult ReadLibraryFilesOnThreads(platform::FileSystem& fs, const std::string& libraryRoot,
                                      unsigned threads) {
    std::vector<std::string> paths;
    WalkLibrary(fs, libraryRoot, [&](const std::string& path) { paths.push_back(path); });
    std::atomic<size_t> next{0};
    std::atomic<std::int64_t> bytesRead{0};
    auto read = [&] {
        std::string bytes;
        for (size_t i; (i = next++) < paths.size();) {
            fs.ReadFile(paths[i], bytes);
            bytesRead += std::int64_t(bytes.size());
        }
    };
    std::vector<std::thread> readers;
    for (unsigned i = 1; i < threads; ++i) readers.emplace_back(read);
    read();
    for (std::thread& reader : readers) reader.join();
    return {std::int64_t(paths.size()), bytesRead.load()};
}

}  // namespace corvane::bench
