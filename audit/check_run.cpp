#include "audit/check_run.h"

#include "audit/pipeline.h"

namespace corvane {

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
                checker.ApplyFile(step.record, step.path);
                break;
            case CheckPipeline::Step::Kind::kEnd:
                if (step.record.error) std::rethrow_exception(step.record.error);
                if (inCategory) checker.EndCategory();
                return;
        }
    }
}

}  // namespace

std::vector<OlderItem> RunCheck(const std::string& libraryRoot, FindingSink& sink,
                                ProgressObserver& progress, platform::FileSystem& fs,
                                unsigned jobs) {
    sink.BeginCheck(libraryRoot);
    Checker checker(libraryRoot, sink, progress, fs);
    try {
        const unsigned workers = CheckWorkers(jobs);
        if (workers == 1) {
            for (const Category& category : kCategories) {
                checker.CheckCategory(category.title, category.pattern);
            }
        } else {
            CheckInParallel(checker, fs, libraryRoot, workers);
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
      m_Folders(fs),
      m_Walk(m_Folders, fs),
      m_Textures(m_Folders, m_LibraryRoot) {}

std::string_view Checker::RelativePath(std::string_view fullPath) const {
    return fullPath.substr(std::min(m_LibraryRoot.size(), fullPath.size()));
}

void Checker::CheckCategory(std::string_view title, std::string_view pattern) {
    BeginCategory(title);
    m_Walk.WalkCategory(m_Walk.CategoryFolder(m_LibraryRoot, title), pattern, *this);
    EndCategory();
}

void Checker::BeginCategory(std::string_view title) {
    m_Sink.BeginCategory(title);
}

void Checker::ShowFolder(const std::string& folder) {
    m_Progress.Status(std::string(RelativePath(folder)));
}

void Checker::LibraryFile(const std::string& folder, const std::string& name, bool throughLink) {
    m_FilePath.assign(folder).append(1, platform::kSeparator).append(name);
    CheckItemFile(m_FilePath, throughLink);
}

void Checker::EndCategory() {
    for (const SyntaxFinding& finding : m_SyntaxErrors) m_Sink.SyntaxError(finding);
    for (const TextureFinding& finding : m_MissingTextures) m_Sink.MissingTexture(finding);
    for (const std::string& name : m_MissingComponents.Names()) {
        m_Sink.MissingComponent(m_ComponentRefs.FindingOf(name));
    }
    // Names, missing components and their references are judged within one
    // category only.
    m_SyntaxErrors.clear();
    m_MissingTextures.clear();
    m_Items.Clear();
    m_MissingComponents.Clear();
    m_ComponentRefs.Clear();
}

}  // namespace corvane
