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
    std::unique_ptr<ContainedTree> OpenTree(const std::string& top) override {
        return m_Target.OpenTree(top);
    }
    std::unique_ptr<FolderLock> LockFolder(const std::string& folder) override {
        return m_Target.LockFolder(folder);
    }

  protected:
    FileSystem& m_Target;
};

}  // namespace corvane::platform
