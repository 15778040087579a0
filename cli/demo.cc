#include "cli/commands.h"

#include "paradox/datetime.h"
#include "paradox/table_builder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace cli {
namespace {

using paradox::FieldType;
using paradox::Value;

Value integer(std::int64_t v)
{
    Value x;
    x.kind = Value::Kind::Integer;
    x.integer = v;
    return x;
}

Value timeOfDay(int h, int m, int s = 0)
{
    Value x;
    x.kind = Value::Kind::Time;
    x.integer = (h * 3600 + m * 60 + s) * 1000;
    return x;
}

Value date(std::int32_t dayNumber)
{
    Value x;
    x.kind = Value::Kind::Date;
    x.integer = dayNumber;
    return x;
}

Value text(std::string s)
{
    Value x;
    x.kind = Value::Kind::Text;
    x.text = std::move(s);
    return x;
}

Value logical(bool b)
{
    Value x;
    x.kind = Value::Kind::Logical;
    x.integer = b;
    return x;
}

struct Slot {
    int day; // 0 = Monday
    int hour, minute, second;
    int lengthSeconds;
};

// A week of advertising blocks as a music station might run them: every hour
// on the hour and at a quarter past, half past and a quarter to, with extra
// breaks in the morning and evening drive times, a few of them starting on a
// given second.
std::vector<Slot> weeklyGrid()
{
    std::vector<Slot> slots;
    for (int day = 0; day < 7; ++day) {
        const bool weekend = day >= 5;
        for (int hour = 0; hour < 24; ++hour) {
            const bool night = hour < 6;
            const int length = night ? 120 : 180;
            slots.push_back({day, hour, 0, 0, length});
            if (!night)
                slots.push_back({day, hour, 15, 0, length});
            slots.push_back({day, hour, 30, 0, length});
            if (!night)
                slots.push_back({day, hour, 45, 0, length});
            if (!weekend && hour >= 7 && hour <= 9)
                slots.push_back({day, hour, 5, 0, 120});
            if (!weekend && hour >= 17 && hour <= 19)
                slots.push_back({day, hour, 52, 30, 150});
            if (weekend && hour >= 10 && hour <= 12)
                slots.push_back({day, hour, 22, 0, 90});
            if (hour == 13)
                slots.push_back({day, hour, 57, 45, 75});
        }
    }
    return slots;
}

paradox::IndexDefinition index(std::vector<std::string> fields, std::string name = {}, bool descending = false)
{
    paradox::IndexDefinition s;
    s.fields = std::move(fields);
    s.name = std::move(name);
    s.descending = descending;
    return s;
}

// Indexes a scheduling program might keep on the grid: by block length, and
// by day and length for a day's view. On a keyed grid each also holds the key,
// so FTime is in every one.
std::vector<paradox::IndexDefinition> gridIndexes()
{
    return {index({"FSize"}), index({"FDayOfWeek", "FSize"}, "DayLength")};
}

// And on the filling: the blocks of one time of day across dates, the latest
// first, and by number of spots.
std::vector<paradox::IndexDefinition> fillingIndexes()
{
    return {index({"FTime", "FDate"}, "ByTime"), index({"FDate", "FTime"}, "Latest", true), index({"FSpots"})};
}

paradox::Status writeGrid(const std::string& path, const std::vector<Slot>& slots, int keyFields, bool indexes)
{
    std::unique_ptr<paradox::TableBuilder> b;
    paradox::CreateOptions options;
    options.keyFields = keyFields;
    if (indexes)
        options.indexes = gridIndexes();
    paradox::Status st = paradox::TableBuilder::create({{"FDayOfWeek", FieldType::Short},
                                                        {"FTime", FieldType::Time},
                                                        {"FSize", FieldType::Time},
                                                        {"FName", FieldType::Alpha, 30},
                                                        {"FMaxSpots", FieldType::Short},
                                                        {"FActive", FieldType::Logical}},
                                                       options, &b);
    for (std::size_t i = 0; st.isOk() && i < slots.size(); ++i) {
        const Slot& s = slots[i];
        char name[40];
        std::snprintf(name, sizeof name, "Block %02d:%02d", s.hour, s.minute);
        st = b->addRecord({integer(s.day), timeOfDay(s.hour, s.minute, s.second),
                           timeOfDay(0, s.lengthSeconds / 60, s.lengthSeconds % 60), text(name),
                           integer(s.lengthSeconds / 30), logical(true)});
    }
    return st.isOk() ? b->write(path) : st;
}

// `records`: how many dated blocks; 0 for a year of them.
paradox::Status writeFilling(const std::string& path, const std::vector<Slot>& slots, int keyFields, bool indexes,
                             int records)
{
    std::unique_ptr<paradox::TableBuilder> b;
    paradox::CreateOptions options;
    options.keyFields = keyFields;
    if (indexes)
        options.indexes = fillingIndexes();
    paradox::Status st = paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                                        {"FTime", FieldType::Time},
                                                        {"FSpots", FieldType::Short},
                                                        {"FFilled", FieldType::Time},
                                                        {"FNote", FieldType::Alpha, 40}},
                                                       options, &b);
    // Dated blocks day after day from the first Monday of 2026.
    const std::int32_t start = paradox::dayNumberFromCivil({2026, 1, 5});
    int serial = 0;
    for (std::int32_t day = start; st.isOk() && (records > 0 ? serial < records : day < start + 364); ++day) {
        const int weekday = paradox::weekdayOfDayNumber(day);
        for (const Slot& s : slots) {
            if (s.day != weekday)
                continue;
            if (records > 0 && serial == records)
                break;
            const int spots = 2 + (serial++ % 5);
            const int filled = std::min(s.lengthSeconds, spots * 30);
            st = b->addRecord({date(day), timeOfDay(s.hour, s.minute, s.second), integer(spots),
                               timeOfDay(0, filled / 60, filled % 60), text(serial % 7 == 0 ? "sponsor spot" : "")});
            if (!st.isOk())
                break;
        }
    }
    return st.isOk() ? b->write(path) : st;
}

