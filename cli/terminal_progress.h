#pragma once

#include "grid/progress_sink.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace cli {

// A progress bar on a terminal, or on Windows a console: nothing at all on
// the null device, a file or a pipe. It redraws at most ten times a second,
// besides the first state of each stage (a report with a heading) and the
// end, so that a fast command prints next to nothing and a slow one still
// moves.
class TerminalProgress : public grid::ProgressSink {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How the line is redrawn: not at all; with a carriage return and an
    // erase-line sequence; with a carriage return and spaces, for a console
    // that does not take escape sequences.
    enum class Style { None, Escapes, Plain };

    static constexpr std::chrono::milliseconds kRedrawEvery{100};

    // Looks at what `err` is. A Windows console gets escape sequences
    // switched on until the object goes, when it gets its mode back.
    explicit TerminalProgress(std::FILE* err);
    // Draws in `style` whatever `err` is, on `clock`'s time.
    TerminalProgress(std::FILE* err, Style style, Clock clock);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void report(const std::string& text, double percent) override;

    Style style() const { return m_style; }

private:
    void draw(const std::string& line);
    void clear();

    std::FILE* m_err;
    Style m_style;
    Clock m_clock;
    std::function<void()> m_restore; // puts the console's mode back
    std::string m_heading;
    std::string m_shown;          // the line on screen; empty when there is none
    std::size_t m_shownWidth = 0; // its width in characters
    std::chrono::steady_clock::time_point m_drawnAt;
};

} // namespace cli
