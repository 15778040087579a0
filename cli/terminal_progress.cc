#include "cli/terminal_progress.h"

#include "cli/command_line.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <io.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#endif

namespace cli {
namespace {

// Characters, not bytes, of a UTF-8 line: the headings are Cyrillic, and a
// line counted long would wrap where the carriage return cannot reach it.
std::size_t widthOf(const std::string& utf8)
{
    std::size_t n = 0;
    for (const char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

} // namespace

TerminalProgress::TerminalProgress(std::FILE* err, Style style, Clock clock)
    : m_err(err), m_style(style), m_clock(std::move(clock))
{
}

TerminalProgress::TerminalProgress(std::FILE* err)
    : TerminalProgress(err, Style::None, [] { return std::chrono::steady_clock::now(); })
{
#if defined(_WIN32)
    // The C runtime calls any character device a terminal, the null device
    // included; only a console takes a console mode.
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(err)));
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode))
        return;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) {
        m_style = Style::Escapes;
    } else if (SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        m_style = Style::Escapes;
        m_restore = [h, mode] { SetConsoleMode(h, mode); };
    } else {
        m_style = Style::Plain; // a console from before escape sequences
    }
#else
    if (isConsole(err))
        m_style = Style::Escapes;
#endif
}

TerminalProgress::~TerminalProgress()
{
    clear();
    if (m_restore)
        m_restore();
}

void TerminalProgress::report(const std::string& text, double percent)
{
    if (m_style == Style::None)
        return;
    if (text.empty() && percent < 0) {
        clear();
        return;
    }
    if (!text.empty())
        m_heading = text;
    const auto now = m_clock();
    if (!m_shown.empty() && text.empty() && now - m_drawnAt < kRedrawEvery)
        return;
    const int p = percent < 0 ? 0 : percent > 100 ? 100 : static_cast<int>(percent);
    constexpr int kWidth = 30;
    std::string bar(static_cast<std::size_t>(p * kWidth / 100), '#');
    bar.resize(kWidth, '.');
    char head[64];
    std::snprintf(head, sizeof head, "[%s] %3d%% ", bar.c_str(), p);
    const std::string line = head + m_heading;
    if (line != m_shown) {
        draw(line);
        m_drawnAt = now;
    }
}

void TerminalProgress::draw(const std::string& line)
{
    const std::size_t width = widthOf(line);
    if (m_style == Style::Escapes) {
        std::fprintf(m_err, "\r\033[K%s", line.c_str());
    } else {
        // Spaces over what is left of a longer line before.
        const std::string rest(m_shownWidth > width ? m_shownWidth - width : 0, ' ');
        std::fprintf(m_err, "\r%s%s", line.c_str(), rest.c_str());
    }
    std::fflush(m_err);
    m_shown = line;
    m_shownWidth = width;
}

void TerminalProgress::clear()
{
    if (m_shown.empty())
        return;
    if (m_style == Style::Escapes)
        std::fputs("\r\033[K", m_err);
    else
        std::fprintf(m_err, "\r%s\r", std::string(m_shownWidth, ' ').c_str());
    std::fflush(m_err);
    m_shown.clear();
    m_shownWidth = 0;
}

} // namespace cli
