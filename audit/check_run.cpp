#include "audit/check_run.h"

namespace corvane {

std::vector<OlderItem> RunCheck(const std::string& libraryRoot, FindingSink& sink,
                                ProgressObserver& progress, platform::FileSystem& fs) {
    sink.BeginCheck(libraryRoot);
    Checker checker(libraryRoot, sink, progress, fs);
    try {
        for (const Category& category : kCategories) {
            checker.CheckCategory(category.title, category.pattern);
        }
    } catch (const std::exception& error) {
        sink.CheckFailed(error.what());
        throw;
    }
    progress.Status("Finished");
    sink.EndCheck(checker.OlderItems());
    return checker.OlderItems();
}

Checker::Checker(std::string libraryRoot, FindingSink& sink, ProgressObserver& progress,
                 platform::FileSystem& fs)
    : m_LibraryRoot(std::move(libraryRoot)),
      m_Sink(sink),
      m_Progress(progress),
      m_Fs(fs),
      m_Folders(fs) {}

std::string_view Checker::RelativePath(std::string_view fullPath) const {
    return fullPath.substr(std::min(m_LibraryRoot.size(), fullPath.size()));
}

std::string Checker::CategoryFolder(std::string_view title) {
    const FolderCache::Listing& root = m_Folders.Get(m_LibraryRoot);
    if (root.failure) std::rethrow_exception(root.failure);
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
    return m_LibraryRoot + std::string(name);
}

void Checker::CheckCategory(std::string_view title, std::string_view pattern) {
    m_Sink.BeginCategory(title);
    WalkFolder(CategoryFolder(title), pattern);
    EndCategory();
}

void Checker::EndCategory() {
    for (const SyntaxFinding& finding : m_SyntaxErrors) m_Sink.SyntaxError(finding);
    for (const TextureFinding& finding : m_MissingTextures) m_Sink.MissingTexture(finding);
    for (const std::string& name : m_MissingComponents.Names()) {
        m_Sink.MissingComponent({name, m_ComponentRefs.PathsOf(name)});
    }
    // Names, missing components and their references are judged within one
    // category only.
    m_SyntaxErrors.clear();
    m_MissingTextures.clear();
    m_Items.Clear();
    m_MissingComponents.Clear();
    m_ComponentRefs.Clear();
    m_Walked.clear();
}

}  // namespace corvane
