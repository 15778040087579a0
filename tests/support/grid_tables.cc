#include "grid_tables.h"

#include "test_support.h"

#include "paradox/datetime.h"
#include "paradox/table_builder.h"

#include <stdexcept>

namespace testsupport {
namespace {

paradox::Value timeValue(paradox::FieldType type, int h, int m, int s, int ms)
{
    paradox::Value v = timeOfDay(h, m, s, ms);
    if (type == paradox::FieldType::Timestamp) {
        // A time of day alone, as the shift writes it: on 1899-12-30.
        v.kind = paradox::Value::Kind::Timestamp;
        v.real = paradox::kDateTimeEpochDay * 86400000.0 + static_cast<double>(v.integer);
    }
    return v;
}

void check(const paradox::Status& st)
{
    if (!st.isOk())
        throw std::runtime_error(st.message());
}

paradox::IndexDefinition index(std::vector<std::string> fields, std::string name = {}, bool descending = false)
{
    paradox::IndexDefinition s;
    s.fields = std::move(fields);
    s.name = std::move(name);
    s.descending = descending;
    return s;
}

std::vector<paradox::DateTime> timeColumn(const std::string& path, const char* field)
{
    std::unique_ptr<paradox::Table> table;
    check(paradox::Table::open(path, {}, &table));
    const int index = table->fieldIndex(field);
    if (index < 0)
        throw std::runtime_error(path + " has no field " + field);
    std::vector<paradox::DateTime> values;
    for (table->first(); !table->eof(); table->next()) {
        paradox::DateTime v = 0;
        check(table->readDateTime(index, &v));
        values.push_back(v);
    }
    return values;
}

} // namespace

void writeGridTable(const std::string& path, const std::vector<GridSlot>& slots, const GridTableOptions& options)
{
    using paradox::FieldType;
    paradox::CreateOptions o;
    o.keyFields = options.keyed ? 2 : 0;
    o.recordsPerBlock = options.recordsPerBlock;
    if (options.secondary)
        o.indexes = {index({"FSize"}), index({"FDayOfWeek", "FSize"}, "DayLength")};
    std::unique_ptr<paradox::TableBuilder> b;
    check(paradox::TableBuilder::create({{"FDayOfWeek", FieldType::Short},
                                         {"FTime", options.timeType},
                                         {"FSize", FieldType::Time},
                                         {"FName", FieldType::Alpha, 20}},
                                        o, &b));
    for (const GridSlot& s : slots)
        check(b->addRecord({integer(s.day), timeValue(options.timeType, s.hour, s.minute, s.second, s.msec),
                            timeOfDay(0, s.sizeSeconds / 60, s.sizeSeconds % 60), text("block")}));
    check(b->write(path));
}

void writeFillingTable(const std::string& path, const std::vector<FillingEntry>& entries,
                       const GridTableOptions& options)
{
    using paradox::FieldType;
    paradox::CreateOptions o;
    o.keyFields = options.keyed ? 2 : 0;
    o.recordsPerBlock = options.recordsPerBlock;
    if (options.secondary)
        o.indexes = {index({"FTime", "FDate"}, "ByTime"), index({"FDate", "FTime"}, "Latest", true),
                     index({"FSpots"})};
    std::unique_ptr<paradox::TableBuilder> b;
    check(paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                         {"FTime", options.timeType},
                                         {"FSpots", FieldType::Short},
                                         {"FNote", FieldType::Alpha, 20}},
                                        o, &b));
    for (const FillingEntry& e : entries)
        check(b->addRecord({date(e.year, e.month, e.day), timeValue(options.timeType, e.hour, e.minute, e.second, 0),
                            integer(3), text("spots")}));
    check(b->write(path));
}

std::vector<int> startMinutes(const std::string& path)
{
    std::vector<int> minutes;
    for (paradox::DateTime v : timeColumn(path, "FTime"))
        minutes.push_back(paradox::decodeTime(v).minute);
    return minutes;
}

std::vector<int> blockSeconds(const std::string& path)
{
    std::vector<int> seconds;
    for (paradox::DateTime v : timeColumn(path, "FSize")) {
        const paradox::TimeOfDay t = paradox::decodeTime(v);
        seconds.push_back(t.hour * 3600 + t.minute * 60 + t.second);
    }
    return seconds;
}

void writeWeekTables(const TempDir& folder, int hours, int days, const GridTableOptions& options)
{
    std::vector<GridSlot> slots;
    std::vector<FillingEntry> filling;
    const std::int32_t monday = paradox::dayNumberFromCivil({2026, 3, 2});
    for (int hour = 0; hour < hours; ++hour)
        for (int minute : {0, 15, 30, 45}) {
            for (int day = 0; day < 7; ++day)
                slots.push_back({day, hour, minute});
            for (int d = 0; d < days; ++d) {
                const paradox::CivilDate date = paradox::civilFromDayNumber(monday + d);
                filling.push_back({date.year, date.month, date.day, hour, minute});
            }
        }
    writeGridTable(folder.file("AdvSetBlk.db"), slots, options);
    writeFillingTable(folder.file("AdvBlock.db"), filling, options);
}

std::vector<std::vector<std::byte>> bothTables(const TempDir& folder)
{
    return {readFile(folder.file("AdvSetBlk.db")), readFile(folder.file("AdvBlock.db"))};
}

} // namespace testsupport
