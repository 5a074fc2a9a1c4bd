// A FileSystem that hands every operation to another one. Tests and the
// benchmark derive from it and override the operations they watch or disturb.
// ReadFileIn is not handed on: it reads by path through ReadFile, so that an
// override of ReadFile sees every library file read.
#pragma once

#include "platform/files.h"

namespace corvane::platform {

class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& target = RealFileSystem()) : m_Target(target) {}

    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        return m_Target.ListFolder(folder);
    }
    EntryKind KindOf(const std::string& path) override { return m_Target.KindOf(path); }
    EntryKind KindOfEntry(const std::string& path) override { return m_Target.KindOfEntry(path); }
    std::optional<FileIdentity> IdentityOf(const std::string& folder) override {
        return m_Target.IdentityOf(folder);
    }
    FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        return m_Target.ReadFile(path, bytes);
    }
    FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) override {
        return m_Target.ReadFileWithAttributes(path, bytes);
    }
    bool CanRead(const std::string& path) override { return m_Target.CanRead(path); }
    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        return m_Target.Create(path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        m_Target.Rename(from, to);
    }
    void RenameNoReplace(const std::string& from, const std::string& to) override {
        m_Target.RenameNoReplace(from, to);
    }
    void Remove(const std::string& path) override { m_Target.Remove(path); }
    void MakeFolder(const std::string& path) override { m_Target.MakeFolder(path); }
    void SyncAll(const std::string& path) override { m_Target.SyncAll(path); }

  protected:
    FileSystem& m_Target;
};

}  // namespace corvane::platform
