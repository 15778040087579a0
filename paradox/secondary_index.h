#pragma once

// Maintained secondary indexes (.Xnn/.XGn, each with its .Ynn/.YGn): what
// their entries hold and how they are ordered, the check of an index against
// its table, and the writes that keep an index in step with the table's posts.

#include "paradox/file_writes.h"
#include "paradox/format.h"
#include "paradox/primary_index.h"
#include "paradox/table.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// The entries of a secondary index as its .X header lays them out.
//
// An entry of a keyed table's index holds the indexed fields, then the
// table's key fields and the number of the data block that holds the record
// ("Blk Num"). On a table without a key it holds the indexed fields, then
// the record's number, block and place in the block ("Tup No", "Blk Num",
// "Tup Offset"). Entries are ordered by every column but the last: the
// indexed fields, each descending where its field number is marked so, then
// the rest ascending; values compare byte by byte in their sortable
// encodings, and text by the index's sort order.
class IndexLayout {
public:
    enum class Role : std::uint8_t { Indexed, Key, RecordNumber, Block, Place };
    struct Column {
        Role role = Role::Indexed;
        int tableField = -1;            // Indexed and Key columns
        std::uint32_t recordOffset = 0; // of that field in a record
        std::uint32_t offset = 0;       // in the entry
        std::uint16_t length = 0;
        std::uint8_t type = 0;
        bool descending = false;
    };

    // Fails, saying what does not fit, unless `index` describes entries of
    // `table` as above.
    static Status describe(const format::Header& index, const format::Header& table, IndexLayout* out);

    const std::vector<Column>& columns() const { return m_columns; }
    std::size_t entrySize() const { return m_entrySize; }
    std::size_t sortKeyLength() const { return m_sortKeyLength; }
    bool keyed() const { return m_keyed; }
    bool unique() const { return m_unique; }
    bool hasDescending() const { return m_hasDescending; }
    // Empty when this library puts entries in the engine's order exactly;
    // else why it cannot, such as "orders text in sort order 'X'".
    const std::string& orderProblem() const { return m_orderProblem; }

    // Negative, zero or positive as entry `a` sorts before, with or after `b`.
    int compare(const std::byte* a, const std::byte* b) const;
    // compare() as far as the order is known: where it turns on text of an
    // unknown order, 0 with `*unknown` set.
    int compareKnown(const std::byte* a, const std::byte* b, bool* unknown) const;
    // The first eight bytes of the entry's sort key as a number: entries whose
    // numbers differ compare as their numbers do.
    std::uint64_t sortPrefix(const std::byte* entry) const;
    // Whether two entries hold the same indexed values.
    bool sameIndexed(const std::byte* a, const std::byte* b) const;
    // Whether an entry holds the indexed values of a record.
    bool holdsValuesOf(const std::byte* entry, const std::byte* record) const;
    // Whether two images of a record differ in a field their entries hold.
    bool recordsDiffer(const std::byte* a, const std::byte* b) const;
    // Sets the indexed (and key) columns of `entry` to the record's fields.
    void fillFromRecord(const std::byte* record, std::byte* entry) const;

    std::int64_t block(const std::byte* entry) const;
    void setBlock(std::byte* entry, std::uint16_t block) const;
    std::int64_t place(const std::byte* entry) const; // tables without a key
    // The key columns of a keyed table's entry, which lie together.
    std::uint32_t keyOffset() const { return m_keyOffset; }
    std::uint32_t keyLength() const { return m_keyLength; }

private:
    // Runs of neighbouring columns that compare the same way.
    struct Run {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        bool descending = false;
        bool unknownOrder = false;
    };

    std::vector<Column> m_columns;
    std::vector<Run> m_runs;
    std::size_t m_entrySize = 0;
    std::size_t m_sortKeyLength = 0;
    std::uint32_t m_keyOffset = 0;
    std::uint32_t m_keyLength = 0;
    int m_indexed = 0;
    bool m_keyed = false;
    bool m_unique = false;
    bool m_hasDescending = false;
    std::string m_orderProblem;
};

// A maintained secondary index of a table: its .X and .Y files, what they
// hold, and the writes that keep them right. The files must stay open while
// the object lives.
class MaintainedIndex {
public:
    // Reads both headers and the block structure of both files; fails when
    // the index is not one this library understands or its two files
    // disagree. Messages name neither file.
    static Status open(File* x, File* y, const format::Header& table, std::unique_ptr<MaintainedIndex>* out);

    const IndexLayout& layout() const { return m_layout; }

    // Checks the index against the table as the table's file holds it: one
    // entry per record holding its values and its block, entries in order,
    // and in a unique index no two with the same values. Where the order
    // turns on text of an unknown sort order, entries are taken to be in
    // order. Planning needs a successful check since the files last changed.
    Status check(const Table::Impl& table);
    bool checked() const { return m_checked; }
    void forget() { m_checked = false; }

    // Adds to `x` and `y` the writes that make the index describe the table
    // once its posts are written. `order`, when records move, gives for each
    // slot after the writes the slot whose record goes there. `changes` gets
    // the number of records whose entries change. A post that would give a
    // unique index two entries of the same values is a "Key violation".
    Status plan(const Table::Impl& table, const std::vector<std::uint32_t>* order, FileWrites* x, FileWrites* y,
                std::uint32_t* changes) const;

private:
    MaintainedIndex() = default;
    const std::byte* entryAt(std::uint32_t position) const;
    std::size_t entryOffset(std::uint32_t position) const;
    Status mapKeyedEntries(const Table::Impl& table);
    Status mapEntriesByPlace(const Table::Impl& table);

    File* m_x = nullptr;
    format::Header m_header;
    IndexLayout m_layout;
    std::vector<format::ChainBlock> m_chain; // the .X's blocks; "slots" are entry positions
    std::uint32_t m_entries = 0;
    std::optional<PrimaryIndex> m_blocks; // the .Y
    mutable std::size_t m_chainHint = 0;

    bool m_checked = false;
    bool m_equalValues = false; // two entries hold the same indexed values
    std::vector<std::uint32_t> m_slotOfEntry;
    std::vector<std::uint32_t> m_entryOfSlot;
};

} // namespace paradox
