// corvane-cli: the console front end. It owns the check state for one
// command, shows the status line on stderr and prints the delete button's
// label on stdout.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audit/check_run.h"
#include "cleanup/delete_older.h"
#include "cleanup/restore.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

constexpr const char* kUsage =
    "Usage: corvane-cli check [--delete] [LIBRARY_ROOT]\n"
    "       corvane-cli restore [LIBRARY_ROOT]\n"
    "       corvane-cli --help | --version\n"
    "\n"
    "check     Check the library whose top folder is LIBRARY_ROOT (by default the\n"
    "          folder that holds this program) and write LIBRARY_ROOT/Corvane.htm.\n"
    "          Prints the delete button's label, e.g. \"Delete 3 older items\".\n"
    "--delete  Then delete the older items that the check found, keeping each\n"
    "          file as it was under LIBRARY_ROOT/backup.\n"
    "restore   Undo the latest delete not yet undone: put back every file it\n"
    "          changed or removed, keeping the file standing there under\n"
    "          LIBRARY_ROOT/backup. Run again, it undoes the one before.\n"
    "\n"
    "Exit status: 0 done, 1 the command ended on an error, 2 usage error.\n";

// Folder and item names come from the library: a control character in one
// must neither steer the terminal nor break the line.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

// Status texts on stderr: one line rewritten in place on a terminal,
// otherwise one line each.
class ConsoleProgress final : public corvane::ProgressDisplay, public corvane::DeleteButton {
  public:
    ConsoleProgress() : m_Terminal(corvane::platform::IsTerminal(2)) {}

    void SetStatus(const std::string& text) override {
        if (text == m_Status) return;
        m_Status = text;
        const std::string shown = Printable(text);
        if (m_Terminal) {
            std::fprintf(stderr, "\r\033[K%s", shown.c_str());
        } else {
            std::fprintf(stderr, "%s\n", shown.c_str());
        }
        std::fflush(stderr);
    }
    void RefreshStatus() override {}
    corvane::DeleteButton* GetDeleteButton() override { return this; }
    void SetLabel(const std::string& label) override { m_Label = label; }
    void Enable(bool) override {}

    const std::string& Label() const { return m_Label; }

    // Ends the rewritten line before anything else goes to the terminal.
    void EndLine() {
        if (m_Terminal && !m_Status.empty()) std::fputc('\n', stderr);
        m_Status.clear();
    }

  private:
    bool m_Terminal;
    std::string m_Status;
    std::string m_Label;
};

int Usage(const char* problem) {
    std::fprintf(stderr, "corvane-cli: %s\n%s", problem, kUsage);
    return 2;
}

int Check(const std::string& root, bool deleteOlder) {
    corvane::CheckState state;
    ConsoleProgress progress;
    try {
        corvane::RunCheck(state, progress, root);
        std::printf("%s\n", progress.Label().c_str());
        std::fflush(stdout);
        if (deleteOlder) corvane::DeleteOlderItems(state, progress);
        progress.EndLine();
        return 0;
    } catch (const std::exception& error) {
        progress.EndLine();
        std::fprintf(stderr, "corvane-cli: %s\n", error.what());
        return 1;
    }
}

int Restore(const std::string& root) {
    try {
        for (const std::string& line :
             corvane::DescribeRestore(corvane::RestoreLatestDelete(root))) {
            std::printf("%s\n", Printable(line).c_str());
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-cli: %s\n", error.what());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args[0] == "--version") {
        std::puts("corvane-cli 1.0");
        return 0;
    }
    const bool restore = args[0] == "restore";
    if (args[0] != "check" && !restore) return Usage(("unknown command: " + args[0]).c_str());

    bool deleteOlder = false;
    std::string root;
    bool haveRoot = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--delete" && !restore) {
            deleteOlder = true;
        } else if (args[i].size() > 1 && args[i][0] == '-' && args[i] != "--") {
            return Usage(("unknown option: " + args[i]).c_str());
        } else if (!haveRoot) {
            root = args[i] == "--" && i + 1 < args.size() ? args[++i] : args[i];
            haveRoot = true;
        } else {
            return Usage("more than one LIBRARY_ROOT given");
        }
    }
    try {
        root = haveRoot ? corvane::platform::AbsolutePath(root)
                        : corvane::platform::ExecutableFolder();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-cli: %s\n", error.what());
        return 1;
    }
    root = corvane::platform::WithTrailingSeparator(root);
    return restore ? Restore(root) : Check(root, deleteOlder);
}
