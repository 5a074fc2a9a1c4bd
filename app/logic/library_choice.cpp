#include "app/logic/library_choice.h"

#include "audit/library_root.h"
#include "platform/system.h"

namespace corvane::app {

namespace {

bool SameFolder(const std::string& a, const std::string& b, platform::FileSystem& fs) {
    auto idA = fs.IdentityOf(a);
    auto idB = fs.IdentityOf(b);
    if (idA && idB) return *idA == *idB;
    return a == b;
}

}  // namespace

std::optional<LibraryChoice> ChooseLibrary(const std::optional<std::string>& argument,
                                           const std::string& programFolder,
                                           const FolderChooser& choose,
                                           const ProblemSink& showProblem,
                                           platform::FileSystem& fs) {
    // Tells the user when root cannot be checked, or cannot be read.
    auto usable = [&](const std::string& root) {
        try {
            LibraryRootProblem problem = ExamineLibraryRoot(root, fs);
            if (problem == LibraryRootProblem::kNone) return true;
            showProblem(LibraryRootProblemText(problem, root));
        } catch (const platform::FileError& error) {
            showProblem(error.what());
        }
        return false;
    };

    std::string root;
    if (argument) {
        root = platform::WithTrailingSeparator(platform::AbsolutePath(*argument));
        if (!usable(root)) return std::nullopt;
    } else if (ExamineLibraryRoot(programFolder, fs) == LibraryRootProblem::kNone) {
        root = programFolder;
    } else {
        for (;;) {
            std::optional<std::string> chosen = choose();
            if (!chosen) return std::nullopt;
            root = platform::WithTrailingSeparator(platform::AbsolutePath(*chosen));
            if (usable(root)) break;
        }
    }
    return LibraryChoice{root, SameFolder(root, programFolder, fs)};
}

}  // namespace corvane::app
