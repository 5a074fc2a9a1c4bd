#include "cli/console_progress.h"

#include <cstdio>

namespace corvane::cli {
namespace {

// Characters of UTF-8 text: the bytes that start one.
size_t Width(std::string_view text) {
    size_t width = 0;
    for (char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

}  // namespace

ConsoleProgress::ConsoleProgress(Mode mode, unsigned columns, Writer write, Clock clock)
    : m_Mode(mode),
      m_Columns(columns),
      m_Write(std::move(write)),
      m_Clock(std::move(clock)),
      m_Start(m_Clock()),
      m_LastDraw(m_Start - kRedrawInterval) {}

void ConsoleProgress::Status(const std::string& text) {
    // The walk shows a folder again when it comes back from its subfolders.
    if (text == m_Status) return;
    m_Status = text;
    if (m_Mode == Mode::kLines) {
        m_Write(Printable(text) + "\n");
    } else {
        Redraw();
    }
}

void ConsoleProgress::Counts(size_t files, size_t items) {
    m_Files = files;
    m_Items = items;
    Redraw();
}

void ConsoleProgress::Redraw() {
    if (m_Mode != Mode::kLine && m_Mode != Mode::kPlainLine) return;
    auto now = m_Clock();
    if (now - m_LastDraw < kRedrawInterval) return;
    m_LastDraw = now;

    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_Start).count();
    char head[96];
    std::snprintf(head, sizeof head, "%lld:%02lld  %zu files  %zu items  ",
                  static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60),
                  m_Files, m_Items);
    std::string line = head + Printable(m_Status);
    // One column short of the width: a line that fills it makes some
    // terminals wrap. Cut at the start of a UTF-8 sequence.
    if (m_Columns > 1 && line.size() > m_Columns - 1) {
        size_t cut = m_Columns - 1;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        line.resize(cut);
    }
    if (m_Mode == Mode::kLine) {
        m_Write("\r\033[K" + line);
    } else {
        size_t width = Width(line);
        std::string text = "\r" + line;
        text.append(m_ShownWidth > width ? m_ShownWidth - width : 0, ' ');
        m_Write(text);
        m_ShownWidth = width;
    }
    m_Shown = true;
}

void ConsoleProgress::Clear() {
    if (!m_Shown) return;
    if (m_Mode == Mode::kLine) {
        m_Write("\r\033[K");
    } else {
        std::string blank(m_ShownWidth + 2, ' ');
        blank.front() = blank.back() = '\r';
        m_Write(blank);
        m_ShownWidth = 0;
    }
    m_Shown = false;
    // The next redraw may come at once.
    m_LastDraw = m_Clock() - kRedrawInterval;
}

}  // namespace corvane::cli
