// Test helpers: a library folder on the real disk, a progress display that
// records what it was told, and a report kept in memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "audit/check_state.h"
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

struct ProgressEvent {
    enum Kind { kStatus, kRefresh, kLabel, kEnable, kDisable } kind;
    std::string text;
    bool operator==(const ProgressEvent&) const = default;
};

class RecordingProgress : public ProgressDisplay, public DeleteButton {
  public:
    void SetStatus(const std::string& text) override {
        m_Status = text;
        m_Events.push_back({ProgressEvent::kStatus, text});
    }
    void RefreshStatus() override { m_Events.push_back({ProgressEvent::kRefresh, m_Status}); }
    DeleteButton* GetDeleteButton() override { return this; }
    void SetLabel(const std::string& label) override {
        m_Label = label;
        m_Events.push_back({ProgressEvent::kLabel, label});
    }
    void Enable(bool enabled) override {
        m_Enabled = enabled;
        m_Events.push_back({enabled ? ProgressEvent::kEnable : ProgressEvent::kDisable, ""});
    }

    // The texts shown on the screen by RefreshStatus, in order.
    std::vector<std::string> Refreshed() const;

    std::string m_Status;
    std::string m_Label = "Delete older items";
    bool m_Enabled = false;
    std::vector<ProgressEvent> m_Events;
};

using platform::ForwardingFileSystem;

}  // namespace corvane::testing
