// Checks with several workers against the check that reads the files one by one: the same report
// bytes, the same findings with their line numbers, the same queued older items, the same progress
// texts, and the same error at the same place when a read or a listing fails.
#include "audit/pipeline.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "audit/check_run.h"
#include "audit/item_stamp.h"
#include "audit/library_root.h"
#include "audit/walk.h"
#include "bench/floor.h"
#include "bench/library_gen.h"
#include "commands/commands.h"
#include "report/json_report.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::TempLibrary;

// A generated library with a few hostile corners: a link back up the tree, a FIFO named like a
// library file, folders that differ only in case, a file that names the same texture on many lines.
struct Library {
    TempLibrary temp;
    std::string root = temp.Path("lib/");
    bench::Manifest generated;
    bench::FloorResult floor;  // of the generated library alone
    Library() {
        generated = bench::GenerateLibrary(root, 120, 7);
        floor = bench::ReadLibraryFiles(platform::RealFileSystem(), root);
        std::filesystem::create_directories(root + "Stock/loop");
        std::filesystem::create_directory_symlink("../..", root + "Stock/loop/up");
        ::mkfifo((root + "Track/fifo.stt").c_str(), 0644);
        temp.Write("lib/Scenery/Case/a.stc", CrLf({"name case_a", "skin", "skin", "skin x"}));
        temp.Write("lib/Scenery/case/a.stc", CrLf({"name case_a", "include 0 0 0 case_b"}));
        temp.Write("lib/Scenery/case/b.stc", CrLf({"name case_b", "texture \"../Case/a.stc\""}));
    }
};

struct Outcome {
    std::string error;  // what the run raised
    std::string report;
    std::string json;  // every finding with its line numbers
    std::vector<std::string> progress;
    std::vector<OlderItem> older;
    bool operator==(const Outcome&) const = default;
};

// The status texts and the counts of files and items, in order.
class ProgressLog final : public ProgressObserver {
  public:
    void Status(const std::string& text) override { m_Log.push_back(text); }
    void FileChecked(size_t files, size_t items) override {
        m_Log.push_back(std::to_string(files) + " " + std::to_string(items));
    }
    std::vector<std::string> m_Log;
};

Outcome Check(const std::string& root, platform::FileSystem& fs, unsigned jobs) {
    ProgressLog progress;
    FindingsCollector findings;
    Outcome outcome;
    try {
        outcome.older =
            CheckAndWriteReport(root, progress, {.fs = &fs, .jobs = jobs, .findings = &findings})
                .olderItems;
    } catch (const std::exception& error) {
        outcome.error = error.what();
    }
    outcome.json = JsonReport(findings.Result());
    platform::RealFileSystem().ReadFile(root + kReportName, outcome.report);
    outcome.progress = progress.m_Log;
    return outcome;
}

// Fails the read of one library file, or the listing of one folder, and records in which order the
// files were read.
struct Faults {
    std::string badFile, badFolder;
    std::vector<std::string> read{};
    testing::FaultyFileSystem fs{[this](const std::string& what, const std::string& path) {
        if (what == "open for reading") read.push_back(path);
        if ((what == "open for reading" && path == badFile) ||
            (what == "list the folder" && path == badFolder)) {
            throw platform::FileError(what, path, EIO);
        }
    }};
};

TEST(Pipeline, EveryWorkerCountGivesTheSerialOutcome) {
    Library library;
    Faults serialFs;
    const Outcome serial = Check(library.root, serialFs.fs, 1);
    ASSERT_EQ(serial.error, "");
    ASSERT_GT(serial.older.size(), 0u);
    const std::vector<std::string> read = serialFs.read;
    // The benchmark's generator and floor: every kind of row, and the files the floor reads are
    // those generated and those the check reads once.
    EXPECT_EQ(std::pair(library.floor.files, library.floor.bytes),
              std::pair(library.generated.files, library.generated.bytes));
    EXPECT_EQ(std::int64_t(read.size()), library.generated.files + 3);  // and the case folders'
    for (const char* row : {"Syntax", "Missing Texture", "Missing Component"}) {
        EXPECT_NE(serial.report.find(row), std::string::npos) << row;
    }

    // No fault; the first, a middle and the last file fail; a folder mid-walk cannot be listed.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {read.front(), ""},
        {read[read.size() / 2], ""},
        {read.back(), ""},
        {"", std::string(platform::FolderOf(read[60]))}};
    for (const auto& [badFile, badFolder] : cases) {
        Faults faults{badFile, badFolder};
        const Outcome expected = Check(library.root, faults.fs, 1);
        EXPECT_EQ(expected.error.empty(), badFile.empty() && badFolder.empty()) << badFile;
        for (unsigned jobs : {2u, 3u, 8u}) {
            SCOPED_TRACE(badFile + badFolder + ", " + std::to_string(jobs) + " jobs");
            Faults parallel{badFile, badFolder};
            const Outcome outcome = Check(library.root, parallel.fs, jobs);
            EXPECT_EQ(outcome.error, expected.error);
            EXPECT_EQ(outcome.report, expected.report);
            EXPECT_TRUE(outcome == expected);
        }
    }
}

