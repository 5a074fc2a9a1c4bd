// What corvane-cli shows on stderr while a command runs: nothing, one live
// line redrawn in place on a terminal, or every status text as its own line
// for logs.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace corvane::cli {

class ConsoleProgress {
  public:
    enum class Mode {
        kSilent,     // errors only: -q, or stderr is not a terminal
        kLine,       // one live line on a terminal, its rest erased by ESC[K
        kPlainLine,  // the same on a console without control sequences:
                     // what the last line showed beyond the new one is
                     // overwritten with spaces
        kLines,      // -v: each status text on a line of its own
    };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Writer = std::function<void(std::string_view)>;

    // columns: the terminal's width (0 when unknown); the live line stays
    // shorter, so that it never wraps and \r returns to its start.
    ConsoleProgress(Mode mode, unsigned columns, Writer write,
                    Clock clock = std::chrono::steady_clock::now);

    // Where the command is: a folder, an item being taken out, "Finished".
    void Status(const std::string& text);
    // The library files and item names read so far.
    void Counts(size_t files, size_t items);
    // Takes the live line off the screen; call before anything else goes to
    // the terminal, and at the end.
    void Clear();

    // The least time between two redraws of the live line.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

  private:
    void Redraw();

    Mode m_Mode;
    unsigned m_Columns;
    Writer m_Write;
    Clock m_Clock;
    std::chrono::steady_clock::time_point m_Start;
    std::chrono::steady_clock::time_point m_LastDraw;
    bool m_Shown = false;     // the live line is on the screen
    size_t m_ShownWidth = 0;  // its width in characters
    std::string m_Status;
    size_t m_Files = 0;
    size_t m_Items = 0;
};

// Folder and item names come from the library: shown through
// text::Printable, so that none steers the terminal or breaks the line.
using text::Printable;

}  // namespace corvane::cli
