#pragma once

// Grid-shaped tables for the load and shift tests, written with the
// project's own table builder.

#include "paradox/table.h"
#include "test_support.h"

#include <string>
#include <vector>

namespace testsupport {

struct GridSlot {
    int day; // FDayOfWeek: 0 = Monday
    int hour, minute, second = 0, msec = 0;
    int sizeSeconds = 120;
};

struct FillingEntry {
    int year, month, day;
    int hour, minute, second = 0;
};

struct GridTableOptions {
    bool keyed = false;
    paradox::FieldType timeType = paradox::FieldType::Time; // of FTime; Timestamp also works
    int recordsPerBlock = 0;
    // Maintained secondary indexes as the demo's: the grid's by FSize and by
    // FDayOfWeek and FSize, the filling's by FTime and FDate, by FDate and
    // FTime descending, and by FSpots.
    bool secondary = false;
};

// AdvSetBlk.db: FDayOfWeek, FTime, FSize, FName. Keyed on FDayOfWeek, FTime.
void writeGridTable(const std::string& path, const std::vector<GridSlot>& slots,
                    const GridTableOptions& options = {});

// AdvBlock.db: FDate, FTime, FSpots, FNote. Keyed on FDate, FTime.
void writeFillingTable(const std::string& path, const std::vector<FillingEntry>& entries,
                       const GridTableOptions& options = {});

// The values of a table's time field, in the table's order: the minutes of
// FTime, or FSize in whole seconds.
std::vector<int> startMinutes(const std::string& path);
std::vector<int> blockSeconds(const std::string& path);

// Both tables in `folder`: blocks at minutes 0, 15, 30 and 45 of the first
// `hours` hours of every day of the week in the grid, and of every day from
// Monday 2026-03-02 on for `days` days in the filling.
void writeWeekTables(const TempDir& folder, int hours, int days, const GridTableOptions& options = {});
// The two tables' files as they stand, the grid's first.
std::vector<std::vector<std::byte>> bothTables(const TempDir& folder);

} // namespace testsupport
