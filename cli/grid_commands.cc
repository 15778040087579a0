// The grid's operations from the command line: list the minutes of a grid,
// shift a minute.

#include "cli/commands.h"

#include "grid/load.h"
#include "grid/shift.h"
#include "spinedit/program_editors.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

// A progress bar on a terminal; nothing when the output is not one.
class TerminalProgress : public grid::ProgressSink {
public:
    explicit TerminalProgress(std::FILE* err) : m_err(err), m_terminal(isatty(fileno(err)) != 0) {}

    void report(const std::string& text, double percent) override
    {
        if (!m_terminal)
            return;
        if (!text.empty())
            m_heading = text;
        if (text.empty() && percent < 0) {
            if (m_shown)
                std::fputs("\r\033[K", m_err);
            m_shown = false;
            return;
        }
        const int p = percent < 0 ? 0 : percent > 100 ? 100 : static_cast<int>(percent);
        constexpr int kWidth = 30;
        std::string bar(static_cast<std::size_t>(p * kWidth / 100), '#');
        bar.resize(kWidth, '.');
        std::fprintf(m_err, "\r\033[K[%s] %3d%% %s", bar.c_str(), p, m_heading.c_str());
        std::fflush(m_err);
        m_shown = true;
    }

private:
    std::FILE* m_err;
    bool m_terminal;
    bool m_shown = false;
    std::string m_heading;
};

// The window's part: messages go to standard error, the list is kept.
class ConsoleView : public grid::ShiftView {
public:
    ConsoleView(std::FILE* err, bool assumeYes) : m_err(err), m_assumeYes(assumeYes) {}

    void showError(const std::string& message) override
    {
        std::fprintf(m_err, "%s\n", message.c_str());
        ++errors;
    }
    void showNotice(const std::string& message) override { std::fprintf(m_err, "%s\n", message.c_str()); }
    void clearMinuteList() override { list.clear(); }
    void addMinute(const std::string& text) override { list.push_back(text); }
    void selectFirstMinute() override {}

    bool confirm(const std::string& text) override
    {
        if (m_assumeYes)
            return true;
        std::string shown = text;
        for (char& c : shown)
            if (c == '\r')
                c = '\n';
        std::fprintf(m_err, "%s [y/N] ", shown.c_str());
        std::fflush(m_err);
        if (!isatty(fileno(stdin))) {
            std::fputs("\n(no terminal to answer on: No)\n", m_err);
            return false;
        }
        std::string answer;
        std::getline(std::cin, answer);
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }

    int errors = 0;
    std::vector<std::string> list;

private:
    std::FILE* m_err;
    bool m_assumeYes;
};

// "0,2,5" or "8-11,14" into the ticked positions; false on anything else.
bool parseIndexList(const std::string& text, int last, std::vector<bool>* ticks)
{
    ticks->assign(static_cast<std::size_t>(last) + 1, false);
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find(',', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(pos, end - pos);
        const std::size_t dash = item.find('-');
        auto number = [](const std::string& s, int* out) {
            if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
                return false;
            *out = std::atoi(s.c_str());
            return true;
        };
        int from = 0, to = 0;
        if (dash == std::string::npos) {
            if (!number(item, &from))
                return false;
            to = from;
        } else if (!number(item.substr(0, dash), &from) || !number(item.substr(dash + 1), &to)) {
            return false;
        }
        if (from > to || to > last)
            return false;
        for (int i = from; i <= to; ++i)
            (*ticks)[static_cast<std::size_t>(i)] = true;
        pos = end + 1;
    }
    return true;
}

struct Ticks : grid::TickList {
    std::vector<bool> v;
    int count() const override { return static_cast<int>(v.size()); }
    bool ticked(int i) const override { return v[static_cast<std::size_t>(i)]; }
};

