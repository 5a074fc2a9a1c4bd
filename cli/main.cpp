// corvane-cli: the console front end. stdout gets the result of a command,
// stderr its errors and, on a terminal, its progress.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "audit/library_root.h"
#include "cleanup/backup_tree.h"
#include "cli/console_progress.h"
#include "commands/command_line.h"
#include "commands/commands.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/system.h"
#include "report/diagnostics.h"
#include "report/json_report.h"

namespace {

using corvane::cli::ConsoleProgress;

constexpr int kDone = 0;
constexpr int kFailed = 1;
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

// Reads the command line into options; an exit status when the program ends
// here (help, version, usage error).
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    corvane::CommandLine line(
        "corvane-cli", "Checks the content library of a railway simulator and writes its report.");
    CLI::App& cli = line.App();
    cli.require_subcommand(1);
    cli.footer(
        "Run 'corvane-cli COMMAND --help' for a command's options.\n"
        "Exit status: 0 done, 1 the command ended on an error, 2 usage error,\n"
        "3 the report has rows (check --exit-code).");
    cli.get_formatter()->column_width(22);
    const auto nonEmpty = corvane::CommandLine::NonEmpty;
    const std::string rootHelp = "The library's top folder (default: the current folder)";

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
    corvane::CommandLine::AddLibraryRoot(*check, options.root, rootHelp);

    CLI::App* restore =
        cli.add_subcommand("restore", "Undo the latest delete not yet undone, from its backups");
    corvane::CommandLine::AddLibraryRoot(*restore, options.root, rootHelp);

    if (std::optional<int> status = line.Parse(argc, argv)) return status;
    if (options.quiet && options.verbose) {
        return line.UsageError("--quiet and --verbose exclude each other");
    }
    if (options.json == "-" && options.diagnostics == "-") {
        return line.UsageError("--json and --diagnostics cannot both write to standard output");
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
            Error(std::string("Cannot write to ") + name + ": " + std::strerror(errno));
            return false;
        }
        return true;
    }

  private:
    std::string m_Text;
};

// Hands the core's progress to the console.
class Progress final : public corvane::DeleteProgress {
  public:
    explicit Progress(ConsoleProgress& console) : m_Console(console) {}

    void Status(const std::string& text) override { m_Console.Status(text); }
    void FileChecked(size_t files, size_t items) override { m_Console.Counts(files, items); }

  private:
    ConsoleProgress& m_Console;
};

ConsoleProgress::Mode ProgressMode(const Options& options) {
    if (options.quiet) return ConsoleProgress::Mode::kSilent;
    if (options.verbose) return ConsoleProgress::Mode::kLines;
    switch (corvane::platform::TerminalOn(2)) {
        case corvane::platform::Terminal::kSequences:
            return ConsoleProgress::Mode::kLine;
        case corvane::platform::Terminal::kPlain:
            return ConsoleProgress::Mode::kPlainLine;
        case corvane::platform::Terminal::kNone:
            break;
    }
    return ConsoleProgress::Mode::kSilent;
}

// Writes text to the file at path, or to stdout for "-".
void WriteOutput(const std::string& path, const std::string& text) {
    if (path == "-") {
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
            std::fflush(stdout) != 0) {
            throw std::runtime_error(std::string("Cannot write to standard output: ") +
                                     std::strerror(errno));
        }
        return;
    }
    std::unique_ptr<corvane::platform::OutputFile> file =
        corvane::platform::RealFileSystem().Create(path);
    file->Write(text);
    file->Place();
}

ConsoleProgress MakeConsole(const Options& options) {
    return ConsoleProgress(ProgressMode(options), corvane::platform::TerminalColumns(2),
                           [](std::string_view text) {
                               corvane::platform::WriteText(stderr, text);
                               std::fflush(stderr);
                           });
}

int Check(const Options& options, const std::string& root) {
    using corvane::platform::SystemRelativePath;
    ConsoleProgress console = MakeConsole(options);
    Progress progress(console);
    Result result;
    int status = kDone;
    try {
        const corvane::LibraryLock library(root);
        corvane::FindingsCollector collected;
        const corvane::CheckResult check = corvane::RunCheckCommand(
            library, progress,
            {.jobs = options.jobs,
             .findings = options.json || options.diagnostics ? &collected : nullptr});
        const corvane::Findings& findings = collected.Result();
        result.Line("Files read:", check.filesRead);
        result.Line("Items read:", check.itemsRead);
        result.Line("Older duplicates:", check.olderItems.size());
        result.Line("Syntax errors:", check.syntaxErrors);
        result.Line("Missing textures:", check.missingTextures);
        result.Line("Missing components:", check.missingComponents);
        result.Line("Report:", check.reportPath);
        if (options.exitCode && status == kDone && check.Rows() > 0) status = kFindings;
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
            const corvane::DeleteResult deleted =
                corvane::RunDeleteCommand(library, check.olderItems, progress);
            result.Line("Items removed:", deleted.removed.size());
            result.Line("Files changed:", deleted.filesChanged);
            result.Line("Backups:", root + SystemRelativePath(corvane::kBackupFolder) +
                                        corvane::platform::kSeparator);
            if (!deleted.id.empty()) {
                result.Line("Log:", root + SystemRelativePath(
                                               corvane::BackupTree::DeleteLogOf(deleted.id)));
            }
            console.Clear();
            for (const std::string& warning : deleted.warnings) Error("warning: " + warning);
            for (const std::string& problem : deleted.problems) Error(problem);
            if (deleted.Failed()) {
                Error(std::to_string(deleted.notRemoved.size()) +
                      " older items are still in the library; run the check again to see them");
                status = kFailed;
            }
        }
    } catch (const std::exception& error) {
        console.Clear();
        Error(error.what());
        return kFailed;
    }
    console.Clear();
    // When stdout carries the JSON or the diagnostics, the result goes with
    // the progress, and -q leaves it out.
    if (options.json == "-" || options.diagnostics == "-") {
        if (!options.quiet && !result.WriteTo(stderr, "standard error")) return kFailed;
        return status;
    }
    return result.WriteTo(stdout, "standard output") ? status : kFailed;
}

// Undoes the latest delete not yet undone and says what it put back.
int Restore(const Options& options, const std::string& root) {
    ConsoleProgress console = MakeConsole(options);
    Progress progress(console);
    Result result;
    corvane::RestoreResult restored;
    try {
        const corvane::LibraryLock library(root);
        restored = corvane::RunRestoreCommand(library, progress);
    } catch (const std::exception& error) {
        console.Clear();
        Error(error.what());
        return kFailed;
    }
    console.Clear();
    for (const std::string& line : corvane::DescribeRestore(restored)) {
        result.Text(corvane::cli::Printable(line));
    }
    for (const std::string& warning : restored.warnings) Error("warning: " + warning);
    if (!restored.failure.empty()) Error(restored.failure);
    if (!result.WriteTo(stdout, "standard output")) return kFailed;
    return restored.Failed() ? kFailed : kDone;
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
