// The command line as both programs read it: their name and version, the
// LIBRARY_ROOT argument, and what ends a program before it runs (help, its
// version, or a usage error told in two lines on stderr that point to
// --help, with exit status 2).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace corvane {

class CommandLine {
  public:
    static constexpr int kUsageError = 2;

    CommandLine(std::string program, const std::string& description);

    CLI::App& App() { return m_App; }

    // Adds the LIBRARY_ROOT argument to command (the program itself or one
    // of its commands); an empty one is a usage error.
    static void AddLibraryRoot(CLI::App& command, std::optional<std::string>& root,
                               const std::string& help);
    // For an option whose value must not be empty.
    static std::string NonEmpty(const std::string& text);

    // Reads the arguments (argv[0] the program's name); an exit status when
    // the program ends here.
    std::optional<int> Parse(int argc, char** argv);

    // Tells of a usage problem found after parsing; gives kUsageError.
    int UsageError(const std::string& problem) const;

  private:
    std::string m_Program;
    CLI::App m_App;
};

}  // namespace corvane