const char* kShiftUsage =
    "usage: gridshift-cli shift DIR --from OLD --to NEW --size MM:SS [--days LIST] [--hours LIST] [--yes]\n"
    "  DIR    the database folder, as typed in the window (C:\\Kalvora under Wine works)\n"
    "  OLD    the minute whose blocks move; NEW the minute they move to (the same: set lengths only)\n"
    "  MM:SS  the new block length\n"
    "  LIST   days 0-6 (0 = Monday) or hours 0-23, e.g. 0,1,4 or 8-11,14; all when left out\n";

} // namespace

int minutes(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    if (args.size() != 1) {
        std::fputs("usage: gridshift-cli minutes DIR\n", err);
        return kUsageError;
    }
    grid::Engine engine;
    grid::QueryDataSet query;
    TerminalProgress progress(err);
    ConsoleView view(err, true);
    try {
        grid::loadMinutes(engine, args[0], query, progress, view);
    } catch (const std::exception& e) {
        progress.report("", -1);
        std::fprintf(err, "%s\n", e.what());
        return kFailure;
    }
    if (view.errors)
        return kFailure;
    for (const std::string& m : view.list)
        std::fprintf(out, "%s\n", m.c_str());
    return kSuccess;
}

int shift(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    std::string folder, from, to, size, daysText, hoursText;
    bool yes = false, haveFolder = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* target) {
            if (i + 1 >= args.size())
                return false;
            *target = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "--from")
            ok = value(&from);
        else if (a == "--to")
            ok = value(&to);
        else if (a == "--size")
            ok = value(&size);
        else if (a == "--days")
            ok = value(&daysText);
        else if (a == "--hours")
            ok = value(&hoursText);
        else if (a == "--yes")
            yes = true;
        else if (!haveFolder && (a.empty() || a[0] != '-')) {
            folder = a;
            haveFolder = true;
        } else
            ok = false;
        if (!ok) {
            std::fputs(kShiftUsage, err);
            return kUsageError;
        }
    }
    Ticks days, hours;
    days.v.assign(7, true);
    hours.v.assign(24, true);
    const bool wholeNumbers = from.find_first_not_of("0123456789") == std::string::npos && from.size() <= 5 &&
                              to.find_first_not_of("-0123456789") == std::string::npos && to.size() <= 12;
    if (!haveFolder || from.empty() || to.empty() || size.empty() || !wholeNumbers || std::atol(from.c_str()) > 65535 ||
        (!daysText.empty() && !parseIndexList(daysText, 6, &days.v)) ||
        (!hoursText.empty() && !parseIndexList(hoursText, 23, &hours.v))) {
        std::fputs(kShiftUsage, err);
        return kUsageError;
    }

    // The editors read the values as the window's do.
    spinedit::SpinValue newMinute = spinedit::makeRxNew();
    newMinute.setText(to);
    spinedit::SpinValue blockSize = spinedit::makeRXNewSize();
    blockSize.setText(size);

    grid::Engine engine;
    grid::QueryDataSet query;
    grid::TableDataSet table;
    TerminalProgress progress(err);
    ConsoleView view(err, yes);
    const grid::DayHourFilter filter(days, hours);
    try {
        grid::loadMinutes(engine, folder, query, progress, view);
        if (view.errors)
            return kFailure;
        engine.OldMinute = static_cast<std::uint16_t>(std::atol(from.c_str()));
        grid::ShiftInputs inputs;
        inputs.newMinute = newMinute.Value();
        inputs.blockSize = [&blockSize] { return blockSize.Value(); };
        inputs.folderText = [&folder] { return folder; };
        const grid::ShiftResult r = grid::shiftMinute(engine, inputs, filter, table, query, progress, view);
        if (!r.ran) {
            std::fputs("Nothing changed.\n", err);
            return kFailure;
        }
        std::fprintf(out, "AdvSetBlk.db: %d records changed\nAdvBlock.db: %d records changed\n", r.gridChanged,
                     r.fillingChanged);
    } catch (const std::exception& e) {
        progress.report("", -1);
        std::fprintf(err, "%s\n", e.what());
        return kFailure;
    }
    return kSuccess;
}

} // namespace cli
