#include "grid/shift.h"

#include "grid/recovery.h"
#include "paradox/transaction.h"

#include <cmath>

namespace grid {

namespace {

const char* const kBlockSizeTooLong = "Новый размер блока должен быть меньше суток (не более 1439:59)";

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

// The day and hour ticks as the lists held them when the shift was
// confirmed. The user may tick or untick during the walk (each progress
// report handles the window's messages); the walk must not follow, or the two
// tables would disagree with each other and with what was confirmed.
class Ticks {
public:
    explicit Ticks(const DayHourFilter& filter)
    {
        for (int d = 0; d < 7; ++d)
            m_day[static_cast<std::size_t>(d)] = filter.CheckDayOfWeek(d);
        for (int h = 0; h < 24; ++h)
            m_hour[static_cast<std::size_t>(h)] = filter.CheckTime(h);
    }
    bool day(int d) const { return d >= 0 && d <= 6 && m_day[static_cast<std::size_t>(d)]; }
    bool hour(int h) const { return h >= 0 && h <= 23 && m_hour[static_cast<std::size_t>(h)]; }

private:
    std::array<bool, 7> m_day{};
    std::array<bool, 24> m_hour{};
};

struct Pass {
    TableDataSet& table;
    const Ticks& ticks;
    std::uint16_t oldMinute, newMinute;
    ProgressSink& progress;
    int every;                          // records between progress reports
    double base, span;                  // the percents the pass moves the bar across
    const paradox::DateTime* blockSize; // the grid's only
};

// Walks the table from its first record; each block that starts at the
// selected minute of a ticked hour on a ticked day gets its start posted at
// the new minute, seconds kept (and in the grid its length). `dayOf` gives
// the day index of the record at a slot. Records are read in place, a block
// of the file at a time: a walk of a million records must cost little more
// than reading them.
template <class DayOf>
void planPass(const Pass& pass, DayOf dayOf, int* changed, DayHourCounts* counts)
{
    TableDataSet& table = pass.table;
    paradox::Table& t = table.table();
    const Ticks& ticks = pass.ticks;
    int timeIndex = -1, sizeIndex = -1;
    const paradox::Field* time = nullptr;
    std::int32_t counter = 0;
    while (!t.eof()) {
        const paradox::Table::Run run = t.currentRun();
        for (std::uint32_t i = 0; i < run.count; ++i) {
            const std::byte* record = run.first + static_cast<std::size_t>(i) * run.stride;
            const int day = dayOf(run.slot + i, record);
            if (ticks.day(day)) {
                if (!time) {
                    timeIndex = table.fieldByName("FTime");
                    time = &table.dateTimeField(timeIndex);
                }
                const paradox::TimeOfDay tod = paradox::timeOfDayIn(*time, record);
                if (ticks.hour(tod.hour) && tod.minute == pass.oldMinute) {
                    const paradox::DateTime moved = movedTime(tod, pass.newMinute);
                    t.seek(run.slot + i);
                    table.edit();
                    table.setAsDateTime(timeIndex, moved);
                    if (pass.blockSize) {
                        if (sizeIndex < 0)
                            sizeIndex = table.fieldByName("FSize");
                        table.setAsDateTime(sizeIndex, *pass.blockSize);
                    }
                    table.post();
                    ++*changed;
                    ++(*counts)[static_cast<std::size_t>(day)][tod.hour];
                }
            }
            ++counter;
            if (counter % pass.every == 0)
                pass.progress.report("", counter * pass.span / table.recordCount() + pass.base);
        }
        t.seek(run.slot + run.count);
    }
}

void planGrid(const Pass& pass, ShiftResult* result)
{
    TableDataSet& table = pass.table;
    int dayIndex = -1;
    auto dayOf = [&](std::uint32_t slot, const std::byte*) {
        table.table().seek(slot);
        if (dayIndex < 0)
            dayIndex = table.fieldByName("FDayOfWeek");
        return table.asInteger(dayIndex);
    };
    planPass(pass, dayOf, &result->gridChanged, &result->gridByDayHour);
}

void planFilling(const Pass& pass, ShiftResult* result)
{
    TableDataSet& table = pass.table;
    const paradox::Field* date = nullptr;
    auto dayOf = [&](std::uint32_t, const std::byte* record) {
        if (!date)
            date = &table.dateTimeField(table.fieldByName("FDate"));
        std::int32_t day = 0;
        if (paradox::dayNumberIn(*date, record, &day))
            return dayIndexOfDayNumber(day);
        return GetDOW(paradox::dateTimeIn(*date, record));
    };
    planPass(pass, dayOf, &result->fillingChanged, &result->fillingByDayHour);
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

ShiftResult shiftMinute(Engine& engine, const ShiftInputs& inputs, const DayHourFilter& filter, TableDataSet& table,
                        QueryDataSet& query, ProgressSink& progress, ShiftView& view)
{
    ShiftResult result;
    if (engine.busy)
        return result;
    detail::BusyGuard guard(engine);

    // Everything the user chose is taken now, once: the question names it,
    // and the walk must do what was confirmed whatever happens in the window
    // meanwhile.
    const std::uint16_t newMinute = wholeMinute(inputs.newMinute);
    const paradox::DateTime blockSize = checkedBlockSize(inputs.blockSize());
    const std::uint16_t oldMinute = engine.OldMinute;
    const Ticks ticks(filter);
    const std::string folderText = inputs.folderText ? inputs.folderText() : std::string();
    if (!view.confirm(shiftQuestion(oldMinute, newMinute)))
        return result;
    result.ran = true;
    recoverFolder(engine.BaseFolder, view, Access::Write);
    progress.report("Процесс переноса сетки !", 0);

    const bool moveFilling = newMinute != oldMinute;
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
        planGrid({table, ticks, oldMinute, newMinute, progress, 20, 0, 20, &blockSize}, &result);
        if (moveFilling) {
            progress.report("Процесс переноса данных", 20);
            planFilling({filling, ticks, oldMinute, newMinute, progress, 100, 20, 80, nullptr}, &result);
        }
        paradox::Transaction tx(table.fileSystem(), kJournalName);
        tx.setNote(shiftNote(oldMinute, newMinute, result.gridChanged, result.fillingChanged));
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
        detail::runLoad(engine, folderText, query, progress, view);
    return result;
}

} // namespace grid
