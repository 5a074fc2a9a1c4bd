#include "commands/command_line.h"

#include "platform/codepage.h"
#include "version.h"

namespace corvane {

CommandLine::CommandLine(std::string program, const std::string& description)
    : m_Program(std::move(program)), m_App(description, m_Program) {
    m_App.set_version_flag("--version", m_Program + " " CORVANE_VERSION);
}

std::string CommandLine::NonEmpty(const std::string& text) {
    return text.empty() ? std::string("must not be empty") : std::string();
}

void CommandLine::AddLibraryRoot(CLI::App& command, std::optional<std::string>& root,
                                 const std::string& help) {
    command.add_option("LIBRARY_ROOT", root, help)->check(NonEmpty);
}

int CommandLine::UsageError(const std::string& problem) const {
    platform::WriteText(stderr, m_Program + ": " + problem + "\nRun '" + m_Program +
                                    " --help' for more information.\n");
    return kUsageError;
}

std::optional<int> CommandLine::Parse(int argc, char** argv) {
    try {
        m_App.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return m_App.exit(request);
    } catch (const CLI::CallForVersion& request) {
        return m_App.exit(request);
    } catch (const CLI::RequiredError& error) {
        // A program of commands was given none, or one it does not know.
        if (argc > 1 && argv[1][0] != '-') {
            return UsageError(std::string("unknown command '") + argv[1] + "'");
        }
        return UsageError(argc > 1 ? error.what() : "no command given");
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }
    return std::nullopt;
}

}  // namespace corvane
