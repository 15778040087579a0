#pragma once

// Grid-shaped tables built with the library itself, for the write tests.

#include "paradox/table.h"
#include "paradox/table_builder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace fixtures {

struct FillingShape {
    bool keyed = true;
    int days = 7;
    std::vector<int> minutes{0, 15, 30, 45};
    int recordsPerBlock = 0;
    int indexBlockKiB = 0;
    paradox::FieldType timeType = paradox::FieldType::Time;
    std::vector<paradox::IndexDefinition> indexes;
};

// A block-filling table: FDate, FTime (the key when keyed), FId (a serial
// number that tells records apart), FSize (Time) and FNote.
inline void buildFilling(const std::string& path, const FillingShape& shape)
{
    using paradox::FieldType;
    paradox::CreateOptions o;
    o.keyFields = shape.keyed ? 2 : 0;
    o.recordsPerBlock = shape.recordsPerBlock;
    o.indexBlockSizeKiB = shape.indexBlockKiB;
    o.updateTime = 1700000000;
    o.indexes = shape.indexes;
    std::unique_ptr<paradox::TableBuilder> b;
    ASSERT_TRUE(paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                               {"FTime", shape.timeType},
                                               {"FId", FieldType::Long},
                                               {"FSize", FieldType::Time},
                                               {"FNote", FieldType::Alpha, 10}},
                                              o, &b)
                    .isOk());
    int id = 0;
    for (int day = 0; day < shape.days; ++day) {
        for (int hour = 0; hour < 24; ++hour) {
            for (int minute : shape.minutes) {
                paradox::Value t = testsupport::timeOfDay(hour, minute, 0);
                if (shape.timeType == FieldType::Timestamp) {
                    t.kind = paradox::Value::Kind::Timestamp;
                    t.real = paradox::kDateTimeEpochDay * 86400000.0 + static_cast<double>(t.integer);
                }
                paradox::Value d = testsupport::date(2026, 3, 2);
                d.integer += day;
                ASSERT_TRUE(b->addRecord({d, t, testsupport::integer(id++), testsupport::timeOfDay(0, 3),
                                          testsupport::text("n")})
                                .isOk());
            }
        }
    }
    const paradox::Status st = b->write(path);
    ASSERT_TRUE(st.isOk()) << st.message();
}

inline std::unique_ptr<paradox::Table> openTable(const std::string& path, paradox::FileSystem* fs = nullptr)
{
    std::unique_ptr<paradox::Table> t;
    paradox::Table::Options o;
    o.fileSystem = fs;
    const paradox::Status st = paradox::Table::open(path, o, &t);
    EXPECT_TRUE(st.isOk()) << st.message();
    return t;
}

inline std::vector<std::size_t> differingOffsets(const std::vector<std::byte>& a, const std::vector<std::byte>& b)
{
    std::vector<std::size_t> out;
    EXPECT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            out.push_back(i);
    return out;
}

inline void patchByte(const std::string& path, std::size_t offset, unsigned value)
{
    std::vector<std::byte> bytes = testsupport::readFile(path);
    bytes.at(offset) = std::byte(value & 0xFF);
    testsupport::writeFile(path, bytes);
}

} // namespace fixtures
