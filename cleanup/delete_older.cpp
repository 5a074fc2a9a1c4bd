#include "cleanup/delete_older.h"

#include "audit/check_run.h"

namespace corvane {

namespace {

// Takes the queued entries one by one, showing each and counting down.
void RemoveQueued(CheckState& state, ProgressDisplay& progress, DeleteButton* button,
                  ItemRemover& remover) {
    while (!state.m_OlderNames.empty()) {
        std::string name = std::move(state.m_OlderNames.front());
        std::string file = std::move(state.m_OlderFiles.front());
        state.m_OlderNames.pop_front();
        state.m_OlderFiles.pop_front();

        progress.SetStatus(name + " in " + file);
        progress.RefreshStatus();
        remover.RemoveItem(name, file);
        if (button) {
            button->SetLabel(DeleteButtonLabel(state.m_OlderNames.size()));
            button->Enable(true);
        }
        progress.RefreshStatus();
    }
}

}  // namespace

void DeleteOlderItems(CheckState& state, ProgressDisplay& progress, platform::FileSystem& fs) {
    ItemRemover remover(state.m_LibraryRoot, fs);
    DeleteButton* button = progress.GetDeleteButton();
    try {
        RemoveQueued(state, progress, button, remover);
    } catch (const platform::FileError&) {
        // The removals before the failing entry still take effect; the first
        // error is the one to report.
        try {
            remover.Commit();
        } catch (const platform::FileError&) {
        }
        throw;
    }
    remover.Commit();
    if (button) button->Enable(false);
    progress.SetStatus("Finished");
    progress.RefreshStatus();
}

}  // namespace corvane
