#pragma once

#include "paradox/coding.h"
#include "paradox/datetime.h"
#include "paradox/file.h"
#include "paradox/status.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

bool isBlobType(FieldType type);
bool isDateTimeType(FieldType type);

struct Field {
    std::string name; // UTF-8
    FieldType type = FieldType::Alpha;
    int size = 0;   // the descriptor's size: bytes, or decimals for BCD
    int length = 0; // bytes in the record
    int offset = 0; // from the record's start
};

// A decoded field value.
struct Value {
    enum class Kind { Null, Integer, Float, Date, Time, Timestamp, Logical, Text, Bytes, Decimal, Blob };

    Kind kind = Kind::Null;
    std::int64_t integer = 0; // Integer; Date: day number; Time: ms since midnight; Logical: 0 or 1
    double real = 0;          // Float; Timestamp: ms with day 1 starting at kMsPerDay
    std::string text;         // Text: UTF-8; Bytes: the raw bytes; Decimal: digits such as "-1.23"
};

// How a writer that stopped half-way, or a copy taken while it wrote, left
// a table: the header's records are all in the block chain, but the chain
// goes on past the blocks the header counts, or its blocks hold more records
// than the header counts. Such a table reads as the header counts, and is
// never written.
struct HalfWritten {
    std::uint32_t headerRecords = 0;
    std::uint32_t blockRecords = 0; // what the chain's blocks hold, up to where it leaves the header's blocks
    std::uint32_t headerBlocks = 0;
    std::uint32_t fileBlocks = 0; // what the file holds, the last perhaps in part
    std::uint32_t strayBlock = 0; // the block past the header's that the chain goes on to; 0 if none
};

// What is wrong, naming no file: "a writer left the table half-way: the
// header counts 2 records in 4 blocks, but the file holds 76 blocks and the
// chain goes on to block 5".
std::string describe(const HalfWritten& table);

// The refusal to write a table that a writer left half-way, judged from the
// bytes of its .DB file and naming `path`. Ok for any other file, sound or
// not: other faults are for opening the table to find.
Status checkNotHalfWritten(std::span<const std::byte> dbFile, const std::string& path);

class Transaction;

