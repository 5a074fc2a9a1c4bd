// A FileSystem that disturbs the n-th operation that reads or changes the
// disk (every suite's one scripted fault injector). Its modes:
//   kFail  the operation fails once with a FileError; a write that fails
//          leaves half of its bytes in the temporary file;
//   kKill  the process "dies" there: that operation and every later one
//          fails, and nothing cleans up after it (temporary files stay, as
//          after a kill), so that what the next command finds can be tested;
//   kHook  the hook runs just before every operation, told what it is and the
//          path it names: to record it, to edit the disk or start a second
//          command at that moment, or to throw (a file or folder that cannot
//          be read); unless it throws, the operation then goes on.
// The check's workers call it from several threads: operations are counted,
// and the hook called, one at a time.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
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
    // Runs hook before every operation.
    explicit FaultyFileSystem(Hook hook) : FaultyFileSystem(0, Mode::kHook, std::move(hook)) {}

    // Whether the n-th operation came.
    bool Reached() const { return m_Count >= m_At; }

    void Step(const std::string& what, const std::string& path) {
        std::lock_guard<std::recursive_mutex> hold(m_Lock);
        if (m_Killed) throw platform::FileError(what, path, "the process was killed");
        if (m_Mode == Mode::kHook) return m_Hook(what, path);
        if (++m_Count != m_At) return;
        m_Killed = m_Mode == Mode::kKill;
        throw platform::FileError(what, path,
                                  m_Killed ? "the process was killed" : "injected failure");
    }

    std::vector<platform::FolderEntry> ListFolder(const std::string& folder) override {
        Step("list the folder", folder);
        return m_Target.ListFolder(folder);
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
            Then("write")->Write(bytes);
        }
        std::vector<std::string> KeepAttributesOf(platform::InputFile& source,
                                                  bool lastWriteTime) override {
            return Then("keep the attributes of")->KeepAttributesOf(source, lastWriteTime);
        }
        void Finish() override { Then("finish")->Finish(); }
        void Place() override { Then("place")->Place(); }
        void PlaceIfFree() override { Then("place")->PlaceIfFree(); }
        void PlaceIfUnchanged(const platform::FileVersion& expected) override {
            Then("replace")->PlaceIfUnchanged(expected);
        }

      private:
        platform::OutputFile* Then(const char* what) {
            m_Fs.Step(what, m_Path);
            return m_Real.get();
        }
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
            return Then("list the folder", relative)->ListFolder(relative);
        }
        std::unique_ptr<platform::InputFile> OpenForReading(std::string_view relative) override {
            return Then("open for reading", relative)->OpenForReading(relative);
        }
        std::unique_ptr<platform::OutputFile> Create(std::string_view relative,
                                                     std::string_view tag) override {
            return std::make_unique<File>(m_Fs, Then("create", relative)->Create(relative, tag),
                                          FullPath(relative));
        }
        void MakeFolders(std::string_view relative) override {
            Then("create the folder", relative)->MakeFolders(relative);
        }
        void MoveIfFree(std::string_view from, std::string_view to) override {
            Then("move", to)->MoveIfFree(from, to);
        }
        void RemoveIfUnchanged(std::string_view relative,
                               const platform::FileVersion& expected) override {
            Then("delete", relative)->RemoveIfUnchanged(relative, expected);
        }
        bool RemoveFile(std::string_view relative) override {
            return Then("delete", relative)->RemoveFile(relative);
        }
        void SyncAll() override { Then("flush to disk", "")->SyncAll(); }

      private:
        platform::ContainedTree* Then(const char* what, std::string_view relative) {
            m_Fs.Step(what, FullPath(relative));
            return m_Real.get();
        }
        FaultyFileSystem& m_Fs;
        std::unique_ptr<platform::ContainedTree> m_Real;
    };

    int m_At;
    Mode m_Mode;
    Hook m_Hook;
    std::recursive_mutex m_Lock;
    int m_Count = 0;
    bool m_Killed = false;
    std::vector<std::unique_ptr<platform::OutputFile>> m_Abandoned;
};

}  // namespace corvane::testing
