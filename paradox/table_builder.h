#pragma once

#include "paradox/table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

struct FieldDefinition {
    std::string name; // UTF-8
    FieldType type = FieldType::Alpha;
    // Alpha and Bytes: length; BCD: decimals; BLOB kinds: leader + 10;
    // other types have a fixed size and ignore it.
    int size = 0;
};

// A secondary index written beside a new table, kept by the engine on every
// change (maintained) unless said otherwise.
struct IndexDefinition {
    std::vector<std::string> fields; // the indexed fields, by name, in order
    // Empty for an index of one field in ascending, case-sensitive order,
    // which is NAME.Xnn (nn: the field's number). Any other index is named;
    // the n-th named one is NAME.XGn.
    std::string name;
    bool maintained = true;
    bool descending = false; // every indexed field
    bool caseInsensitive = false;
    bool unique = false;
    int entriesPerBlock = 0; // 0 = fill the .X's blocks
};

struct CreateOptions {
    int keyFields = 0;         // the first fields form the primary key
    int version = 12;          // file version ID: 3-4 (3.x), 5-9 (4.x), 10-11 (5.x), 12 (7.x)
    int blockSizeKiB = 2;      // 1-32
    int indexBlockSizeKiB = 0; // of the .PX; 0 = as the table
    int recordsPerBlock = 0;   // 0 = fill blocks; fewer leaves room as a long-used table has
    int codePage = 1252;
    std::string sortOrder = "DBWINUS0";
    int sortOrderCode = 0x4C;
    std::uint32_t updateTime = 0; // seconds since 1970 in the header; 0 = now
    // Secondary indexes (.X and .Y files), for tables of version 4.x and
    // later. Their .X blocks are as large as the table's, their .Y blocks as
    // the primary index's.
    std::vector<IndexDefinition> indexes;
    FileSystem* fileSystem = nullptr;
};

// Builds a new table file (and its primary index when keyed, and secondary
// indexes when asked) from records given in memory. Keyed tables are written
// in key order.
//
// Index entries are laid out as the engine's files describe them (see
// IndexLayout). What is not known from its files is chosen so: an index
// entry on a table without a key gives the record's number in the table and
// its place in its block, both counted from 0; an index on a key field holds
// that field twice, once as indexed and once as part of the key. Text in an
// index is ordered by its bytes, which is sort order 'ascii'; in any other
// order, or without regard to case, an indexed text field must hold the
// same text in every record.
class TableBuilder {
public:
    // Fails when a field does not exist at the chosen version or its size is impossible.
    static Status create(std::vector<FieldDefinition> fields, const CreateOptions& options,
                         std::unique_ptr<TableBuilder>* out);

    // Values in field order. A Null value leaves the field blank; other kinds
    // must suit the field: Integer for Short/Long/AutoInc, Float (or Integer)
    // for Number/Currency, Date/Time/Timestamp as Value holds them, Logical,
    // Text (UTF-8) for Alpha, Bytes, Decimal text for BCD. BLOB fields can only
    // be blank.
    Status addRecord(const std::vector<Value>& values);

    std::size_t recordCount() const { return m_records.size() / m_recordSize; }

    // Writes the files; fails, writing nothing, when one exists already or two
    // records share a key, primary or of a unique index.
    Status write(const std::string& path);

private:
    TableBuilder() = default;
    int fieldIndexOf(const std::string& name) const;

    std::vector<FieldDefinition> m_fields;
    CreateOptions m_options;
    std::vector<std::uint16_t> m_lengths;
    std::vector<std::uint32_t> m_offsets;
    std::size_t m_recordSize = 0;
    std::size_t m_keyLength = 0;
    std::vector<std::byte> m_records;
    std::int64_t m_maxAutoInc = 0;
};

} // namespace paradox
