#include "cleanup/delete_older.h"

namespace corvane {

std::string DeleteOlderItems(const std::string& libraryRoot,
                             const std::vector<OlderItem>& olderItems, ProgressObserver& progress,
                             platform::FileSystem& fs) {
    ItemRemover remover(libraryRoot, fs);
    try {
        for (size_t i = 0; i < olderItems.size(); ++i) {
            const OlderItem& item = olderItems[i];
            progress.Status(item.name + " in " + item.file);
            remover.RemoveItem(item.name, item.file);
            progress.ItemRemoved(item, olderItems.size() - i - 1);
        }
    } catch (const platform::FileError&) {
        // The removals before the failing item still take effect; the first
        // error is the one to report.
        try {
            remover.Commit();
        } catch (const platform::FileError&) {
        }
        throw;
    }
    remover.Commit();
    progress.Status("Finished");
    return remover.CommandId();
}

}  // namespace corvane
