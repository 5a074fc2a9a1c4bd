#include "audit/check_run.h"

#include "audit/pipeline.h"

namespace corvane {

namespace {

// The walk, the reading and the scanning on other threads; the steps of the
// walk applied here, in walk order.
void CheckInParallel(LibraryCheck& check, platform::FileSystem& fs, const std::string& libraryRoot,
                     unsigned workers) {
    CheckPipeline pipeline(fs, check.Folders(), libraryRoot, workers);
    bool inCategory = false;
    for (;;) {
        const CheckPipeline::Step& step = pipeline.Next();
        switch (step.kind) {
            case CheckPipeline::Step::Kind::kCategory:
                if (inCategory) check.EndCategory();
                check.BeginCategory(kCategories[step.category].title);
                inCategory = true;
                break;
            case CheckPipeline::Step::Kind::kFolder:
                check.ShowFolder(step.path);
                break;
            case CheckPipeline::Step::Kind::kFile:
                check.ApplyFile(step.record, step.path);
                break;
            case CheckPipeline::Step::Kind::kEnd:
                if (step.record.error) std::rethrow_exception(step.record.error);
                if (inCategory) check.EndCategory();
                return;
        }
    }
}

}  // namespace

std::vector<OlderItem> RunCheck(const std::string& libraryRoot, FindingSink& sink,
                                ProgressObserver& progress, const CheckOptions& options) {
    platform::FileSystem& fs = options.Fs();
    sink.BeginCheck(libraryRoot);
    LibraryCheck check(libraryRoot, sink, progress, fs);
    try {
        const unsigned workers = CheckWorkers(options.jobs);
        if (workers == 1) {
            for (const Category& category : kCategories) {
                check.CheckCategory(category.title, category.pattern);
            }
        } else {
            CheckInParallel(check, fs, libraryRoot, workers);
        }
    } catch (const std::exception& error) {
        sink.CheckFailed(error.what());
        throw;
    }
    progress.Status("Finished");
    sink.EndCheck(check.OlderItems());
    return check.OlderItems();
}

LibraryCheck::LibraryCheck(std::string libraryRoot, FindingSink& sink, ProgressObserver& progress,
                           platform::FileSystem& fs)
    : m_LibraryRoot(std::move(libraryRoot)),
      m_Sink(sink),
      m_Progress(progress),
      m_Fs(fs),
      m_Folders(fs),
      m_Walk(m_Folders, fs),
      m_Textures(m_Folders, m_LibraryRoot) {}

std::string_view LibraryCheck::RelativePath(std::string_view fullPath) const {
    return fullPath.substr(std::min(m_LibraryRoot.size(), fullPath.size()));
}

void LibraryCheck::CheckCategory(std::string_view title, std::string_view pattern) {
    BeginCategory(title);
    m_Walk.WalkCategory(m_Walk.CategoryFolder(m_LibraryRoot, title), pattern, *this);
    EndCategory();
}

void LibraryCheck::BeginCategory(std::string_view title) {
    m_Sink.BeginCategory(title);
}

void LibraryCheck::ShowFolder(const std::string& folder) {
    m_Progress.Status(std::string(RelativePath(folder)));
}

void LibraryCheck::LibraryFile(const std::string& folder, const std::string& name,
                               bool throughLink) {
    m_FilePath.assign(folder).append(1, platform::kSeparator).append(name);
    CheckItemFile(m_FilePath, throughLink);
}

template <typename Finding>
void LibraryCheck::PassRows(const std::vector<PendingRow>& rows, std::string Finding::*text,
                            void (FindingSink::*pass)(const Finding&)) {
    // One finding, filled for each row: its strings keep their memory from
    // row to row.
    Finding finding;
    for (const PendingRow& row : rows) {
        (finding.*text).assign(m_RowTexts, row.offset, row.length);
        finding.file.assign(m_RowFiles[row.file]);
        finding.lineNumber = row.lineNumber;
        (m_Sink.*pass)(finding);
    }
}

void LibraryCheck::EndCategory() {
    PassRows(m_SyntaxErrors, &SyntaxFinding::line, &FindingSink::SyntaxError);
    PassRows(m_MissingTextures, &TextureFinding::texture, &FindingSink::MissingTexture);
    for (const std::string& name : m_MissingComponents.Names()) {
        m_Sink.MissingComponent(m_ComponentRefs.FindingOf(name));
    }
    // Names, missing components and their references are judged within one
    // category only.
    m_SyntaxErrors.clear();
    m_MissingTextures.clear();
    m_RowTexts.clear();
    m_RowFiles.clear();
    m_Items.Clear();
    m_MissingComponents.Clear();
    m_ComponentRefs.Clear();
}

}  // namespace corvane
