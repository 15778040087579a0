// Timings of the grid operations on large generated tables: listing the
// minutes of a grid and shifting a minute in a block filling, each beside
// the library's plain walk of the same file and a sequential read of it.
//
//   grid_bench [FOLDER] [RECORDS...]      (defaults: a temporary folder; 100000 1000000)

#include "bench_util.h"
#include "grid/load.h"
#include "grid/shift.h"
#include "paradox/table.h"
#include "paradox/table_builder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using bench::check;
using bench::Clock;
using bench::msSince;
using bench::sequentialReadMs;
using bench::value;
namespace fs = std::filesystem;

// Blocks at minutes 0, 15, 30 and 45 of every hour; a grid repeats the week
// (day index = record / 96 mod 7), a filling counts days on from 2020-01-06.
// `timeIndex`: with a maintained secondary index on FTime.
void generate(const std::string& path, std::size_t records, bool filling, bool timeIndex = false)
{
    using paradox::FieldType;
    using Kind = paradox::Value::Kind;
    std::unique_ptr<paradox::TableBuilder> b;
    std::vector<paradox::FieldDefinition> fields;
    if (filling)
        fields = {{"FDate", FieldType::Date},
                  {"FTime", FieldType::Time},
                  {"FSpots", FieldType::Short},
                  {"FNote", FieldType::Alpha, 40}};
    else
        fields = {{"FDayOfWeek", FieldType::Short},
                  {"FTime", FieldType::Time},
                  {"FSize", FieldType::Time},
                  {"FName", FieldType::Alpha, 30}};
    paradox::CreateOptions options;
    if (timeIndex) {
        paradox::IndexDefinition byTime;
        byTime.fields = {"FTime"};
        options.indexes = {byTime};
    }
    check(paradox::TableBuilder::create(fields, options, &b));
    paradox::Value text;
    text.kind = Kind::Text;
    text.text = "block";
    const std::int64_t monday = paradox::dayNumberFromCivil({2020, 1, 6});
    for (std::size_t i = 0; i < records; ++i) {
        const std::int64_t slot = static_cast<std::int64_t>(i % 96);
        // A few distinct seconds so that the grid has many distinct start times.
        const paradox::Value time =
            value(Kind::Time,
                  ((slot / 4 * 60 + slot % 4 * 15) * 60 + static_cast<std::int64_t>(i / 96 % 60)) * 1000);
        const auto day = static_cast<std::int64_t>(i / 96);
        if (filling)
            check(b->addRecord({value(Kind::Date, monday + day), time, value(Kind::Integer, 3), text}));
        else
            check(b->addRecord({value(Kind::Integer, day % 7), time, value(Kind::Time, 180000), text}));
    }
    check(b->write(path));
}

double plainWalkMs(const std::string& path)
{
    const auto start = Clock::now();
    std::unique_ptr<paradox::Table> t;
    paradox::Table::Options o;
    o.mode = paradox::OpenMode::ReadOnly;
    check(paradox::Table::open(path, o, &t));
    const int time = t->fieldIndex("FTime");
    double sum = 0;
    for (t->first(); !t->eof(); t->next()) {
        paradox::DateTime v = 0;
        check(t->readDateTime(time, &v));
        sum += v;
    }
    check(t->close());
    return sum < 0 ? 0 : msSince(start);
}

struct Quiet : grid::ShiftView, grid::ProgressSink {
    void report(const std::string&, double) override {}
    void showError(const std::string& m) override { std::fprintf(stderr, "%s\n", m.c_str()); }
    void showNotice(const std::string& m) override { std::fprintf(stderr, "%s\n", m.c_str()); }
    void clearMinuteList() override {}
    void addMinute(const std::string&) override { ++minutes; }
    void selectFirstMinute() override {}
    bool confirm(const std::string&) override { return true; }
    int minutes = 0;
};

struct AllTicked : grid::TickList {
    int n;
    explicit AllTicked(int count) : n(count) {}
    int count() const override { return n; }
    bool ticked(int) const override { return true; }
};

