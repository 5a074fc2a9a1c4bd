// corvane-cli: the console front end. stdout gets the result of a command,
// stderr its errors and, on a terminal, its progress.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "audit/check_run.h"
#include "audit/library_root.h"
#include "cleanup/delete_older.h"
#include "cleanup/restore.h"
#include "cli/console_progress.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system.h"
#include "report/diagnostics.h"
#include "report/html_report.h"
#include "report/json_report.h"
#include "version.h"

namespace {

using corvane::cli::ConsoleProgress;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr int kFindings = 3;  // with --exit-code: the report has rows

struct Options {
    std::string command;
    std::optional<std::string> root;
    bool deleteOlder = false;
    std::optional<std::string> json;
    std::optional<std::string> diagnostics;
    bool exitCode = false;
    bool quiet = false;
    bool verbose = false;
    unsigned jobs = 0;  // 0: as many as the machine has cores
};

// Texts that name files go out through WriteText, which a Windows console
// shows as characters.
void Error(const std::string& text) {
    corvane::platform::WriteText(stderr, "corvane-cli: " + text + "\n");
}

int UsageError(const std::string& problem) {
    corvane::platform::WriteText(
        stderr, "corvane-cli: " + problem + "\nRun 'corvane-cli --help' for more information.\n");
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
        "Exit status: 0 done, 1 the command ended on an error, 2 usage error,\n"
        "3 the report has rows (check --exit-code).");
    cli.get_formatter()->column_width(22);
    auto nonEmpty = [](const std::string& text) {
        return text.empty() ? std::string("must not be empty") : std::string();
    };
    auto addRoot = [&](CLI::App* command) {
        command
            ->add_option("LIBRARY_ROOT", options.root,
                         "The library's top folder (default: the current folder)")
            ->check(nonEmpty);
    };

    CLI::App* check =
        cli.add_subcommand("check", "Check the library and write its report, Corvane.htm");
    check->add_flag("--delete", options.deleteOlder,
                    "Then take the older duplicates out, keeping backups");
    check
        ->add_option("--json", options.json,
                     "Also write the findings as JSON to FILE ('-': stdout)")
        ->type_name("FILE")
        ->check(nonEmpty);
    check
        ->add_option("--diagnostics", options.diagnostics,
                     "Also write each finding as 'path:line: severity: message' to FILE "
                     "('-': stdout)")
        ->type_name("FILE")
        ->check(nonEmpty);
    check->add_flag("--exit-code", options.exitCode,
                    "End with status 3 when the report has any row");
    check->add_flag("-q,--quiet", options.quiet, "Show nothing on stderr but errors");
    check->add_flag("-v,--verbose", options.verbose,
                    "Show every status text on stderr, one a line");
    check
        ->add_option("--jobs", options.jobs,
                     "Read and scan the library files on N threads (default: one per core, "
                     "at least 2; 1: one by one)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    addRoot(check);

    CLI::App* restore =
        cli.add_subcommand("restore", "Undo the latest delete not yet undone, from its backups");
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
    if (options.json == "-" && options.diagnostics == "-") {
        return UsageError("--json and --diagnostics cannot both write to standard output");
    }
    options.command = check->parsed() ? "check" : "restore";
    return std::nullopt;
}

// A command's result as lines of a label and a value, written at the end so
// that a failed write cannot interrupt the command.
class Result {
  public:
    void Line(const char* label, const std::string& value) {
        char head[32];
        std::snprintf(head, sizeof head, "%-20s", label);
        m_Text += head + value + "\n";
    }
    void Line(const char* label, size_t value) { Line(label, std::to_string(value)); }
    void Text(const std::string& line) { m_Text += line + "\n"; }

    // A failed write is an error of the command.
    bool WriteTo(std::FILE* out, const char* name) const {
        corvane::platform::WriteText(out, m_Text);
        if (std::ferror(out) || std::fflush(out) != 0) {
            Error(std::string("cannot write to ") + name + ": " + std::strerror(errno));
            return false;
        }
        return true;
    }

  private:
    std::string m_Text;
};

// Hands the core's progress to the console, and counts what the result
// reports.
class Progress final : public corvane::ProgressObserver {
  public:
    explicit Progress(ConsoleProgress& console) : m_Console(console) {}

    void Status(const std::string& text) override { m_Console.Status(text); }
    void FileChecked(size_t files, size_t items) override {
        m_Files = files;
        m_Items = items;
        m_Console.Counts(files, items);
    }
    void ItemRemoved(const corvane::OlderItem& item, size_t) override {
        ++m_Removed;
        m_ChangedFiles.insert(item.file);
    }

    size_t m_Files = 0;
    size_t m_Items = 0;
    size_t m_Removed = 0;
    std::set<std::string> m_ChangedFiles;

