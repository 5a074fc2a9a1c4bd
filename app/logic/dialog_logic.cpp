#include "app/logic/dialog_logic.h"

#include <exception>

#include "cleanup/delete_older.h"
#include "report/html_report.h"
#include "version.h"

namespace corvane::app {

std::string DeleteButtonLabel(size_t olderItems) {
    return "Delete " + std::to_string(olderItems) + " older items";
}

std::string AboutVersionLine() {
    return CORVANE_ABOUT_LINE;
}

DialogLogic::DialogLogic(std::string libraryRoot, DialogView& view)
    : m_LibraryRoot(std::move(libraryRoot)),
      m_ReportPath(m_LibraryRoot + kReportName),
      m_View(view) {}

template <typename Command>
void DialogLogic::Run(Command command) {
    std::string failure;
    try {
        command();
        return;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "The command ended on an unexpected error.";
    }
    m_View.ShowError(failure);
}

void DialogLogic::RunCheck() {
    // A check that fails leaves the button as the last complete check left it.
    Run([this] {
        m_OlderItems = CheckAndWriteReport(m_LibraryRoot, *this);
        m_View.SetDeleteButton(DeleteButtonLabel(m_OlderItems.size()), true);
    });
}

void DialogLogic::DeleteOlderItems() {
    m_ItemsLeft = m_OlderItems.size();
    Run([this] {
        corvane::DeleteOlderItems(m_LibraryRoot, m_OlderItems, *this);
        m_View.SetDeleteButton(DeleteButtonLabel(0), false);
    });
    // What was taken out is gone; after a failure the button offers the rest,
    // the failing item first.
    m_OlderItems.erase(m_OlderItems.begin(), m_OlderItems.end() - std::ptrdiff_t(m_ItemsLeft));
    if (m_OlderItems.empty()) m_View.SetDeleteButton(DeleteButtonLabel(0), false);
}

void DialogLogic::ViewReport() {
    if (!m_View.OpenDocument(m_ReportPath)) {
        m_View.ShowError("Cannot open the report \"" + m_ReportPath +
                         "\": no program to show it could be started.");
    }
}

void DialogLogic::Status(const std::string& text) {
    m_View.SetStatus(text);
    m_View.RefreshStatus();
}

void DialogLogic::ItemRemoved(const OlderItem&, size_t left) {
    m_ItemsLeft = left;
    m_View.SetDeleteButton(DeleteButtonLabel(left), true);
    m_View.RefreshStatus();
}

}  // namespace corvane::app
