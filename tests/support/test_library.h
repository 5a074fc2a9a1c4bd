// Test helpers: a library folder on the real disk and a progress observer
// that records what it was told.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "audit/progress.h"
#include "platform/files.h"
#include "platform/forwarding_files.h"

namespace corvane::testing {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempLibrary {
  public:
    TempLibrary();
    ~TempLibrary();
    TempLibrary(const TempLibrary&) = delete;
    TempLibrary& operator=(const TempLibrary&) = delete;

    // The library root, ending in the separator.
    const std::string& Root() const { return m_Root; }
    std::string Path(std::string_view relative) const { return m_Root + std::string(relative); }

    // Writes a file (and its folders). A stamp "YYYY-MM-DD HH:MM" sets its
    // last-write time in local time.
    void Write(std::string_view relative, std::string_view bytes, std::string_view stamp = {});
    void MakeFolder(std::string_view relative);
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;
    // Every file below the root, relative paths in byte order.
    std::vector<std::string> Files() const;

    std::string Report() const { return Read("Corvane.htm"); }

  private:
    std::string m_Root;
};

// A regular file as the tests compare it: bytes, permission bits and
// last-write time to the second.
struct FileState {
    std::string bytes;
    unsigned mode = 0;
    std::int64_t mtime = 0;
    bool operator==(const FileState&) const = default;
};
using Tree = std::map<std::string, FileState>;

// The regular files below root (links not followed), by relative path; with
// libraryOnly, not those under backup/, the report or temporary files.
Tree TreeOf(const std::string& root, bool libraryOnly);

// Lines joined with CR LF, the usual form of library files.
std::string CrLf(std::initializer_list<std::string_view> lines);

class RecordingProgress : public ProgressObserver {
  public:
    void Status(const std::string& text) override { m_Shown.push_back(text); }
    void ItemRemoved(const OlderItem& item, size_t left) override {
        m_Removed.push_back({item, left});
    }
    std::string Last() const { return m_Shown.empty() ? "" : m_Shown.back(); }

    std::vector<std::string> m_Shown;  // the status texts, in order
    std::vector<std::pair<OlderItem, size_t>> m_Removed;
};

using platform::ForwardingFileSystem;

}  // namespace corvane::testing
