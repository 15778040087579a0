// The grid's operations from the command line: list the minutes of a grid,
// shift a minute.

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/terminal_progress.h"

#include "grid/load.h"
#include "grid/recovery.h"
#include "grid/shift.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>

namespace cli {
namespace {

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
        if (!isConsole(stdin)) {
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
    "usage: gridshift-cli shift DIR --from OLD --to NEW --size MM:SS [--days LIST] [--hours LIST] [--dry-run] "
    "[--yes]\n"
    "  DIR    the database folder, as typed in the window (C:\\Kalvora under Wine works)\n"
    "  OLD    the minute whose blocks move, 0-59; NEW the minute they move to (the same: set lengths only)\n"
    "  MM:SS  the new block length, less than a day: 3:00, 02:30, 75:00\n"
    "  LIST   days 0-6 (0 = Monday) or hours 0-23, e.g. 0,1,4 or 8-11,14; all when left out\n"
    "  --dry-run  print what would change, by day and hour, and change nothing\n";

const char* kUndoUsage = "usage: gridshift-cli undo DIR [--yes]\n"
                         "  DIR    the database folder, as typed in the window\n"
                         "  --yes  undo without asking; otherwise the shift to undo is named and the answer\n"
                         "         read from the terminal (no terminal: No)\n";

// Nobody sees a command line's values before they are written, so only what
// a person plainly means is taken: a minute of the hour, in digits.
bool parseMinute(const std::string& text, std::uint16_t* out)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int v = std::atoi(text.c_str());
    if (v > 59)
        return false;
    *out = static_cast<std::uint16_t>(v);
    return true;
}

// M:SS or MM:SS (any number of minutes below a day) as a date-time value.
bool parseBlockSize(const std::string& text, paradox::DateTime* out)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 4 || text.size() != colon + 3)
        return false;
    const std::string minutes = text.substr(0, colon), seconds = text.substr(colon + 1);
    if (minutes.find_first_not_of("0123456789") != std::string::npos ||
        seconds.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int m = std::atoi(minutes.c_str()), sec = std::atoi(seconds.c_str());
    if (sec > 59 || m >= 24 * 60)
        return false;
    *out = (m * 60 + sec) / 86400.0;
    return true;
}

const char* kDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

void printDryRun(const grid::ShiftResult& r, std::FILE* out)
{
    std::fprintf(out, "AdvSetBlk.db: %d records would change\nAdvBlock.db: %d records would change\n", r.gridChanged,
                 r.fillingChanged);
    if (r.gridChanged == 0 && r.fillingChanged == 0)
        return;
    std::fprintf(out, "day  hour  AdvSetBlk.db  AdvBlock.db\n");
    for (std::size_t day = 0; day < 7; ++day)
        for (std::size_t hour = 0; hour < 24; ++hour) {
            const int g = r.gridByDayHour[day][hour], f = r.fillingByDayHour[day][hour];
            if (g != 0 || f != 0)
                std::fprintf(out, "%zu %s %02zu    %12d  %11d\n", day, kDayNames[day], hour, g, f);
        }
}

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
    std::string folder;
    std::string from, to, size, daysText, hoursText;
    bool haveFrom = false, haveTo = false, haveSize = false, haveDays = false, haveHours = false;
    bool yes = false, dryRun = false, haveFolder = false;
    auto usage = [err](const std::string& problem) {
        if (!problem.empty())
            std::fprintf(err, "gridshift-cli shift: %s\n", problem.c_str());
        std::fputs(kShiftUsage, err);
        return kUsageError;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* target, bool* seen) {
            if (i + 1 >= args.size())
                return false;
            *target = args[++i];
            *seen = true;
            return true;
        };
        bool ok = true;
        if (a == "--from")
            ok = value(&from, &haveFrom);
        else if (a == "--to")
            ok = value(&to, &haveTo);
        else if (a == "--size")
            ok = value(&size, &haveSize);
        else if (a == "--days")
            ok = value(&daysText, &haveDays);
        else if (a == "--hours")
            ok = value(&hoursText, &haveHours);
        else if (a == "--yes")
            yes = true;
        else if (a == "--dry-run")
            dryRun = true;
        else if (!haveFolder && (a.empty() || a[0] != '-')) {
            folder = a;
            haveFolder = true;
        } else
            return usage("unknown argument '" + a + "'");
        if (!ok)
            return usage(a + " needs a value");
    }
    if (!haveFolder)
        return usage("the database folder is missing");
    if (!haveFrom || !haveTo || !haveSize)
        return usage("--from, --to and --size are all needed");
    std::uint16_t oldMinute = 0, newMinute = 0;
    if (!parseMinute(from, &oldMinute))
        return usage("--from takes a minute from 0 to 59, not '" + from + "'");
    if (!parseMinute(to, &newMinute))
        return usage("--to takes a minute from 0 to 59, not '" + to + "'");
    paradox::DateTime blockSize = 0;
    if (!parseBlockSize(size, &blockSize))
        return usage("--size takes a length below a day as M:SS or MM:SS, not '" + size + "'");
    Ticks days, hours;
    days.v.assign(7, true);
    hours.v.assign(24, true);
    if (haveDays && !parseIndexList(daysText, 6, &days.v))
        return usage("--days takes days 0-6 such as 0,1,4 or 0-4, not '" + daysText + "'");
    if (haveHours && !parseIndexList(hoursText, 23, &hours.v))
        return usage("--hours takes hours 0-23 such as 8-11,14, not '" + hoursText + "'");

    grid::Engine engine;
    grid::QueryDataSet query;
    grid::TableDataSet table;
    TerminalProgress progress(err);
    ConsoleView view(err, yes || dryRun);
    const grid::DayHourFilter filter(days, hours);
    try {
        grid::loadMinutes(engine, folder, query, progress, view);
        if (view.errors)
            return kFailure;
        engine.OldMinute = oldMinute;
        grid::ShiftInputs inputs;
        inputs.newMinute = newMinute;
        inputs.blockSize = [blockSize] { return blockSize; };
        inputs.folderText = [&folder] { return folder; };
        inputs.dryRun = dryRun;
        const grid::ShiftResult r = grid::shiftMinute(engine, inputs, filter, table, query, progress, view);
        if (!r.ran) {
            std::fputs("Nothing changed.\n", err);
            return kFailure;
        }
        if (dryRun)
            printDryRun(r, out);
        else
            std::fprintf(out, "AdvSetBlk.db: %d records changed\nAdvBlock.db: %d records changed\n", r.gridChanged,
                         r.fillingChanged);
    } catch (const std::exception& e) {
        progress.report("", -1);
        std::fprintf(err, "%s\n", e.what());
        return kFailure;
    }
    return kSuccess;
}

int undo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    std::string folder;
    bool haveFolder = false, yes = false, extra = false;
    for (const std::string& a : args) {
        if (a == "--yes")
            yes = true;
        else if (!haveFolder && !a.empty() && a[0] != '-')
            folder = a, haveFolder = true;
        else
            extra = true;
    }
    if (!haveFolder || extra) {
        std::fputs(kUndoUsage, err);
        return kUsageError;
    }
    const std::string prefix = grid::SlashedPath(folder);
    ConsoleView view(err, yes);
    try {
        grid::recoverFolder(prefix, view, grid::Access::Write);
        // The same question as the window's, naming the shift it reverses.
        const grid::UndoCheck check = grid::checkUndo(prefix);
        if (!check.possible) {
            std::fprintf(err, "%s\n", check.whyNot.c_str());
            return kFailure;
        }
        if (!view.confirm(grid::undoQuestion(check, prefix))) {
            std::fputs("Nothing changed.\n", err);
            return kFailure;
        }
        std::fprintf(out, "%s\n", grid::undoLastShift(prefix, check).c_str());
    } catch (const std::exception& e) {
        std::fprintf(err, "%s\n", e.what());
        return kFailure;
    }
    return kSuccess;
}

} // namespace cli