// A Date, Time or Timestamp field's value in a record's bytes, as
// Table::readDateTime gives it.
DateTime dateTimeIn(const Field& field, const std::byte* record);
// decodeTime(dateTimeIn(field, record)), without the round trip through a
// real for a Time field. Inline: walks call it for every record.
inline TimeOfDay timeOfDayIn(const Field& field, const std::byte* record)
{
    const std::byte* p = record + field.offset;
    if (field.type == FieldType::Time && !coding::isBlank(p, 4)) {
        // A count of milliseconds below a day comes back unchanged from the
        // real it would make, so it splits here directly.
        const std::int64_t ms = coding::decodeInt(p, 4);
        if (ms >= 0 && ms < kMsPerDay) {
            const auto m = static_cast<std::uint32_t>(ms);
            return {static_cast<std::uint16_t>(m / 3'600'000), static_cast<std::uint16_t>(m / 60'000 % 60),
                    static_cast<std::uint16_t>(m % 60'000 / 1'000), static_cast<std::uint16_t>(m % 1'000)};
        }
    }
    return decodeTime(dateTimeIn(field, record));
}

// A Date field's day number (0001-01-01 is day 1); false when the field is
// of another type or blank.
inline bool dayNumberIn(const Field& field, const std::byte* record, std::int32_t* out)
{
    const std::byte* p = record + field.offset;
    if (field.type != FieldType::Date || coding::isBlank(p, 4))
        return false;
    *out = static_cast<std::int32_t>(coding::decodeInt(p, 4));
    return true;
}

// An open Paradox table (.DB with its companions) and a cursor on it.
//
// Reads follow the block chain, so records come in the table's order. Edits
// change one record at a time; a post keeps the new record in memory, where
// reads see it, until a Transaction writes the posts of this and other tables
// together, or none of them. Closing drops posts no transaction wrote. A
// table is not thread-safe.
class Table {
public:
    struct Options {
        // ReadWrite falls back to read-only when the file cannot be written;
        // editing such a table fails with "Cannot modify a read-only dataset".
        OpenMode mode = OpenMode::ReadWrite;
        FileSystem* fileSystem = nullptr; // the system's files when null
    };

    // Hands out a table only when the file opened and checked out.
    static Status open(const std::string& path, const Options& options, std::unique_ptr<Table>* out);

    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table(); // closes, dropping any error: call close() to see it

    // Flushes written files to disk, releases locks and closes.
    Status close();

    // Fails when another program truncated, grew or replaced one of the
    // table's open files since it was opened: what was read may not be what
    // the file holds. Reads of a truncated file give zeros, never a crash.
    Status checkUnchanged() const;

    const std::string& path() const;
    bool readOnly() const;
    bool keyed() const;
    int keyFieldCount() const;
    int version() const;   // file version ID, 3 (3.0) to 12 (7.x)
    int blockSize() const; // bytes
    int codePage() const;  // 0 when the file does not say
    std::uint32_t recordCount() const;
    // Null unless a writer left the table half-way; then recordCount() is
    // the header's count, and every write is refused.
    const HalfWritten* halfWritten() const;

    const std::vector<Field>& fields() const;
    // The field's position, or -1; letter case is ignored.
    int fieldIndex(std::string_view name) const;

    // The cursor. Posts never move records before they are written, so a
    // walk begun by first() visits every record exactly once.
    void first();
    void next();
    bool eof() const;

    // Values of the current record; the cursor must not be at the end. While
    // editing they show the edit.
    bool isNull(int field) const;
    Value value(int field) const;
    // Date, Time and Timestamp fields; a blank reads as 0.
    Status readDateTime(int field, DateTime* out) const;
    // Short, Long and AutoInc fields, and Number, Currency and BCD fields
    // rounded to the nearest whole number (halves to even); a blank reads as 0.
    Status readInteger(int field, std::int64_t* out) const;

    // For walks over many records, where a call per field costs too much:
    // the records of the current block from the cursor on, as the file holds
    // them (posts are not shown), `stride` bytes apart. Empty at the end.
    struct Run {
        std::uint32_t slot = 0; // the cursor's position, 0 at the first record
        const std::byte* first = nullptr;
        std::uint32_t count = 0;
        std::uint32_t stride = 0;
    };
    Run currentRun() const;
    // The cursor to the record at `slot` (the end when past it).
    void seek(std::uint32_t slot);

    // Checks that the table can be written safely and takes its locks, held
    // until close(); the first edit() does the same. The message says why not.
    Status lockForWriting();
    // Starts editing the current record. Fails, changing nothing, when the
    // table cannot be written safely; the message says why.
    Status edit();
    // Date, Time and Timestamp fields only. A field that a maintained
    // secondary index holds is written only when the index can be kept
    // right: the first such field checks the index against the table, and
    // the message says why not.
    Status setDateTime(int field, DateTime value);
    // Short and Long fields only; the value must fit the field. As setDateTime.
    Status setInteger(int field, std::int64_t value);
    // Keeps the edited record for the next transaction. A key that another
    // record holds, as the table stands with the earlier posts, is a "Key
    // violation". When written, a keyed table's records take the order of
    // their new keys and the primary index follows; the entries of maintained
    // secondary indexes move to their new places and follow records that
    // change blocks.
    Status post();
    void cancel();
    bool editing() const;

    // Checks each maintained secondary index against the table as the files
    // hold them (posts not yet written are not seen): one entry for every
    // record, holding its values and its block, in the index's order, with
    // the index's .Y describing its blocks. The message names the index and
    // what is wrong. Non-maintained indexes, which may be stale, are skipped.
    Status checkSecondaryIndexes();

    // Drops the posts no transaction has written.
    void discardPosts();

    struct Impl;

private:
    friend class Transaction;
    explicit Table(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace paradox
