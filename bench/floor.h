// The read-only floor of a check run: the walk over the five category folders
// and the reading of every library file's bytes through the platform layer,
// with nothing parsed. A check run cannot be faster than this.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace corvane::bench {

struct FloorResult {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// Reads every library file of the library whose root ends in the separator.
FloorResult ReadLibraryFiles(platform::FileSystem& fs, const std::string& libraryRoot);

// Passes every call on to another file system and counts the library files
// read (ReadFile calls) and the texture tests (CanRead calls).
class CountingFileSystem final : public platform::FileSystem {
  public:
    explicit CountingFileSystem(platform::FileSystem& inner) : m_Inner(inner) {}

    std::int64_t Reads() const { return m_Reads; }
    std::int64_t ReadBytes() const { return m_ReadBytes; }

    std::vector<platform::FolderEntry> ListFolder(const std::string& folder) override {
        return m_Inner.ListFolder(folder);
    }
    platform::EntryKind KindOf(const std::string& path) override { return m_Inner.KindOf(path); }
    std::optional<platform::FolderIdentity> IdentityOf(const std::string& folder) override {
        return m_Inner.IdentityOf(folder);
    }
    std::int64_t LastWriteTime(const std::string& path) override {
        return m_Inner.LastWriteTime(path);
    }
    void ReadFile(const std::string& path, std::string& bytes) override {
        m_Inner.ReadFile(path, bytes);
        ++m_Reads;
        m_ReadBytes += std::int64_t(bytes.size());
    }
    bool CanRead(const std::string& path) override { return m_Inner.CanRead(path); }
    std::unique_ptr<platform::OutputFile> Create(const std::string& path) override {
        return m_Inner.Create(path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        m_Inner.Rename(from, to);
    }
    void Remove(const std::string& path) override { m_Inner.Remove(path); }
    void MakeFolder(const std::string& path) override { m_Inner.MakeFolder(path); }
    void SyncFolder(const std::string& folder) override { m_Inner.SyncFolder(folder); }

  private:
    platform::FileSystem& m_Inner;
    std::int64_t m_Reads = 0;
    std::int64_t m_ReadBytes = 0;
};

}  // namespace corvane::bench
