// The main dialog without its widgets, shared by the wxWidgets dialog and the
// native Windows one: the texts it shows, what each command enables, and the
// older items of the last complete check, which the delete button offers.
#pragma once

#include <string>
#include <vector>

#include "audit/findings.h"
#include "audit/progress.h"

namespace corvane::app {

// The dialog's own texts.
inline constexpr const char* kTitle = "Corvane";
inline constexpr const char* kAboutTitle = "About Corvane";
inline constexpr const char* kAboutEntry = "&About Corvane...";
inline constexpr const char* kDeleteOlderLabel = "Delete older items";

// "Delete N older items".
std::string DeleteButtonLabel(size_t olderItems);

// "Corvane Version 1.0", from the major and minor version.
std::string AboutVersionLine();

// What the dialog's window does for the commands.
class DialogView {
  public:
    virtual ~DialogView() = default;
    // Puts text into the status line, which shows it when it next paints.
    virtual void SetStatus(const std::string& text) = 0;
    // Paints the status line (and the delete button) now, while a command runs.
    virtual void RefreshStatus() = 0;
    virtual void SetDeleteButton(const std::string& label, bool enabled) = 0;
    // Tells the user that a command failed; the text names the file.
    virtual void ShowError(const std::string& text) = 0;
    // Opens a document with the program the desktop has for its type; false
    // when none could be started.
    virtual bool OpenDocument(const std::string& path) = 0;
};

class DialogLogic final : public ProgressObserver {
  public:
    // libraryRoot ends in the separator; the report lies in it.
    DialogLogic(std::string libraryRoot, DialogView& view);

    // The commands. Each runs to its end; one that fails tells the user and
    // leaves the dialog as usable as before.
    void RunCheck();
    void DeleteOlderItems();
    void ViewReport();

    const std::string& LibraryRoot() const { return m_LibraryRoot; }
    const std::string& ReportPath() const { return m_ReportPath; }

    // Progress of the command running: shown at once.
    void Status(const std::string& text) override;
    void ItemRemoved(const OlderItem& item, size_t left) override;

  private:
    template <typename Command>
    void Run(Command command);

    std::string m_LibraryRoot;
    std::string m_ReportPath;
    DialogView& m_View;
    // The older items of the last complete check not yet taken out.
    std::vector<OlderItem> m_OlderItems;
    size_t m_ItemsLeft = 0;  // of the delete command running
};

}  // namespace corvane::app
