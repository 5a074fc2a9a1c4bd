#include "audit/library_root.h"

#include "audit/check_run.h"
#include "text/text.h"

namespace corvane {

LibraryRootProblem ExamineLibraryRoot(const std::string& root, platform::FileSystem& fs) {
    // "file/" names no file at all: ask about the path without its separator.
    switch (fs.KindOf(std::string(FolderDisplayName(root)))) {
        case platform::EntryKind::kMissing:
            return LibraryRootProblem::kMissing;
        case platform::EntryKind::kFolder:
            break;
        default:
            return LibraryRootProblem::kNotAFolder;
    }
    for (const platform::FolderEntry& entry : fs.ListFolder(root)) {
        if (entry.kind != platform::EntryKind::kFolder) continue;
        for (const Category& category : kCategories) {
            if (text::EqualsNoCase(entry.name, category.title)) return LibraryRootProblem::kNone;
        }
    }
    return LibraryRootProblem::kNoCategoryFolder;
}

std::string LibraryRootProblemText(LibraryRootProblem problem, std::string_view root) {
    std::string text = "Cannot check \"" + std::string(FolderDisplayName(root)) + "\": ";
    switch (problem) {
        case LibraryRootProblem::kNone:
            return {};
        case LibraryRootProblem::kMissing:
            return text + "no such folder";
        case LibraryRootProblem::kNotAFolder:
            return text + "not a folder";
        case LibraryRootProblem::kNoCategoryFolder:
            break;
    }
    text += "it holds none of the category folders ";
    for (const Category& category : kCategories) {
        if (&category != kCategories)
            text += &category == std::end(kCategories) - 1 ? " and " : ", ";
        text += category.title;
    }
    return text;
}

std::string_view FolderDisplayName(std::string_view root) {
    while (root.size() > 1 && root.back() == platform::kSeparator) root.remove_suffix(1);
    return root;
}

}  // namespace corvane