// The steps of a walk on this thread, each file read and scanned as met.
class SerialSteps final : public WalkVisitor {
  public:
    SerialSteps(FolderCache& folders, const std::string& root) : m_Textures(folders, root) {}
    std::vector<std::string> m_Steps;
    void ShowFolder(const std::string& folder) override { m_Steps.push_back("folder " + folder); }
    void LibraryFile(const std::string& folder, const std::string& name, bool) override {
        std::string path = folder + "/" + name;
        FileRecord record;
        try {
            platform::FileFacts facts = platform::RealFileSystem().ReadFile(path, m_Bytes);
            record.stamp = ItemStamp(facts.lastWriteTime);
            record.identity = facts.identity;
            m_Scanner.Scan(m_Bytes, record);
            m_Textures.Resolve(record, platform::FolderOf(path));
        } catch (const std::exception&) {
            record.error = std::current_exception();
        }
        m_Steps.push_back(Describe(path, record));
    }
    static std::string Describe(const std::string& path, const FileRecord& record) {
        std::string text =
            "file " + path + " " + record.stamp + " " + std::to_string(record.identity.inode);
        if (record.error) text += " error";
        for (const FileRecord::Event& event : record.Events()) {
            text += " " + std::to_string(int(event.kind)) + ":" + std::string(record.Text(event)) +
                    "@" + std::to_string(event.lineNumber);
        }
        return text;
    }

  private:
    std::string m_Bytes;
    ItemFileScanner m_Scanner;
    TextureLookup m_Textures;
};

TEST(Pipeline, StepsComeInWalkOrderWhateverTheWindowAndItStopsAnywhere) {
    using Kind = CheckPipeline::Step::Kind;
    Library library;
    FolderCache serialFolders(platform::RealFileSystem());
    LibraryWalk walk(serialFolders, platform::RealFileSystem());
    SerialSteps serial(serialFolders, library.root);
    for (size_t i = 0; i < std::size(kCategories); ++i) {
        serial.m_Steps.push_back("category " + std::to_string(i));
        walk.WalkCategory(walk.CategoryFolder(library.root, kCategories[i].title),
                          kCategories[i].pattern, serial);
    }
    serial.m_Steps.push_back("end");

    for (size_t window : {2, 3, 7, 1024}) {
        for (unsigned workers : {1u, 2u, 5u}) {
            FolderCache folders(platform::RealFileSystem());
            CheckPipeline pipeline(platform::RealFileSystem(), folders, library.root, workers,
                                   window);
            std::vector<std::string> steps;
            for (bool more = true; more;) {
                const CheckPipeline::Step& step = pipeline.Next();
                more = step.kind != Kind::kEnd;
                steps.push_back(
                    step.kind == Kind::kCategory ? "category " + std::to_string(step.category)
                    : step.kind == Kind::kFolder ? "folder " + step.path
                    : step.kind == Kind::kFile   ? SerialSteps::Describe(step.path, step.record)
                    : step.record.error          ? "end error"
                                                 : "end");
            }
            EXPECT_EQ(steps, serial.m_Steps) << window << " steps, " << workers << " workers";
        }
    }
    // Left anywhere by its owner, it neither hangs nor leaves a thread behind.
    for (size_t taken : {0, 1, 2, 10, 100}) {
        for (size_t window : {2, 16}) {
            FolderCache folders(platform::RealFileSystem());
            CheckPipeline pipeline(platform::RealFileSystem(), folders, library.root, 3, window);
            for (size_t i = 0; i < taken; ++i) {
                if (pipeline.Next().kind == Kind::kEnd) break;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
