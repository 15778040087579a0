#include "grid/shift.h"

#include <cmath>

namespace grid {
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

// When the current record's block starts at the selected minute of a ticked
// hour: its start moves to the new minute (seconds kept) and, in the grid,
// its length is set; the record is posted. True when it was.
bool moveCurrentBlock(TableDataSet& table, const DayHourFilter& filter, const Engine& engine,
                      std::uint16_t newMinute, const std::function<paradox::DateTime()>* blockSize)
{
    const int timeField = table.fieldByName("FTime");
    const paradox::TimeOfDay t = paradox::decodeTime(table.asDateTime(timeField));
    if (!filter.CheckTime(t.hour) || t.minute != engine.OldMinute)
        return false;
    const paradox::DateTime moved = movedTime(t, newMinute);
    table.edit();
    table.setAsDateTime(timeField, moved);
    if (blockSize)
        table.setAsDateTime(table.fieldByName("FSize"), (*blockSize)());
    table.post();
    return true;
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
    if (!view.confirm(shiftQuestion(engine.OldMinute, newMinute)))
        return result;
    result.ran = true;
    progress.report("Процесс переноса сетки !", 0);

    table.setTableName(engine.tablePath(kGridTable));
    table.open();
    std::int32_t counter = 0;
    while (!table.eof()) {
        if (filter.CheckDayOfWeek(table.asInteger(table.fieldByName("FDayOfWeek"))) &&
            moveCurrentBlock(table, filter, engine, newMinute, &inputs.blockSize))
            ++result.gridChanged;
        table.next();
        ++counter;
        if (counter % 20 == 0)
            progress.report("", counter * 20.0 / table.recordCount());
    }
    table.close();

    if (newMinute != engine.OldMinute) {
        progress.report("Процесс переноса данных", 20);
        counter = 0;
        table.setTableName(engine.tablePath(kFillingTable));
        table.open();
        while (!table.eof()) {
            if (filter.CheckDayOfWeek(GetDOW(table.asDateTime(table.fieldByName("FDate")))) &&
                moveCurrentBlock(table, filter, engine, newMinute, nullptr))
                ++result.fillingChanged;
            table.next();
            ++counter;
            if (counter % 100 == 0)
                progress.report("", counter * 80.0 / table.recordCount() + 20);
        }
        table.close();
    }
    progress.report("", -1);

    detail::runLoad(engine, inputs.folderText ? inputs.folderText() : std::string(), query, progress, view);
    return result;
}

} // namespace grid
