#include "commands/commands.h"

#include "audit/library_root.h"
#include "cleanup/backup_tree.h"
#include "report/html_report.h"

namespace corvane {

namespace {

// Counts what the check read on its way to the front end's observer.
class CountingProgress final : public ProgressObserver {
  public:
    explicit CountingProgress(ProgressObserver& next) : m_Next(next) {}
    void Status(const std::string& text) override { m_Next.Status(text); }
    void FileChecked(size_t files, size_t items) override {
        m_Files = files;
        m_Items = items;
        m_Next.FileChecked(files, items);
    }
    size_t m_Files = 0;
    size_t m_Items = 0;

  private:
    ProgressObserver& m_Next;
};

// Counts the rows of each kind on their way to the other sinks.
class CountingSink final : public FindingSink {
  public:
    explicit CountingSink(CheckResult& result) : m_Result(result) {}
    void BeginCheck(const std::string&) override {}
    void BeginCategory(std::string_view) override {}
    void Duplicate(const DuplicateFinding&) override { ++m_Result.duplicates; }
    void SyntaxError(const SyntaxFinding&) override { ++m_Result.syntaxErrors; }
    void MissingTexture(const TextureFinding&) override { ++m_Result.missingTextures; }
    void MissingComponent(const ComponentFinding&) override { ++m_Result.missingComponents; }
    void EndCheck(const std::vector<OlderItem>&) override {}
    void CheckFailed(const std::string&) override {}

  private:
    CheckResult& m_Result;
};

}  // namespace

std::string LibraryBusyText(const std::string& libraryRoot) {
    return "Another Corvane command is working on the library \"" +
           std::string(FolderDisplayName(libraryRoot)) + "\"; try again once it has finished.";
}

LibraryLock::LibraryLock(std::string libraryRoot, platform::FileSystem& fs)
    : m_Root(std::move(libraryRoot)), m_Fs(fs) {
    try {
        m_Lock = fs.LockFolder(m_Root);
    } catch (const platform::FolderBusy&) {
        throw LibraryBusy(LibraryBusyText(m_Root));
    }
}

CheckResult CheckAndWriteReport(const std::string& libraryRoot, ProgressObserver& progress,
                                const CheckOptions& options) {
    CheckResult result;
    CountingProgress counting(progress);
    CountingSink counts(result);
    HtmlReport report(options.Fs().Create(libraryRoot + kReportName));
    std::vector<FindingSink*> sinks = {&report, &counts};
    if (options.findings) sinks.push_back(options.findings);
    FindingFanOut all(std::move(sinks));
    result.olderItems = RunCheck(libraryRoot, all, counting, options);
    result.filesRead = counting.m_Files;
    result.itemsRead = counting.m_Items;
    result.reportPath = libraryRoot + kReportName;
    return result;
}

CheckResult RunCheckCommand(const LibraryLock& library, ProgressObserver& progress,
                            CheckOptions options) {
    // Temporary files that a command killed before its end left behind go
    // first; what stands in the way of that is for a delete or a restore to
    // tell.
    try {
        std::unique_ptr<platform::ContainedTree> tree = library.Fs().OpenTree(library.Root());
        BackupTree(*tree).RemoveLeftovers();
    } catch (const platform::FileError&) {
    }
    options.fs = &library.Fs();
    return CheckAndWriteReport(library.Root(), progress, options);
}

DeleteResult RunDeleteCommand(const LibraryLock& library, const std::vector<OlderItem>& olderItems,
                              DeleteProgress& progress) {
    return DeleteOlderItems(library.Root(), olderItems, progress, library.Fs());
}

RestoreResult RunRestoreCommand(const LibraryLock& library, ProgressObserver& progress) {
    return RestoreLatestDelete(library.Root(), progress, library.Fs());
}

}  // namespace corvane
