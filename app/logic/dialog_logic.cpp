#include "app/logic/dialog_logic.h"

#include <exception>

#include "audit/item_stamp.h"
#include "audit/library_root.h"
#include "commands/commands.h"
#include "platform/system.h"
#include "version.h"

namespace corvane::app {

namespace {

// At most this many files are named in a message; the rest are counted.
constexpr size_t kNamedInMessage = 10;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size() && i < kNamedInMessage; ++i) {
        if (!text.empty()) text += "\n";
        text += lines[i];
    }
    if (lines.size() > kNamedInMessage) {
        text += "\n(and " + std::to_string(lines.size() - kNamedInMessage) + " more)";
    }
    return text;
}

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string DeleteButtonLabel(size_t olderItems) {
    return "Delete " + std::to_string(olderItems) + " older items";
}

std::string AboutVersionLine() {
    return CORVANE_ABOUT_LINE;
}

std::string CommandDateTime(const std::string& id) {
    const std::string stamp = ItemStamp(CommandTime(id));  // YYYYMMDDHHMM
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " +
           stamp.substr(8, 2) + ":" + stamp.substr(10, 2);
}

std::string UndoQuestion(const UndoOffer& offer) {
    const std::string when = CommandDateTime(offer.deleteId);
    if (offer.retry) {
        return "Try again to put back the " + Count(offer.files, "file", "files") +
               " that the undo of the delete of " + when + " could not put back?";
    }
    return "Undo the delete of " + when + "?\n\nIts " +
           Count(offer.items, "older item", "older items") + " go back into their " +
           Count(offer.files, "file", "files") +
           ". A file changed since the delete is kept in the backup folder first.";
}

std::string UndoNews(const RestoreResult& result) {
    std::vector<std::string> lines;
    for (const UndoneDelete& undone : result.deletes) {
        size_t back = 0;
        std::vector<std::string> kept;
        for (const RestoreLog::File& file : undone.files) {
            if (file.standing != Standing::kAlreadyBack) ++back;
            if (file.standing == Standing::kEdited) {
                kept.push_back(platform::SystemRelativePath(file.path) +
                               " had changed since the delete; that version is kept as " +
                               platform::SystemRelativePath(file.keptAs));
            }
        }
        lines.push_back("Put back " + Count(back, "file", "files") + " of the delete of " +
                        CommandDateTime(undone.deleteId) + ".");
        for (std::string& line : kept) lines.push_back(std::move(line));
        for (const RestoreLog::Failed& failed : undone.failed) {
            lines.push_back("Could not put back " + platform::SystemRelativePath(failed.path) +
                            ": " + failed.reason);
        }
        if (undone.passedOver) {
            lines.push_back("Those files are given up; the undo went on with the delete before.");
        } else if (!undone.failed.empty()) {
            lines.push_back("Undo again once the cause is gone to put them back.");
        }
    }
    for (const auto& [log, why] : result.refused) {
        lines.push_back("Passed over " + log + ", which is not a whole delete log (" + why + ").");
    }
    if (!result.failure.empty()) lines.push_back(result.failure);
    if (lines.empty()) lines.push_back("Nothing to undo.");
    return Joined(lines);
}

DialogLogic::DialogLogic(std::string libraryRoot, DialogView& view, platform::FileSystem& fs)
    : m_LibraryRoot(std::move(libraryRoot)),
      m_ReportPath(m_LibraryRoot + kReportName),
      m_View(view),
      m_Fs(fs) {}

template <typename Command>
void DialogLogic::Run(const char* failedStatus, Command command) {
    std::string failure;
    try {
        command();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "The command ended on an unexpected error.";
    }
    Status(failedStatus);
    m_View.ShowMessage(DialogView::Message::kError, failure);
}

void DialogLogic::RunCheck() {
    // A check that fails leaves the button as the last complete check left it.
    Run(kCheckFailed, [this] {
        const LibraryLock library(m_LibraryRoot, m_Fs);
        m_OlderItems = RunCheckCommand(library, *this).olderItems;
        m_View.SetDeleteButton(DeleteButtonLabel(m_OlderItems.size()), true);
    });
}

void DialogLogic::DeleteOlderItems() {
    Run(kDeleteStopped, [this] {
        const LibraryLock library(m_LibraryRoot, m_Fs);
        DeleteResult result = RunDeleteCommand(library, m_OlderItems, *this);
        // What was taken out is gone; after a failure the button offers the
        // rest, the failing item first.
        m_OlderItems = std::move(result.notRemoved);
        m_View.SetDeleteButton(DeleteButtonLabel(m_OlderItems.size()), !m_OlderItems.empty());
        if (result.Failed()) {
            Status(kDeleteStopped);
            m_View.ShowMessage(DialogView::Message::kError, Joined(result.problems));
        } else if (!result.warnings.empty()) {
            m_View.ShowMessage(DialogView::Message::kInformation, Joined(result.warnings));
        }
    });
}

void DialogLogic::UndoLastDelete() {
    Run(kUndoStopped, [this] {
        // Held from the question on, so that what the user is asked about is
        // what is undone.
        const LibraryLock library(m_LibraryRoot, m_Fs);
        std::optional<UndoOffer> offer = NextUndo(m_LibraryRoot, m_Fs);
        if (!offer) {
            m_View.ShowMessage(DialogView::Message::kInformation, "Nothing to undo.");
            return;
        }
        if (!m_View.ShowMessage(DialogView::Message::kQuestion, UndoQuestion(*offer))) return;
        RestoreResult result = RunRestoreCommand(library, *this);
        // The items put back are not on the last check's list: only a new
        // check tells what is older now.
        m_OlderItems.clear();
        m_View.SetDeleteButton(kDeleteOlderLabel, false);
        if (result.Failed()) Status(kUndoStopped);
        std::vector<std::string> news = {UndoNews(result)};
        news.insert(news.end(), result.warnings.begin(), result.warnings.end());
        m_View.ShowMessage(
            result.Failed() ? DialogView::Message::kError : DialogView::Message::kInformation,
            Joined(news));
    });
}

bool DialogLogic::CanUndo() const {
    return NextUndo(m_LibraryRoot, m_Fs).has_value();
}

void DialogLogic::ViewReport() {
    if (!m_View.OpenDocument(m_ReportPath)) {
        m_View.ShowMessage(DialogView::Message::kError,
                           "Cannot open the report \"" + m_ReportPath +
                               "\": no program to show it could be started.");
    }
}

void DialogLogic::Status(const std::string& text) {
    m_View.SetStatus(text);
    m_View.RefreshStatus();
}

void DialogLogic::ItemRemoved(const OlderItem&, size_t left) {
    m_View.SetDeleteButton(DeleteButtonLabel(left), true);
    m_View.RefreshStatus();
}

}  // namespace corvane::app
