// The main dialog without its widgets, shared by the wxWidgets dialog and the
// native Windows one: the texts it shows, what each command enables, and the
// older items of the last complete check, which the delete button offers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "audit/findings.h"
#include "cleanup/delete_older.h"
#include "cleanup/restore.h"
#include "platform/files.h"

namespace corvane::app {

// The dialog's own texts.
inline constexpr const char* kTitle = "Corvane";
inline constexpr const char* kAboutTitle = "About Corvane";
inline constexpr const char* kAboutEntry = "&About Corvane...";
inline constexpr const char* kUndoEntry = "&Undo Last Delete...";
inline constexpr const char* kDeleteOlderLabel = "Delete older items";
inline constexpr const char* kCheckFailed = "Check failed";
inline constexpr const char* kDeleteStopped = "Delete stopped";
inline constexpr const char* kUndoStopped = "Undo stopped";

// "Delete N older items".
std::string DeleteButtonLabel(size_t olderItems);

// "Corvane Version 1.0", from the major and minor version.
std::string AboutVersionLine();

// What the dialog's window does for the commands.
class DialogView {
  public:
    enum class Message { kError, kInformation, kQuestion };

    virtual ~DialogView() = default;
    // Puts text into the status line, which shows it when it next paints.
    virtual void SetStatus(const std::string& text) = 0;
    // Paints the status line (and the delete button) now, while a command runs.
    virtual void RefreshStatus() = 0;
    virtual void SetDeleteButton(const std::string& label, bool enabled) = 0;
    // Shows a message box over the dialog: an error (the text names the file),
    // a piece of news, or a question, for which it gives true when the user
    // says yes.
    virtual bool ShowMessage(Message kind, const std::string& text) = 0;
    // Opens a document with the program the desktop has for its type; false
    // when none could be started.
    virtual bool OpenDocument(const std::string& path) = 0;
};

class DialogLogic final : public DeleteProgress {
  public:
    // libraryRoot ends in the separator; the report lies in it.
    DialogLogic(std::string libraryRoot, DialogView& view,
                platform::FileSystem& fs = platform::RealFileSystem());

    // The commands. Each runs to its end; one that fails tells the user and
    // leaves the dialog as usable as before. A command that finds another
    // Corvane command working on the library tells so and changes nothing.
    void RunCheck();
    void DeleteOlderItems();
    void ViewReport();
    // Asks, naming the delete the undo would take back, then restores.
    void UndoLastDelete();

    // Whether a delete is left to undo, as the backup folder says now; the
    // menus grey their entry when none is.
    bool CanUndo() const;

    const std::string& LibraryRoot() const { return m_LibraryRoot; }

    // Progress of the command running: shown at once.
    void Status(const std::string& text) override;
    void ItemRemoved(const OlderItem& item, size_t left) override;

  private:
    // Runs command; when it throws, the status reads failedStatus and the
    // error is shown.
    template <typename Command>
    void Run(const char* failedStatus, Command command);

    std::string m_LibraryRoot;
    std::string m_ReportPath;
    DialogView& m_View;
    platform::FileSystem& m_Fs;
    // The older items of the last complete check not yet taken out.
    std::vector<OlderItem> m_OlderItems;
};

// The question before an undo, and the news after it.
std::string UndoQuestion(const UndoOffer& offer);
std::string UndoNews(const RestoreResult& result);
// A command's id as the local date and time it names, "YYYY-MM-DD HH:MM".
std::string CommandDateTime(const std::string& id);

}  // namespace corvane::app
