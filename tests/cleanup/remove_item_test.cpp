// Removal on the disk: the backup, the replacement of the library file, and
// what is left after a failure of any single file operation.
#include <gtest/gtest.h>

#include <algorithm>

#include "cleanup/delete_older.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

const std::string kTwoItems = CrLf({"name coach", "skin x", "[end]", "name wagon", "[end]"});
const std::string kWithoutCoach = CrLf({"", "name wagon", "[end]"});
const std::string kOnlyCoach = CrLf({"name coach", "[end]"});

bool HasTemporaryFile(const TempLibrary& library) {
    for (const std::string& file : library.Files()) {
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".tmp") == 0) return true;
    }
    return false;
}

TEST(RemoveItem, LeftoverTemporaryFilesDoNotSurvive) {
    TempLibrary library;
    for (const char* file : {"Stock/two.stk", "Stock/one.stk"}) {
        library.Write(file, file == std::string("Stock/two.stk") ? kTwoItems : kOnlyCoach);
        library.Write(file + std::string(".tmp"), "left over from an earlier failure");
    }
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    remover.RemoveItem("coach", "Stock/two.stk");
    remover.RemoveItem("coach", "Stock/one.stk");
    remover.Commit();
    EXPECT_EQ(library.Files(), (std::vector<std::string>{"Stock/two.stk", "backup/Stock/one.stk",
                                                         "backup/Stock/two.stk"}));
    EXPECT_EQ(library.Read("Stock/two.stk"), kWithoutCoach);
}

TEST(RemoveItem, BackupHoldsTheFileAsItWasBeforeTheCommand) {
    TempLibrary library;
    const std::string original = CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"});
    library.Write("Stock/abc.stk", original);
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    remover.RemoveItem("a", "Stock/abc.stk");
    remover.Commit();
    remover.RemoveItem("b", "Stock/abc.stk");
    remover.Commit();
    EXPECT_EQ(library.Read("Stock/abc.stk"), CrLf({"", "", "name c", "[end]"}));
    EXPECT_EQ(library.Read("backup/Stock/abc.stk"), original);

    // The next command starts a new backup from the file as it is then.
    ItemRemover next(library.Root(), platform::RealFileSystem());
    next.RemoveItem("c", "Stock/abc.stk");
    next.Commit();
    EXPECT_EQ(library.Read("backup/Stock/abc.stk"), CrLf({"", "", "name c", "[end]"}));
    EXPECT_FALSE(library.Exists("Stock/abc.stk"));
}

TEST(RemoveItem, TheSameEntryTwiceTouchesTheFileOnce) {
    TempLibrary library;
    library.Write("Stock/mk1.stk", CrLf({"name coach", "[end]", "name coach", "[end]"}));
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    remover.RemoveItem("coach", "Stock/mk1.stk");
    remover.Commit();
    EXPECT_NO_THROW(remover.RemoveItem("coach", "Stock/mk1.stk"));
    EXPECT_FALSE(library.Exists("Stock/mk1.stk"));
    // Another name in a file that has gone is an error that names it.
    EXPECT_THROW(remover.RemoveItem("wagon", "Stock/mk1.stk"), platform::FileError);
}

TEST(RemoveItem, BackupThatCannotBeWrittenLeavesTheLibraryFileAlone) {
    TempLibrary library;
    library.Write("Stock/mk1.stk", kTwoItems);
    library.Write("backup", "a plain file where the backup folder belongs");
    ItemRemover remover(library.Root(), platform::RealFileSystem());
    try {
        remover.RemoveItem("coach", "Stock/mk1.stk");
        FAIL() << "the removal went on without a backup";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), library.Root() + "backup");
        EXPECT_NE(std::string(error.what()).find("create the folder"), std::string::npos);
    }
    EXPECT_EQ(library.Read("Stock/mk1.stk"), kTwoItems);
    EXPECT_FALSE(HasTemporaryFile(library));
}

// Fails the n-th file operation that changes or reads the disk, once.
class FaultyFileSystem : public testing::ForwardingFileSystem {
  public:
    explicit FaultyFileSystem(int failAt) : m_FailAt(failAt) {}

