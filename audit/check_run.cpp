#include "audit/check_run.h"

#include "audit/pipeline.h"
#include "audit/report.h"

namespace corvane {

std::string DeleteButtonLabel(size_t olderItems) {
    return "Delete " + std::to_string(olderItems) + " older items";
}

namespace {

// The walk, the reading and the scanning on other threads; the steps of the
// walk applied here, in walk order.
void CheckInParallel(Checker& checker, platform::FileSystem& fs, const std::string& libraryRoot,
                     unsigned workers) {
    CheckPipeline pipeline(fs, checker.Folders(), libraryRoot, workers);
    bool inCategory = false;
    for (;;) {
        const CheckPipeline::Step& step = pipeline.Next();
        switch (step.kind) {
            case CheckPipeline::Step::Kind::kCategory:
                if (inCategory) checker.EndCategory();
                checker.BeginCategory(kCategories[step.category].title);
                inCategory = true;
                break;
            case CheckPipeline::Step::Kind::kFolder:
                checker.ShowFolder(step.path);
                break;
            case CheckPipeline::Step::Kind::kFile:
                checker.ApplyRecord(step.record, step.path);
                break;
            case CheckPipeline::Step::Kind::kEnd:
                if (step.record.error) std::rethrow_exception(step.record.error);
                if (inCategory) checker.EndCategory();
                return;
        }
    }
}

}  // namespace

void RunCheck(CheckState& state, ProgressDisplay& progress, const std::string& libraryRoot,
              platform::FileSystem& fs, unsigned jobs) {
    state.m_LibraryRoot = libraryRoot;
    state.m_bShade = false;
    state.m_OlderNames.clear();
    state.m_OlderFiles.clear();
    state.m_MissingTextures.clear();
    state.m_SyntaxErrors.clear();

    Report report(fs.Create(libraryRoot + kReportName));
    state.m_pReport = &report;
    try {
        report.WriteHeader();
        Checker checker(state, progress, fs);
        const unsigned workers = CheckWorkers(jobs);
        if (workers == 1) {
            for (const Category& category : kCategories) {
                checker.CheckCategory(category.title, category.pattern);
            }
        } else {
            CheckInParallel(checker, fs, libraryRoot, workers);
        }
        progress.SetStatus("Finished");
        report.WriteFooter();
        report.Close();
    } catch (...) {
        // Leave what was written so far readable; the first error is the one
        // to report.
        state.m_pReport = nullptr;
        try {
            report.Close();
        } catch (const platform::FileError&) {
        }
        throw;
    }
    state.m_pReport = nullptr;

    if (DeleteButton* button = progress.GetDeleteButton()) {
        button->SetLabel(DeleteButtonLabel(state.m_OlderNames.size()));
        button->Enable(true);
    }
}

Checker::Checker(CheckState& state, ProgressDisplay& progress, platform::FileSystem& fs)
    : m_State(state), m_Progress(progress), m_Fs(fs), m_Folders(fs), m_Walk(m_Folders, fs) {}

std::string_view Checker::RelativePath(std::string_view fullPath) const {
    return fullPath.substr(std::min(m_State.m_LibraryRoot.size(), fullPath.size()));
}

void Checker::CheckCategory(std::string_view title, std::string_view pattern) {
    BeginCategory(title);
    m_Walk.WalkCategory(m_Walk.CategoryFolder(m_State.m_LibraryRoot, title), pattern, *this);
    EndCategory();
}

void Checker::BeginCategory(std::string_view title) {
    m_State.m_Items.Clear();
    m_State.m_MissingComponents.Clear();
    m_State.m_ComponentRefs.Clear();
    m_State.m_pReport->WriteCategoryHeading(title);
}

void Checker::ShowFolder(const std::string& folder) {
    m_Progress.SetStatus(std::string(RelativePath(folder)));
    m_Progress.RefreshStatus();
}

void Checker::LibraryFile(const std::string& folder, const std::string& name) {
    m_FilePath.assign(folder).append(1, platform::kSeparator).append(name);
    CheckItemFile(m_FilePath);
}

void Checker::EndCategory() {
    Report& report = *m_State.m_pReport;
    bool& shade = m_State.m_bShade;
    for (const TextAndPath& entry : m_State.m_SyntaxErrors) {
        if (entry.path.find("NFP") != std::string::npos) continue;
        report.WriteSyntaxRow(shade, entry.text, entry.path);
    }
    m_State.m_SyntaxErrors.clear();
    for (const TextAndPath& entry : m_State.m_MissingTextures) {
        if (entry.path.find("NFP") != std::string::npos) continue;
        report.WriteMissingTextureRow(shade, entry.text, entry.path);
    }
    m_State.m_MissingTextures.clear();
    for (const std::string& name : m_State.m_MissingComponents.Names()) {
        std::vector<std::string_view> paths = m_State.m_ComponentRefs.PathsOf(name);
        for (std::string_view& path : paths) path = RelativePath(path);
        report.WriteMissingComponentRow(shade, name, paths);
    }
    m_State.m_MissingComponents.Clear();
}

}  // namespace corvane
