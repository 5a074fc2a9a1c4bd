// A FileSystem that fails the n-th operation that reads or changes the disk,
// once; a write that fails leaves half of its bytes in the temporary file.
#pragma once

#include <memory>
#include <string>

#include "platform/forwarding_files.h"

namespace corvane::testing {

class FaultyFileSystem : public platform::ForwardingFileSystem {
  public:
    explicit FaultyFileSystem(int failAt) : m_FailAt(failAt) {}

    bool Failed() const { return m_Count >= m_FailAt; }

    void Step(const std::string& what, const std::string& path) {
        if (++m_Count == m_FailAt) throw platform::FileError(what, path, "injected failure");
    }

    platform::FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        Step("open for reading", path);
        return m_Target.ReadFile(path, bytes);
    }
    platform::FileAttributes ReadFileWithAttributes(const std::string& path,
                                                    std::string& bytes) override {
        Step("open for reading", path);
        return m_Target.ReadFileWithAttributes(path, bytes);
    }
    std::unique_ptr<platform::OutputFile> Create(const std::string& path) override {
        Step("create", path);
        return std::make_unique<File>(*this, m_Target.Create(path), path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        Step("move", to);
        m_Target.Rename(from, to);
    }
    void RenameNoReplace(const std::string& from, const std::string& to) override {
        Step("move", to);
        m_Target.RenameNoReplace(from, to);
    }
    void Remove(const std::string& path) override {
        Step("delete", path);
        m_Target.Remove(path);
    }
    void MakeFolder(const std::string& path) override {
        Step("create the folder", path);
        m_Target.MakeFolder(path);
    }
    void SyncAll(const std::string& path) override {
        Step("flush to disk", path);
        m_Target.SyncAll(path);
    }

  private:
    class File : public platform::OutputFile {
      public:
        File(FaultyFileSystem& fs, std::unique_ptr<platform::OutputFile> real, std::string path)
            : m_Fs(fs), m_Real(std::move(real)), m_Path(std::move(path)) {}
        void Write(std::string_view bytes) override {
            if (m_Fs.m_Count + 1 == m_Fs.m_FailAt) {
                m_Real->Write(bytes.substr(0, bytes.size() / 2));
                m_Real->Finish();
            }
            m_Fs.Step("write", m_Path);
            m_Real->Write(bytes);
        }
        void KeepPermissions(const platform::FileAttributes& from) override {
            m_Real->KeepPermissions(from);
        }
        void KeepLastWriteTime(const platform::FileAttributes& from) override {
            m_Real->KeepLastWriteTime(from);
        }
        void Finish() override {
            m_Fs.Step("finish", m_Path);
            m_Real->Finish();
        }
        void Close() override {
            m_Fs.Step("close", m_Path);
            m_Real->Close();
        }
        void CloseAsNew() override {
            m_Fs.Step("close", m_Path);
            m_Real->CloseAsNew();
        }

      private:
        FaultyFileSystem& m_Fs;
        std::unique_ptr<platform::OutputFile> m_Real;
        std::string m_Path;
    };

    int m_FailAt;
    int m_Count = 0;
};

}  // namespace corvane::testing