  private:
    ConsoleProgress& m_Console;
};

ConsoleProgress::Mode ProgressMode(const Options& options) {
    if (options.quiet) return ConsoleProgress::Mode::kSilent;
    if (options.verbose) return ConsoleProgress::Mode::kLines;
    return corvane::platform::IsTerminal(2) ? ConsoleProgress::Mode::kLine
                                            : ConsoleProgress::Mode::kSilent;
}

// Writes text to the file at path, or to stdout for "-".
void WriteOutput(const std::string& path, const std::string& text) {
    if (path == "-") {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0) {
            throw std::runtime_error(std::string("cannot write to standard output: ") +
                                     std::strerror(errno));
        }
        return;
    }
    std::unique_ptr<corvane::platform::OutputFile> file =
        corvane::platform::RealFileSystem().Create(path);
    file->Write(text);
    file->Close();
}

int Check(const Options& options, const std::string& root) {
    ConsoleProgress console(ProgressMode(options), corvane::platform::TerminalColumns(2),
                            [](std::string_view text) {
                                corvane::platform::WriteText(stderr, text);
                                std::fflush(stderr);
                            });
    Progress progress(console);
    Result result;
    bool anyRow = false;
    try {
        corvane::FindingsCollector collected;
        std::vector<corvane::OlderItem> older = corvane::CheckAndWriteReport(
            root, progress, corvane::platform::RealFileSystem(), &collected, options.jobs);
        const corvane::Findings& findings = collected.Result();
        size_t syntaxErrors = 0, missingTextures = 0, missingComponents = 0;
        for (const corvane::CategoryFindings& category : findings.categories) {
            syntaxErrors += category.syntaxErrors.size();
            missingTextures += category.missingTextures.size();
            missingComponents += category.missingComponents.size();
            anyRow = anyRow || !category.duplicates.empty() || !category.syntaxErrors.empty() ||
                     !category.missingTextures.empty() || !category.missingComponents.empty();
        }
        result.Line("Files read:", progress.m_Files);
        result.Line("Items read:", progress.m_Items);
        result.Line("Older duplicates:", older.size());
        result.Line("Syntax errors:", syntaxErrors);
        result.Line("Missing textures:", missingTextures);
        result.Line("Missing components:", missingComponents);
        result.Line("Report:", root + corvane::kReportName);
        if (options.json) {
            console.Clear();
            WriteOutput(*options.json, corvane::JsonReport(findings));
            if (*options.json != "-") {
                result.Line("JSON:", corvane::platform::AbsolutePath(*options.json));
            }
        }
        if (options.diagnostics) {
            console.Clear();
            WriteOutput(*options.diagnostics, corvane::DiagnosticsReport(findings));
            if (*options.diagnostics != "-") {
                result.Line("Diagnostics:", corvane::platform::AbsolutePath(*options.diagnostics));
            }
        }
        if (options.deleteOlder) {
            const std::string id = corvane::DeleteOlderItems(root, older, progress);
            result.Line("Items removed:", progress.m_Removed);
            result.Line("Files changed:", progress.m_ChangedFiles.size());
            result.Line("Backups:", root + corvane::kBackupFolder + "/");
            if (!id.empty()) {
                result.Line("Log:", root + corvane::kBackupFolder + "/delete-" + id + ".log");
            }
        }
    } catch (const std::exception& error) {
        console.Clear();
        Error(error.what());
        return kFailed;
    }
    console.Clear();
    const int done = options.exitCode && anyRow ? kFindings : kDone;
    // When stdout carries the JSON or the diagnostics, the result goes with
    // the progress, and -q leaves it out.
    if (options.json == "-" || options.diagnostics == "-")
        return options.quiet || result.WriteTo(stderr, "standard error") ? done : kFailed;
    return result.WriteTo(stdout, "standard output") ? done : kFailed;
}

// Undoes the latest delete not yet undone and says what it put back.
int Restore(const Options&, const std::string& root) {
    Result result;
    try {
        for (const std::string& line :
             corvane::DescribeRestore(corvane::RestoreLatestDelete(root))) {
            result.Text(corvane::cli::Printable(line));
        }
    } catch (const std::exception& error) {
        Error(error.what());
        return kFailed;
    }
    return result.WriteTo(stdout, "standard output") ? kDone : kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments as UTF-8 (on Windows the runtime's argv holds them in the
    // system code page, losing what it cannot hold).
    std::vector<std::string> args = corvane::platform::Arguments(argc, argv);
    args.insert(args.begin(), argc > 0 ? argv[0] : "corvane-cli");
    std::vector<char*> utf8Argv;
    for (std::string& arg : args) utf8Argv.push_back(arg.data());
    utf8Argv.push_back(nullptr);

    Options options;
    if (std::optional<int> status = ParseArguments(int(args.size()), utf8Argv.data(), options)) {
        return *status;
    }

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
    return options.command == "check" ? Check(options, root) : Restore(options, root);
}
