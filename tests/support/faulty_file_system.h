// A FileSystem that disturbs the n-th operation that reads or changes the
// disk (every suite's one scripted fault injector). Its modes:
//   kFail  the operation fails once with a FileError; a write that fails
//          leaves half of its bytes in the temporary file;
//   kKill  the process "dies" there: that operation and every later one
//          fails, and nothing cleans up after it (temporary files stay, as
//          after a kill), so that what the next command finds can be tested;
//   kHook  a test's action runs just before every operation, told what the
//          operation is and the path it names (to make an edit by someone
//          else, or start a second command, at the right moment); the
//          operation then goes on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/forwarding_files.h"

namespace corvane::testing {

class FaultyFileSystem : public platform::ForwardingFileSystem {
  public:
    enum class Mode { kFail, kKill, kHook };
    using Hook = std::function<void(const std::string& what, const std::string& path)>;

    explicit FaultyFileSystem(int at, Mode mode = Mode::kFail, Hook hook = {})
        : m_At(at), m_Mode(mode), m_Hook(std::move(hook)) {}

    // Whether the n-th operation came.
    bool Reached() const { return m_Count >= m_At; }
    int Count() const { return m_Count; }

    void Step(const std::string& what, const std::string& path) {
        if (m_Killed) throw platform::FileError(what, path, "the process was killed");
        ++m_Count;
        if (m_Mode == Mode::kHook) {
            m_Hook(what, path);
            return;
        }
        if (m_Count != m_At) return;
        switch (m_Mode) {
            case Mode::kFail:
                throw platform::FileError(what, path, "injected failure");
            case Mode::kKill:
                m_Killed = true;
                throw platform::FileError(what, path, "the process was killed");
            case Mode::kHook:
                return;
        }
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
    std::unique_ptr<platform::ContainedTree> OpenTree(const std::string& top) override {
        Step("open the folder", top);
        return std::make_unique<Tree>(*this, m_Target.OpenTree(top));
    }

  private:
    class File : public platform::OutputFile {
      public:
        File(FaultyFileSystem& fs, std::unique_ptr<platform::OutputFile> real, std::string path)
            : m_Fs(fs), m_Real(std::move(real)), m_Path(std::move(path)) {}
        // A killed process removes nothing: its files are closed where they
        // stand, under their temporary names, and kept until the file system
        // goes.
        ~File() override {
            if (!m_Fs.m_Killed) return;
            try {
                m_Real->Finish();
            } catch (const platform::FileError&) {
            }
            m_Fs.m_Abandoned.push_back(std::move(m_Real));
        }
        void Write(std::string_view bytes) override {
            if (m_Fs.m_Count + 1 == m_Fs.m_At && m_Fs.m_Mode == Mode::kFail) {
                m_Real->Write(bytes.substr(0, bytes.size() / 2));
                m_Real->Finish();
            }
            m_Fs.Step("write", m_Path);
            m_Real->Write(bytes);
        }
        std::vector<std::string> KeepAttributesOf(platform::InputFile& source,
                                                  bool lastWriteTime) override {
            m_Fs.Step("keep the attributes of", m_Path);
            return m_Real->KeepAttributesOf(source, lastWriteTime);
        }
        void Finish() override {
            m_Fs.Step("finish", m_Path);
            m_Real->Finish();
        }
        void Place() override {
            m_Fs.Step("place", m_Path);
            m_Real->Place();
        }
        void PlaceIfFree() override {
            m_Fs.Step("place", m_Path);
            m_Real->PlaceIfFree();
        }
        void PlaceIfUnchanged(const platform::FileVersion& expected) override {
            m_Fs.Step("replace", m_Path);
            m_Real->PlaceIfUnchanged(expected);
        }

      private:
        FaultyFileSystem& m_Fs;
        std::unique_ptr<platform::OutputFile> m_Real;
        std::string m_Path;
    };

    class Tree : public platform::ContainedTree {
      public:
        Tree(FaultyFileSystem& fs, std::unique_ptr<platform::ContainedTree> real)
            : ContainedTree(real->Top()), m_Fs(fs), m_Real(std::move(real)) {}
        platform::EntryKind KindOfEntry(std::string_view relative) override {
            return m_Real->KindOfEntry(relative);
        }
        std::vector<platform::FolderEntry> ListFolder(std::string_view relative) override {
            return m_Real->ListFolder(relative);
        }
        std::unique_ptr<platform::InputFile> OpenForReading(std::string_view relative) override {
            m_Fs.Step("open for reading", FullPath(relative));
            return m_Real->OpenForReading(relative);
        }
        std::unique_ptr<platform::OutputFile> Create(std::string_view relative,
                                                     std::string_view tag) override {
            m_Fs.Step("create", FullPath(relative));
            return std::make_unique<File>(m_Fs, m_Real->Create(relative, tag), FullPath(relative));
        }
        void MakeFolders(std::string_view relative) override {
            m_Fs.Step("create the folder", FullPath(relative));
            m_Real->MakeFolders(relative);
        }
        void MoveIfFree(std::string_view from, std::string_view to) override {
            m_Fs.Step("move", FullPath(to));
            m_Real->MoveIfFree(from, to);
        }
        void RemoveIfUnchanged(std::string_view relative,
                               const platform::FileVersion& expected) override {
            m_Fs.Step("delete", FullPath(relative));
            m_Real->RemoveIfUnchanged(relative, expected);
        }
        bool RemoveFile(std::string_view relative) override {
            m_Fs.Step("delete", FullPath(relative));
            return m_Real->RemoveFile(relative);
        }
        void SyncAll() override {
            m_Fs.Step("flush to disk", Top());
            m_Real->SyncAll();
        }

      private:
        FaultyFileSystem& m_Fs;
        std::unique_ptr<platform::ContainedTree> m_Real;
    };

    int m_At;
    Mode m_Mode;
    Hook m_Hook;
    int m_Count = 0;
    bool m_Killed = false;
    std::vector<std::unique_ptr<platform::OutputFile>> m_Abandoned;
};

}  // namespace corvane::testing
