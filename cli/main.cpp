// corvane-cli: the console front end. It shows the status line on stderr and
// prints the number of older items found on stdout, as the dialog's delete
// button reads.
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cleanup/delete_older.h"
#include "platform/files.h"
#include "platform/system.h"
#include "report/html_report.h"
#include "report/json_report.h"

namespace {

constexpr const char* kUsage =
    "Usage: corvane-cli check [--delete] [--json FILE] [--jobs N] [LIBRARY_ROOT]\n"
    "       corvane-cli --help | --version\n"
    "\n"
    "check     Check the library whose top folder is LIBRARY_ROOT (by default the\n"
    "          folder that holds this program) and write LIBRARY_ROOT/Corvane.htm.\n"
    "          Prints how many older items it found, e.g. \"Delete 3 older items\".\n"
    "--delete  Then delete the older items that the check found, keeping each\n"
    "          file as it was under LIBRARY_ROOT/backup.\n"
    "--json FILE  Also write the findings as JSON to FILE (\"-\": to stdout, which\n"
    "          then carries the JSON alone).\n"
    "--jobs N  Read and scan the library files on N threads (by default as many\n"
    "          as the machine has cores, at least 2; 1 reads them one by one).\n"
    "\n"
    "Exit status: 0 done, 1 the command ended on an error, 2 usage error.\n";

// Status texts on stderr: one line rewritten in place on a terminal,
// otherwise one line each.
class ConsoleProgress final : public corvane::ProgressObserver {
  public:
    ConsoleProgress() : m_Terminal(corvane::platform::IsTerminal(2)) {}

    void Status(const std::string& text) override {
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

    // Ends the rewritten line before anything else goes to the terminal.
    void EndLine() {
        if (m_Terminal && !m_Status.empty()) std::fputc('\n', stderr);
        m_Status.clear();
    }

  private:
    // Folder and item names come from the library: a control character in
    // one must neither steer the terminal nor break the line.
    static std::string Printable(std::string text) {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        }
        return text;
    }

    bool m_Terminal;
    std::string m_Status;
};

int Usage(const char* problem) {
    std::fprintf(stderr, "corvane-cli: %s\n%s", problem, kUsage);
    return 2;
}

void WriteJson(const std::string& path, const std::string& json) {
    if (path == "-") {
        std::fwrite(json.data(), 1, json.size(), stdout);
        std::fflush(stdout);
        if (std::ferror(stdout)) throw std::runtime_error("cannot write the JSON to stdout");
        return;
    }
    std::unique_ptr<corvane::platform::OutputFile> file =
        corvane::platform::RealFileSystem().Create(path);
    file->Write(json);
    file->Close();
}

// jsonPath empty: no JSON.
int Check(const std::string& root, bool deleteOlder, const std::string& jsonPath, unsigned jobs) {
    ConsoleProgress progress;
    try {
        corvane::FindingsCollector findings;
        std::vector<corvane::OlderItem> older =
            corvane::CheckAndWriteReport(root, progress, corvane::platform::RealFileSystem(),
                                         jsonPath.empty() ? nullptr : &findings, jobs);
        if (!jsonPath.empty()) WriteJson(jsonPath, corvane::JsonReport(findings.Result()));
        // When stdout carries the JSON, the count goes with the status texts.
        std::FILE* countTo = jsonPath == "-" ? stderr : stdout;
        if (countTo == stderr) progress.EndLine();
        std::fprintf(countTo, "Delete %zu older items\n", older.size());
        std::fflush(countTo);
        if (deleteOlder) corvane::DeleteOlderItems(root, older, progress);
        progress.EndLine();
        return 0;
    } catch (const std::exception& error) {
        progress.EndLine();
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
    if (args[0] != "check") return Usage(("unknown command: " + args[0]).c_str());

    bool deleteOlder = false;
    std::string root;
    std::string jsonPath;
    bool haveRoot = false;
    unsigned jobs = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--delete") {
            deleteOlder = true;
        } else if (args[i] == "--json") {
            if (i + 1 == args.size() || args[i + 1].empty()) return Usage("--json needs a FILE");
            jsonPath = args[++i];
        } else if (args[i] == "--jobs") {
            // A whole number from 1 to 1024, digits only.
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            jobs = 0;
            for (char c : value) {
                if (c < '0' || c > '9' || jobs > 1024) {
                    jobs = 0;
                    break;
                }
                jobs = jobs * 10 + unsigned(c - '0');
            }
            if (jobs < 1 || jobs > 1024) return Usage("--jobs needs a number from 1 to 1024");
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
    return Check(corvane::platform::WithTrailingSeparator(root), deleteOlder, jsonPath, jobs);
}