// A count in plain digits from 1 to `most`.
bool parseCount(const std::string& text, int most, int* out)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int v = std::atoi(text.c_str());
    if (v < 1 || v > most)
        return false;
    *out = v;
    return true;
}

} // namespace

int demo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err)
{
    static const char* const kUsage =
        "usage: gridshift-cli demo DIR [--unkeyed] [--secondary] [--records N]\n"
        "  --records N  the filling's number of dated blocks, 1 to 10000000 (a year's, 32812, when left out)\n";
    std::string dir;
    bool keyed = true, secondary = false;
    int records = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--unkeyed")
            keyed = false;
        else if (a == "--secondary")
            secondary = true;
        else if (a == "--records" && i + 1 < args.size() && parseCount(args[i + 1], 10'000'000, &records))
            ++i;
        else if (dir.empty() && !a.empty() && a[0] != '-')
            dir = a;
        else {
            std::fputs(kUsage, err);
            return kUsageError;
        }
    }
    if (dir.empty()) {
        std::fputs(kUsage, err);
        return kUsageError;
    }
    std::error_code ec;
    // From UTF-8 explicitly: a plain string means the ANSI code page on Windows.
    std::filesystem::create_directories(std::filesystem::path(std::u8string(dir.begin(), dir.end())), ec);
    if (ec) {
        std::fprintf(err, "%s: %s\n", dir.c_str(), ec.message().c_str());
        return kFailure;
    }
    const std::string folder = dir.back() == '/' ? dir : dir + "/";
    const std::vector<Slot> slots = weeklyGrid();
    paradox::Status st = writeGrid(folder + "AdvSetBlk.db", slots, keyed ? 2 : 0, secondary);
    if (st.isOk())
        st = writeFilling(folder + "AdvBlock.db", slots, keyed ? 2 : 0, secondary, records);
    if (!st.isOk()) {
        std::fprintf(err, "%s\n", st.message().c_str());
        return kFailure;
    }
    std::fprintf(out, "Created %s (AdvSetBlk.db, AdvBlock.db%s%s)\n", dir.c_str(), keyed ? ", keyed" : "",
                 secondary ? ", with maintained secondary indexes" : "");
    return kSuccess;
}

} // namespace cli
