#include "companion_table.h"

#include "paradox/table_builder.h"

namespace fuzzing {

bool buildCompanionTable(paradox::FileSystem* fs, const std::string& path)
{
    using paradox::FieldType;
    using paradox::Value;
    paradox::CreateOptions o;
    o.keyFields = 3;
    o.blockSizeKiB = 1;
    o.indexBlockSizeKiB = 1;
    o.recordsPerBlock = 2;
    o.sortOrder = "ascii";
    o.sortOrderCode = 0;
    o.updateTime = 1700000000;
    o.fileSystem = fs;
    // Maintained secondary indexes: T.x05 on FSize, and T.xg0 on FId and
    // FTime, latest first.
    o.indexes.resize(2);
    o.indexes[0].fields = {"FSize"};
    o.indexes[1].fields = {"FId", "FTime"};
    o.indexes[1].name = "Latest";
    o.indexes[1].descending = true;
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                        {"FTime", FieldType::Time},
                                        {"FCode", FieldType::Alpha, 60},
                                        {"FId", FieldType::Long},
                                        {"FSize", FieldType::Time}},
                                       o, &b)
             .isOk())
        return false;
    auto value = [](Value::Kind kind, std::int64_t integer, std::string text = {}) {
        Value v;
        v.kind = kind;
        v.integer = integer;
        v.text = std::move(text);
        return v;
    };
    for (int i = 0; i < kCompanionRecords; ++i) {
        // Hourly records at a quarter past, from 2026-03-02 on.
        if (!b->addRecord({value(Value::Kind::Date, 739677 + i / 24),
                           value(Value::Kind::Time, (i % 24) * 3'600'000 + 15 * 60'000),
                           value(Value::Kind::Text, 0, "block"), value(Value::Kind::Integer, i),
                           value(Value::Kind::Time, 180'000)})
                 .isOk())
            return false;
    }
    return b->write(path).isOk();
}

} // namespace fuzzing