double cpuMs()
{
    rusage u;
    ::getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

double userMs()
{
    rusage u;
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec * 1e3 + u.ru_utime.tv_usec / 1e3;
}

// The shift as a station meets it: a week's grid of 2,016 blocks and a
// filling of 1,000,000 records, a quarter of which move; the minute list is
// loaded first, as the window does, and the reload after is left out. With
// `timeIndex` the filling has a maintained secondary index on FTime, whose
// entries the shift moves too.
void shiftCpu(const std::string& folder, bool timeIndex)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string gridPath = folder + "/AdvSetBlk.db", fillingPath = folder + "/AdvBlock.db";
    generate(gridPath, 2016, false);
    generate(fillingPath, 1000000, true, timeIndex);
    std::printf("%s:\n",
                timeIndex ? "filling with a maintained index on FTime" : "filling without secondary indexes");
    Quiet quiet;
    AllTicked days(7), hours(24);
    const grid::DayHourFilter filter(days, hours);
    grid::Engine engine;
    grid::QueryDataSet query;
    grid::TableDataSet table;
    const double read = sequentialReadMs(fillingPath);
    for (int round = 0; round < 3; ++round) {
        grid::loadMinutes(engine, folder, query, quiet, quiet);
        engine.OldMinute = round % 2 == 0 ? 15 : 20;
        grid::ShiftInputs in;
        in.newMinute = round % 2 == 0 ? 20 : 15;
        in.blockSize = [] { return 150.0 / 86400; };
        in.dryRun = round == 2;
        in.folderText = [&] { return folder; };
        const double cpu0 = cpuMs(), user0 = userMs();
        const auto start = Clock::now();
        const grid::ShiftResult r = grid::shiftMinute(engine, in, filter, table, query, quiet, quiet);
        const double wall = msSince(start), cpu = cpuMs() - cpu0, user = userMs() - user0;
        std::printf("shift %s: %d + %d records | cpu %.1f ms (user %.1f, %.0f ns a record) | wall %.1f ms"
                    " (reload included) | sequential read of the filling %.2f ms | cpu/read %.1fx\n",
                    in.dryRun ? "plan only (--dry-run)" : "planned and journaled", r.gridChanged, r.fillingChanged,
                    cpu, user, user * 1e6 / 1002016, wall, read, cpu / read);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : (fs::temp_directory_path() / "gridshift-grid-bench").string();
    std::vector<std::size_t> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(static_cast<std::size_t>(std::strtoull(argv[i], nullptr, 10)));
    if (sizes.empty())
        sizes = {100000, 1000000};

    shiftCpu(folder, false);
    shiftCpu(folder, true);
    if (std::getenv("GRIDSHIFT_BENCH_SHIFT_ONLY"))
        return 0;

    for (std::size_t n : sizes) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const std::string gridPath = folder + "/AdvSetBlk.db", fillingPath = folder + "/AdvBlock.db";
        generate(gridPath, n, false);
        generate(fillingPath, n, true);
        Quiet quiet;
        grid::Engine engine;
        grid::QueryDataSet query;

        (void)plainWalkMs(gridPath);
        const double read = sequentialReadMs(gridPath);
        const double walk = plainWalkMs(gridPath);
        auto start = Clock::now();
        grid::loadMinutes(engine, folder, query, quiet, quiet);
        const double load = msSince(start);
        std::printf(
            "%zu-record grid, %.1f MB: minutes %.1f ms (%d minutes) | plain walk %.1f ms | sequential read %.2f ms"
            " | minutes/walk %.2fx, minutes/read %.1fx\n",
            n, static_cast<double>(fs::file_size(gridPath)) / 1e6, load, quiet.minutes, walk, read, load / walk,
            load / read);

        // Shift minute 15 to 20 everywhere: a quarter of the filling moves.
        const double fillRead = sequentialReadMs(fillingPath);
        const double fillWalk = plainWalkMs(fillingPath);
        AllTicked days(7), hours(24);
        const grid::DayHourFilter filter(days, hours);
        grid::TableDataSet table;
        engine.OldMinute = 15;
        grid::ShiftInputs in;
        in.newMinute = 20;
        in.blockSize = [] { return 150.0 / 86400; };
        in.folderText = [&] { return folder; };
        start = Clock::now();
        const grid::ShiftResult r = grid::shiftMinute(engine, in, filter, table, query, quiet, quiet);
        const double shiftMs = msSince(start);
        std::printf("%zu-record filling, %.1f MB: shift %.1f ms (%d + %d records changed, grid and reload included)"
                    " | plain walk %.1f ms | sequential read %.2f ms | shift/walk %.1fx, shift/read %.1fx\n",
                    n, static_cast<double>(fs::file_size(fillingPath)) / 1e6, shiftMs, r.gridChanged,
                    r.fillingChanged, fillWalk, fillRead, shiftMs / fillWalk, shiftMs / fillRead);

        // The same shift through the command line, on fresh tables settled on disk.
        fs::remove(gridPath);
        fs::remove(fillingPath);
        generate(gridPath, n, false);
        generate(fillingPath, n, true);
        ::sync();
        (void)sequentialReadMs(fillingPath);
        const std::string command = std::string(GRIDSHIFT_CLI) + " shift '" + folder +
                                    "' --from 15 --to 20 --size 02:30 --yes > /dev/null";
        start = Clock::now();
        const int status = std::system(command.c_str());
        const double cliMs = msSince(start);
        std::printf(
            "%zu-record filling: gridshift-cli shift %.1f ms wall (exit %d) | shift/walk %.1fx, shift/read %.1fx\n",
            n, cliMs, status, cliMs / fillWalk, cliMs / fillRead);
    }
    fs::remove_all(folder);
    return 0;
}
