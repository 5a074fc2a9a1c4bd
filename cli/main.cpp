// corvane-cli: the console front end. stdout gets the result of a command,
// stderr its errors and, on a terminal, its progress.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "audit/check_run.h"
#include "audit/library_root.h"
#include "audit/report.h"
#include "cleanup/delete_older.h"
#include "cli/console_progress.h"
#include "platform/files.h"
#include "platform/system.h"
#include "version.h"

namespace {

using corvane::cli::ConsoleProgress;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

struct Options {
    std::string command;
    std::optional<std::string> root;
    bool deleteOlder = false;
    std::optional<std::string> json;
    bool quiet = false;
    bool verbose = false;
};

void Error(const std::string& text) {
    std::fprintf(stderr, "corvane-cli: %s\n", text.c_str());
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "corvane-cli: %s\nRun 'corvane-cli --help' for more information.\n",
                 problem.c_str());
    return kUsageError;
}

// Reads the command line into options; an exit status when the program ends
// here (help, version, usage error).
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    CLI::App cli{"Checks the content library of a railway simulator and writes its report.",
                 "corvane-cli"};
    cli.set_version_flag("--version", "corvane-cli " CORVANE_VERSION);
    cli.require_subcommand(1);
    cli.footer(
        "Run 'corvane-cli COMMAND --help' for a command's options.\n"
        "Exit status: 0 done, 1 the command ended on an error, 2 usage error.");
    cli.get_formatter()->column_width(22);
    auto nonEmpty = [](const std::string& text) {
        return text.empty() ? std::string("must not be empty") : std::string();
    };
    auto addRoot = [&](CLI::App* command) {
        command
            ->add_option("LIBRARY_ROOT", options.root,
                         "The library's top folder (by default the current folder)")
            ->check(nonEmpty);
    };

    CLI::App* check = cli.add_subcommand(
        "check", "Check the library and write LIBRARY_ROOT/Corvane.htm; print a summary");
    check->add_flag("--delete", options.deleteOlder,
                    "Then delete the older duplicates found, keeping each file as it was "
                    "under LIBRARY_ROOT/backup");
    check->add_option("--json", options.json, "Also write the findings as JSON to FILE")
        ->type_name("FILE")
        ->check(nonEmpty);
    check->add_flag("-q,--quiet", options.quiet, "Show nothing on stderr but errors");
    check->add_flag("-v,--verbose", options.verbose,
                    "Show every status text on stderr, each on its own line");
    addRoot(check);

    CLI::App* restore = cli.add_subcommand(
        "restore", "Put back the library files that the last deletes changed, from the backups");
    addRoot(restore);

    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return cli.exit(request);
    } catch (const CLI::CallForVersion& request) {
        return cli.exit(request);
    } catch (const CLI::RequiredError& error) {
        if (argc > 1 && argv[1][0] != '-') {
            return UsageError(std::string("unknown command '") + argv[1] + "'");
        }
        return UsageError(argc > 1 ? error.what() : "no command given");
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }
    if (options.quiet && options.verbose) {
        return UsageError("--quiet and --verbose exclude each other");
    }
    options.command = check->parsed() ? "check" : "restore";
    return std::nullopt;
}

// What goes to stdout, written at the end so that a failed write cannot
// interrupt a command.
class Result {
  public:
    void Line(const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "%-20s", label);
        m_Text += head + value + "\n";
    }
    void Line(const char* label, size_t value) { Line(label, std::to_string(value)); }

    bool Write() {
        if (std::fputs(m_Text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
            Error(std::string("cannot write to standard output: ") + std::strerror(errno));
            return false;
        }
        return true;
    }

  private:
    std::string m_Text;
};

// The status line of the core's commands, shown on stderr.
class ProgressAdapter final : public corvane::ProgressDisplay {
  public:
    explicit ProgressAdapter(ConsoleProgress& console) : m_Console(console) {}
    void SetStatus(const std::string& text) override { m_Console.Status(text); }
    void RefreshStatus() override {}

  private:
    ConsoleProgress& m_Console;
};

ConsoleProgress::Mode ProgressMode(const Options& options) {
    if (options.quiet) return ConsoleProgress::Mode::kSilent;
    if (options.verbose) return ConsoleProgress::Mode::kLines;
    return corvane::platform::IsTerminal(2) ? ConsoleProgress::Mode::kLine
                                            : ConsoleProgress::Mode::kSilent;
}

int Check(const Options& options, const std::string& root) {
    ConsoleProgress console(ProgressMode(options), corvane::platform::TerminalColumns(2),
                            [](std::string_view text) {
                                std::fwrite(text.data(), 1, text.size(), stderr);
                                std::fflush(stderr);
                            });
    ProgressAdapter progress(console);
    corvane::CheckState state;
    Result result;
    try {
        corvane::RunCheck(state, progress, root);
        result.Line("Older duplicates:", state.m_OlderNames.size());
        result.Line("Report:", root + corvane::kReportName);
        if (options.deleteOlder) {
            size_t older = state.m_OlderNames.size();
            corvane::DeleteOlderItems(state, progress);
            result.Line("Items removed:", older);
            result.Line("Backups:", root + corvane::kBackupFolder + "/");
        }
    } catch (const std::exception& error) {
        console.Clear();
        Error(error.what());
        return kFailed;
    }
    console.Clear();
    return result.Write() ? kDone : kFailed;
}

int Restore(const Options&, const std::string&) {
    Error("restore is not available yet");
    return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (std::optional<int> status = ParseArguments(argc, argv, options)) return *status;

    std::string root;
    try {
        root = corvane::platform::WithTrailingSeparator(
            corvane::platform::AbsolutePath(options.root.value_or(".")));
        // Nothing is written into a folder that is not a library.
        corvane::LibraryRootProblem problem = corvane::ExamineLibraryRoot(root);
        if (problem != corvane::LibraryRootProblem::kNone) {
            Error(corvane::LibraryRootProblemText(problem, root));
            return kFailed;
        }
    } catch (const std::exception& error) {
        Error(error.what());
        return kFailed;
    }
    if (options.json) {
        Error("--json is not available yet");
        return kFailed;
    }
    return options.command == "check" ? Check(options, root) : Restore(options, root);
}
