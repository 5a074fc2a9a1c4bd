#include "audit/check_run.h"

#include "audit/report.h"

namespace corvane {

std::string DeleteButtonLabel(size_t olderItems) {
    return "Delete " + std::to_string(olderItems) + " older items";
}

void RunCheck(CheckState& state, ProgressDisplay& progress, const std::string& libraryRoot,
              platform::FileSystem& fs) {
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
        for (const Category& category : kCategories) {
            checker.CheckCategory(category.title, category.pattern);
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
    : m_State(state), m_Progress(progress), m_Fs(fs), m_Folders(fs) {}

std::string_view Checker::RelativePath(std::string_view fullPath) const {
    return fullPath.substr(std::min(m_State.m_LibraryRoot.size(), fullPath.size()));
}

std::string Checker::CategoryFolder(std::string_view title) {
    const FolderCache::Listing& root = m_Folders.Get(m_State.m_LibraryRoot);
    std::string_view name = title;
    bool exact = false;
    for (const FolderCache::Entry& entry : root.entries) {
        if (entry.name == title) exact = true;
    }
    if (!exact) {
        for (const FolderCache::Entry* entry : m_Folders.Matching(root, title)) {
            if (entry->kind == platform::EntryKind::kFolder) {
                name = entry->name;
                break;
            }
        }
    }
    return m_State.m_LibraryRoot + std::string(name);
}

void Checker::CheckCategory(std::string_view title, std::string_view pattern) {
    m_State.m_Items.Clear();
    m_State.m_MissingComponents.Clear();
    m_State.m_ComponentRefs.Clear();
    m_Walked.clear();

    Report& report = *m_State.m_pReport;
    report.WriteCategoryHeading(title);
    WalkFolder(CategoryFolder(title), pattern);

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
