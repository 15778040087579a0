#pragma once

#include "paradox/table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

struct FieldSpec {
    std::string name;  // UTF-8
    FieldType type = FieldType::Alpha;
    // Alpha and Bytes: length; BCD: decimals; BLOB kinds: leader + 10;
    // other types have a fixed size and ignore it.
    int size = 0;
};

struct CreateOptions {
    int keyFields = 0;       // the first fields form the primary key
    int version = 12;        // file version ID: 3-4 (3.x), 5-9 (4.x), 10-11 (5.x), 12 (7.x)
    int blockSizeKiB = 2;    // 1-32
    int indexBlockSizeKiB = 0;  // of the .PX; 0 = as the table
    int recordsPerBlock = 0;    // 0 = fill blocks; fewer leaves room as a long-used table has
    int codePage = 1252;
    std::string sortOrder = "DBWINUS0";
    int sortOrderCode = 0x4C;
    std::uint32_t updateTime = 0;  // seconds since 1970 in the header; 0 = now
    FileSystem* fileSystem = nullptr;
};

// Builds a new table file (and its primary index when keyed) from records
// given in memory. Keyed tables are written in key order.
class TableBuilder {
public:
    // Fails when a field does not exist at the chosen version or its size is impossible.
    static Status create(std::vector<FieldSpec> fields, const CreateOptions& options,
                         std::unique_ptr<TableBuilder>* out);

    // Values in field order. A Null value leaves the field blank; other kinds
    // must suit the field: Integer for Short/Long/AutoInc, Float (or Integer)
    // for Number/Currency, Date/Time/Timestamp as Value holds them, Logical,
    // Text (UTF-8) for Alpha, Bytes, Decimal text for BCD. BLOB fields can only
    // be blank.
    Status addRecord(const std::vector<Value>& values);

    std::size_t recordCount() const { return m_records.size() / m_recordSize; }

    // Writes the files; fails, writing nothing, when one exists already or two
    // records share a key.
    Status write(const std::string& path);

private:
    TableBuilder() = default;

    std::vector<FieldSpec> m_specs;
    CreateOptions m_options;
    std::vector<std::uint16_t> m_lengths;
    std::vector<std::uint32_t> m_offsets;
    std::size_t m_recordSize = 0;
    std::size_t m_keyLength = 0;
    std::vector<std::byte> m_records;
    std::int64_t m_maxAutoInc = 0;
};

} // namespace paradox
