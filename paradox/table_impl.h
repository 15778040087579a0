#pragma once

// Inside of paradox::Table, shared by the reader, the writer and the primary
// index code.

#include "paradox/file_writes.h"
#include "paradox/format.h"
#include "paradox/primary_index.h"
#include "paradox/secondary_index.h"
#include "paradox/table.h"

#include <cstring>
#include <optional>
#include <unordered_set>

namespace paradox {

using format::ChainBlock;

// The refusal to write a table a writer left half-way, naming `path`.
Status refuseHalfWritten(const std::string& path, const HalfWritten& table);

// A secondary index of the table and what it means for writes.
struct SecondaryIndex {
    std::string path;       // the .X
    std::string blocksPath; // its .Y, when there is one
    bool maintained = true;
    bool readable = false;        // its header parsed; when not, it counts as holding every field
    std::vector<bool> holdsField; // by table field position
    // A maintained index while the table is edited: both files open for
    // writing, and what they hold.
    std::unique_ptr<File> file;
    std::unique_ptr<File> blocksFile;
    std::unique_ptr<MaintainedIndex> kept;
};

// What the .VAL file asks of writers.
struct ValidityRules {
    bool present = false;
    bool readable = false; // when not, every field counts as checked
    bool referentialIntegrity = false;
    std::vector<bool> checkedField; // by table field position
};

// Records posted but not yet written, with their new images.
class StagedRecords {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    bool empty() const { return m_slots.empty(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_slots.size()); }
    std::uint32_t slot(std::uint32_t ordinal) const { return m_slots[ordinal]; }
    // The posted image of a slot, or null.
    const std::byte* find(std::uint32_t slot) const
    {
        if (m_ordinalOfSlot.empty() || m_ordinalOfSlot[slot] == kNone)
            return nullptr;
        return image(m_ordinalOfSlot[slot]);
    }
    const std::byte* image(std::uint32_t ordinal) const
    {
        return m_chunks[ordinal / kChunkRecords].get() +
               static_cast<std::size_t>(ordinal % kChunkRecords) * m_recordSize;
    }
    // Bit i: field i differs from the file; all bits when the table has
    // more fields than bits.
    std::uint64_t changedFields(std::uint32_t ordinal) const { return m_changed[ordinal]; }
    void put(std::uint32_t slot, const std::byte* record, std::uint64_t changedFields, std::uint32_t recordCount,
             std::size_t recordSize);
    void clear();

private:
    static constexpr std::uint32_t kChunkRecords = 4096;
    std::size_t m_recordSize = 0;
    std::vector<std::uint32_t> m_ordinalOfSlot; // empty until the first post
    std::vector<std::uint32_t> m_slots;
    std::vector<std::uint64_t> m_changed;
    std::vector<std::unique_ptr<std::byte[]>> m_chunks;
};

struct Table::Impl {
    FileSystem* fs = nullptr;
    std::string path;
    std::string folder; // with a trailing separator, or empty
    std::unique_ptr<File> db;
    format::Header header;
    std::vector<Field> fields;
    std::vector<std::string> foldedNames;
    std::vector<ChainBlock> chain;
    std::uint32_t recordCount = 0;
    std::optional<HalfWritten> halfWritten;
    bool readOnly = false;

    // Companions found beside the table.
    std::string pxPath;
    std::string lckPath;
    std::string folderLckPath;
    std::vector<SecondaryIndex> secondary;
    ValidityRules validity;

    // Cursor: the slot (position in table order) of the current record.
    // Posts never move records while the walk runs, so a walk meets every
    // record once.
    std::uint32_t walkPos = 0;
    mutable std::size_t chainHint = 0;

    // Editing.
    bool editing = false;
    std::vector<std::byte> editRecord;
    bool writeChecked = false; // table-level checks passed and locks held
    std::unique_ptr<File> px;
    std::optional<PrimaryIndex> primary; // checked against the table by the first edit
    bool keyChangesChecked = false;      // key order and indexes allow moves

    // Posts wait here until a transaction writes them all, or none.
    StagedRecords staged;
    std::uint32_t posts = 0; // posts that changed a record: the stamps move by this
    bool keysChanged = false;
    std::unordered_set<std::string> movedKeys; // keys that posted records moved to

    std::span<const std::byte> bytes() const { return db->contents(); }

    std::size_t chainIndexOfSlot(std::uint32_t slot) const;
    std::size_t recordOffset(std::uint32_t slot) const;
    // The record as the file holds it.
    const std::byte* record(std::uint32_t slot) const { return bytes().data() + recordOffset(slot); }
    // The record as posted, else as the file holds it.
    const std::byte* view(std::uint32_t slot) const
    {
        const std::byte* posted = staged.find(slot);
        return posted ? posted : record(slot);
    }
    const std::byte* currentRecord() const { return editing ? editRecord.data() : view(walkPos); }
    std::size_t keyLength() const;

    Status error(const std::string& reason) const;

    Status load();
    void findCompanions();
    Status checkWritable();
    Status checkFieldWritable(int field);
    Status prepareIndex(SecondaryIndex& index, const std::string& cause);
    Status prepareKeyChanges();
    Status checkNewKey(std::uint32_t slot, const std::byte* newRecord) const;

    // Every byte the posted records change in the table's files: records,
    // primary index, maintained secondary indexes and change stamps. Writes
    // nothing.
    Status planWrites(std::vector<FileWrites>* out) const;
    Status planRecordsInPlace(FileWrites* db) const;
    // `order` gets, for each slot, the slot whose record goes there.
    Status planKeyOrder(FileWrites* db, FileWrites* px, std::vector<std::uint32_t>* order) const;
    Status planSecondaryIndex(const SecondaryIndex& index, const std::vector<std::uint32_t>* order,
                              std::vector<FileWrites>* out) const;
    void diffRecord(std::uint32_t slot, const std::byte* now, FileWrites* db) const;
    std::uint64_t changedFields(std::uint32_t slot, const std::byte* edited) const;
    void discardPosts();
    // After a transaction wrote the posts: the indexes' files changed.
    void afterCommit();
};

} // namespace paradox
