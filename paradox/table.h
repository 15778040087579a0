#pragma once

#include "paradox/datetime.h"
#include "paradox/file.h"
#include "paradox/status.h"

#include <cstdint>
#include <memory>
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

struct Field {
    std::string name;  // UTF-8
    FieldType type = FieldType::Alpha;
    int size = 0;      // the descriptor's size: bytes, or decimals for BCD
    int length = 0;    // bytes in the record
    int offset = 0;    // from the record's start
};

// A decoded field value.
struct Value {
    enum class Kind { Null, Integer, Float, Date, Time, Timestamp, Logical, Text, Bytes, Decimal, Blob };

    Kind kind = Kind::Null;
    std::int64_t integer = 0;  // Integer; Date: day number; Time: ms since midnight; Logical: 0 or 1
    double real = 0;           // Float; Timestamp: ms with day 1 starting at kMsPerDay
    std::string text;          // Text: UTF-8; Bytes: the raw bytes; Decimal: digits such as "-1.23"
};

class Transaction;

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
        FileSystem* fileSystem = nullptr;  // the system's files when null
    };

    // Hands out a table only when the file opened and checked out.
    static Status open(const std::string& path, const Options& options, std::unique_ptr<Table>* out);

    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table();  // closes, dropping any error: call close() to see it

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
    int version() const;    // file version ID, 3 (3.0) to 12 (7.x)
    int blockSize() const;  // bytes
    int codePage() const;   // 0 when the file does not say
    std::uint32_t recordCount() const;

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

    // Checks that the table can be written safely and takes its locks, held
    // until close(); the first edit() does the same. The message says why not.
    Status lockForWriting();
    // Starts editing the current record. Fails, changing nothing, when the
    // table cannot be written safely; the message says why.
    Status edit();
    // Date, Time and Timestamp fields only.
    Status setDateTime(int field, DateTime value);
    // Keeps the edited record for the next transaction. A key that another
    // record holds, as the table stands with the earlier posts, is a "Key
    // violation". When written, a keyed table's records take the order of
    // their new keys and the primary index follows.
    Status post();
    void cancel();
    bool editing() const;

    // Posts that changed a record and wait for a transaction.
    std::uint32_t pendingPosts() const;
    void discardPosts();

    struct Impl;

private:
    friend class Transaction;
    explicit Table(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace paradox