    int Operations() const { return m_Count; }
    bool Failed() const { return m_Count >= m_FailAt; }

    void Step(const std::string& what, const std::string& path) {
        if (++m_Count == m_FailAt) throw platform::FileError(what, path, "injected failure");
    }

    platform::FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        Step("open for reading", path);
        return m_Target.ReadFile(path, bytes);
    }
    std::unique_ptr<platform::OutputFile> Create(const std::string& path) override {
        Step("create", path);
        return std::make_unique<File>(*this, m_Target.Create(path), path);
    }
    void Rename(const std::string& from, const std::string& to) override {
        Step("move", to);
        m_Target.Rename(from, to);
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
            // A write that fails part-way leaves half of its bytes behind.
            if (m_Fs.m_Count + 1 == m_Fs.m_FailAt) {
                m_Real->Write(bytes.substr(0, bytes.size() / 2));
                m_Real->Close();
            }
            m_Fs.Step("write", m_Path);
            m_Real->Write(bytes);
        }
        void Close() override {
            m_Fs.Step("close", m_Path);
            m_Real->Close();
        }

      private:
        FaultyFileSystem& m_Fs;
        std::unique_ptr<platform::OutputFile> m_Real;
        std::string m_Path;
    };

    int m_FailAt;
    int m_Count = 0;
};

TEST(DeleteOlderItems, AfterAFailureAnywhereNothingIsLost) {
    struct File {
        const char* path;
        std::string before;
        std::vector<std::string> after;  // allowed results, the last the final one; "" gone
        const char* earlierBackup;
    };
    const std::string abc = CrLf({"name a", "[end]", "name b", "[end]", "name c", "[end]"});
    const File files[] = {
        {"Stock/Deep/mk1.stk", kTwoItems, {kWithoutCoach}, "from an earlier command"},
        {"Stock/only.stk", kOnlyCoach, {""}, nullptr},
        {"Stock/abc.stk",
         abc,
         {CrLf({"", "name b", "[end]", "name c", "[end]"}), CrLf({"", "", "name c", "[end]"})},
         nullptr},
    };
    bool completed = false;
    for (int failAt = 1; !completed; ++failAt) {
        SCOPED_TRACE("failing operation " + std::to_string(failAt));
        ASSERT_LT(failAt, 200);
        TempLibrary library;
        for (const File& file : files) {
            library.Write(file.path, file.before);
            if (file.earlierBackup) {
                library.Write(std::string("backup/") + file.path, file.earlierBackup);
            }
        }
        const std::vector<OlderItem> older = {{"coach", "Stock/Deep/mk1.stk"},
                                              {"coach", "Stock/only.stk"},
                                              {"a", "Stock/abc.stk"},
                                              {"b", "Stock/abc.stk"}};
        FaultyFileSystem fs(failAt);
        testing::RecordingProgress progress;
        try {
            DeleteOlderItems(library.Root(), older, progress, fs);
            completed = true;
        } catch (const platform::FileError& error) {
            ASSERT_TRUE(fs.Failed()) << error.what();
        }

        for (const File& file : files) {
            SCOPED_TRACE(file.path);
            const bool present = library.Exists(file.path);
            const std::string now = present ? library.Read(file.path) : "";
            const std::string backupPath = std::string("backup/") + file.path;
            if (completed) {
                EXPECT_EQ(now, file.after.back());
            }
            if (present && now == file.before) {
                if (library.Exists(backupPath)) {
                    const std::string backup = library.Read(backupPath);
                    EXPECT_TRUE(backup == file.before ||
                                (file.earlierBackup && backup == file.earlierBackup));
                }
                continue;
            }
            // Changed: to an allowed result, and only once its backup is complete.
            EXPECT_NE(std::find(file.after.begin(), file.after.end(), now), file.after.end());
            EXPECT_EQ(library.Read(backupPath), file.before);
        }
        EXPECT_FALSE(HasTemporaryFile(library));
    }
}

}  // namespace
}  // namespace corvane
