#include "grid/shift.h"

#include "grid/recovery.h"
#include "paradox/transaction.h"

#include <cmath>

namespace grid {

const char* const kBlockSizeTooLong = "The new block size must be less than a day (1439:59 at most)";

namespace {

std::uint16_t wholeMinute(double value)
{
    const double whole = std::trunc(value);
    if (!(whole >= 0 && whole <= 65535))
        throw RangeError();
    return static_cast<std::uint16_t>(whole);
}

paradox::DateTime movedTime(const paradox::TimeOfDay& t, std::uint16_t minute)
{
    paradox::DateTime value = 0;
    const paradox::Status st = paradox::encodeTime(t.hour, minute, t.second, t.msec, &value);
    if (!st.isOk())
        throw Error(st.message());
    return value;
}

// A length goes into a time-of-day field, which holds less than a day: a
// day or more would silently become a block of no length.
paradox::DateTime checkedBlockSize(paradox::DateTime size)
{
    if (!(size >= 0 && size < 1))
        throw Error(kBlockSizeTooLong);
    return size;
}

struct Pass {
    TableDataSet& table;
    const DayHourFilter& filter;
    const Engine& engine;
    std::uint16_t newMinute;
    ProgressSink& progress;
    int timeField = -1;  // looked up when the walk first needs it

    // When the current record's block starts at the selected minute of a
    // ticked hour: posts its start at the new minute, seconds kept (and in
    // the grid its length). The hour it starts in, or -1.
    int moveCurrentBlock(const std::function<paradox::DateTime()>* blockSize, int* sizeField)
    {
        if (timeField < 0)
            timeField = table.fieldByName("FTime");
        const paradox::TimeOfDay t = paradox::decodeTime(table.asDateTime(timeField));
        if (!filter.CheckTime(t.hour) || t.minute != engine.OldMinute)
            return -1;
        const paradox::DateTime moved = movedTime(t, newMinute);
        table.edit();
        table.setAsDateTime(timeField, moved);
        if (blockSize) {
            const paradox::DateTime size = checkedBlockSize((*blockSize)());
            if (*sizeField < 0)
                *sizeField = table.fieldByName("FSize");
            table.setAsDateTime(*sizeField, size);
        }
        table.post();
        return t.hour;
    }
};

void planGrid(Pass pass, const std::function<paradox::DateTime()>& blockSize, ShiftResult* result)
{
    TableDataSet& table = pass.table;
    int dayField = -1, sizeField = -1;
    std::int32_t counter = 0;
    while (!table.eof()) {
        if (dayField < 0)
            dayField = table.fieldByName("FDayOfWeek");
        const std::int32_t day = table.asInteger(dayField);
        if (pass.filter.CheckDayOfWeek(day)) {
            const int hour = pass.moveCurrentBlock(&blockSize, &sizeField);
            if (hour >= 0) {
                ++result->gridChanged;
                ++result->gridByDayHour[static_cast<std::size_t>(day)][static_cast<std::size_t>(hour)];
            }
        }
        table.next();
        ++counter;
        if (counter % 20 == 0)
            pass.progress.report("", counter * 20.0 / table.recordCount());
    }
}

void planFilling(Pass pass, ShiftResult* result)
{
    TableDataSet& table = pass.table;
    int dateField = -1;
    std::int32_t counter = 0;
    while (!table.eof()) {
        if (dateField < 0)
            dateField = table.fieldByName("FDate");
        const int day = GetDOW(table.asDateTime(dateField));
        if (pass.filter.CheckDayOfWeek(day)) {
            const int hour = pass.moveCurrentBlock(nullptr, nullptr);
            if (hour >= 0) {
                ++result->fillingChanged;
                ++result->fillingByDayHour[static_cast<std::size_t>(day)][static_cast<std::size_t>(hour)];
            }
        }
        table.next();
        ++counter;
        if (counter % 100 == 0)
            pass.progress.report("", counter * 80.0 / table.recordCount() + 20);
    }
}

void check(const paradox::Status& st, const Engine& engine)
{
    if (!st.isOk())
        throw Error(userPaths(st.message(), engine.tablePath(kGridTable)));
}

} // namespace

std::string shiftQuestion(std::uint16_t oldMinute, std::uint16_t newMinute)
{
    if (newMinute == oldMinute)
        return "Вы хотите установить новую продолжительность\rблоков для " + std::to_string(oldMinute) +
               "-ой минуты ?";
    return "Вы действительно хотите перенести все блоки\rрекламной сетки с " + std::to_string(oldMinute) +
           "-ой минуты на " + std::to_string(newMinute) + "-ю ?";
}

ShiftResult shiftMinute(Engine& engine, const ShiftInputs& inputs, const DayHourFilter& filter,
                        TableDataSet& table, QueryDataSet& query, ProgressSink& progress, ShiftView& view)
{
    ShiftResult result;
    if (engine.busy)
        return result;
    detail::BusyGuard guard(engine);

    const std::uint16_t newMinute = wholeMinute(inputs.newMinute);
    checkedBlockSize(inputs.blockSize());
    if (!view.confirm(shiftQuestion(engine.OldMinute, newMinute)))
        return result;
    result.ran = true;
    recoverFolder(engine.BaseFolder, view);
    progress.report("Процесс переноса сетки !", 0);

    const bool moveFilling = newMinute != engine.OldMinute;
    TableDataSet filling(table.name());
    filling.setFileSystem(&table.fileSystem());
    try {
        // Both tables are ours before the first byte changes, so the
        // automation program cannot come between the two.
        table.setTableName(engine.tablePath(kGridTable));
        table.open();
        table.lockForWriting();
        if (moveFilling) {
            filling.setTableName(engine.tablePath(kFillingTable));
            filling.open();
            filling.lockForWriting();
        }
        planGrid({table, filter, engine, newMinute, progress}, inputs.blockSize, &result);
        if (moveFilling) {
            progress.report("Процесс переноса данных", 20);
            planFilling({filling, filter, engine, newMinute, progress}, &result);
        }
        paradox::Transaction tx(table.fileSystem(), kJournalName);
        check(tx.add(table.table()), engine);
        if (moveFilling)
            check(tx.add(filling.table()), engine);
        if (!inputs.dryRun)
            check(tx.commit(), engine);
        table.close();
        filling.close();
    } catch (...) {
        table.abandon();
        filling.abandon();
        query.close();
        progress.report("", -1);
        throw;
    }
    progress.report("", -1);

    if (!inputs.dryRun)
        detail::runLoad(engine, inputs.folderText ? inputs.folderText() : std::string(), query, progress, view);
    return result;
}

} // namespace grid
