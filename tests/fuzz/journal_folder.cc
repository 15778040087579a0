#include "journal_folder.h"

#include "paradox/table_builder.h"
#include "paradox/transaction.h"

#include <cmath>

namespace fuzzing {
namespace {

using paradox::FieldType;
using paradox::Value;

Value value(Value::Kind kind, std::int64_t integer, std::string text = {})
{
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.text = std::move(text);
    return v;
}

constexpr std::int64_t kMinute = 60'000;

paradox::CreateOptions options(paradox::FileSystem* fs, int keyFields)
{
    paradox::CreateOptions o;
    o.keyFields = keyFields;
    o.recordsPerBlock = 4;
    o.updateTime = 1700000000;
    o.fileSystem = fs;
    return o;
}

bool buildGrid(paradox::FileSystem* fs)
{
    paradox::CreateOptions o = options(fs, 2);
    o.indexes.resize(2);
    o.indexes[0].fields = {"FSize"};
    o.indexes[1].fields = {"FDayOfWeek", "FSize"};
    o.indexes[1].name = "DayLength";
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create({{"FDayOfWeek", FieldType::Short},
                                        {"FTime", FieldType::Time},
                                        {"FSize", FieldType::Time},
                                        {"FName", FieldType::Alpha, 20}},
                                       o, &b)
             .isOk())
        return false;
    for (int day = 0; day < 7; ++day)
        for (int hour : {9, 10})
            for (int minute : {0, 15, 45})
                if (!b->addRecord({value(Value::Kind::Integer, day),
                                   value(Value::Kind::Time, (hour * 60 + minute) * kMinute),
                                   value(Value::Kind::Time, (2 + minute % 2) * kMinute),
                                   value(Value::Kind::Text, 0, "block")})
                         .isOk())
                    return false;
    return b->write(std::string(kJournalFolder) + "AdvSetBlk.db").isOk();
}

bool buildFilling(paradox::FileSystem* fs)
{
    paradox::CreateOptions o = options(fs, 0);
    o.indexes.resize(1);
    o.indexes[0].fields = {"FTime", "FDate"};
    o.indexes[0].name = "ByTime";
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                        {"FTime", FieldType::Time},
                                        {"FSpots", FieldType::Short},
                                        {"FNote", FieldType::Alpha, 20}},
                                       o, &b)
             .isOk())
        return false;
    for (int day = 0; day < 3; ++day)  // from 2026-03-02
        for (int hour : {9, 10})
            for (int minute : {0, 15, 45})
                if (!b->addRecord({value(Value::Kind::Date, 739677 + day),
                                   value(Value::Kind::Time, (hour * 60 + minute) * kMinute),
                                   value(Value::Kind::Integer, 3), value(Value::Kind::Text, 0, "spots")})
                         .isOk())
                    return false;
    return b->write(std::string(kJournalFolder) + "AdvBlock.db").isOk();
}

std::vector<std::byte> text(const std::string& s)
{
    return {reinterpret_cast<const std::byte*>(s.data()), reinterpret_cast<const std::byte*>(s.data()) + s.size()};
}

bool moveQuarterPast(paradox::Table& t)
{
    const int time = t.fieldIndex("FTime");
    for (t.first(); !t.eof(); t.next()) {
        paradox::DateTime v = 0;
        if (!t.readDateTime(time, &v).isOk())
            return false;
        const std::int64_t ms = std::llround(v * 86'400'000.0);
        if (ms / kMinute % 60 != 15)
            continue;
        if (!t.edit().isOk() || !t.setDateTime(time, static_cast<double>(ms + 35 * kMinute) / 86'400'000.0).isOk() ||
            !t.post().isOk())
            return false;
    }
    return true;
}

} // namespace

bool buildJournalFolder(testsupport::MemoryFileSystem* fs)
{
    if (!buildGrid(fs) || !buildFilling(fs))
        return false;
    const std::string db = kJournalFolder;
    fs->files[db + "AdvSetBlk.lck"] = text(std::string(64, '\0'));
    fs->files[db + "notes.txt"] = text("Spots for March: see the grid.\n");
    fs->files[db + "Prices.db"] = fs->files.at(db + "AdvBlock.db");
    fs->files["AdvBlock.db"] = fs->files.at(db + "AdvBlock.db");
    fs->files["outside/AdvSetBlk.db"] = fs->files.at(db + "AdvSetBlk.db");
    return true;
}

bool isTableFile(const std::string& path)
{
    const std::string db = kJournalFolder;
    if (path.compare(0, db.size(), db) != 0 || path.find('/', db.size()) != std::string::npos)
        return false;
    const std::string name = path.substr(db.size());
    const std::string stem = name.substr(0, name.find('.'));
    return (stem == "AdvSetBlk" || stem == "AdvBlock") && name != "AdvSetBlk.lck";
}

bool shiftTables(paradox::FileSystem* fs)
{
    paradox::Table::Options o;
    o.fileSystem = fs;
    std::unique_ptr<paradox::Table> grid, filling;
    const std::string db = kJournalFolder;
    if (!paradox::Table::open(db + "AdvSetBlk.db", o, &grid).isOk() ||
        !paradox::Table::open(db + "AdvBlock.db", o, &filling).isOk())
        return false;
    if (!moveQuarterPast(*grid) || !moveQuarterPast(*filling))
        return false;
    paradox::Transaction tx(*fs, kJournalName);
    return tx.add(*grid).isOk() && tx.add(*filling).isOk() && tx.commit().isOk() && grid->close().isOk() &&
           filling->close().isOk();
}

} // namespace fuzzing
