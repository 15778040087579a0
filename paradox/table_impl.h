#pragma once

// Inside of paradox::Table, shared by the reader, the writer and the primary
// index code.

#include "paradox/format.h"
#include "paradox/primary_index.h"
#include "paradox/table.h"

#include <cstring>
#include <optional>

namespace paradox {

using format::ChainBlock;

// A secondary index file of the table and what it means for writes.
struct SecondaryIndex {
    std::string path;
    bool maintained = true;
    bool readable = false;             // its header parsed; when not, it counts as holding every field
    std::vector<bool> holdsField;      // by table field position
    std::unique_ptr<File> file;        // open for writing while the table is edited
};

// What the .VAL file asks of writers.
struct ValidityRules {
    bool present = false;
    bool readable = false;             // when not, every field counts as checked
    bool referentialIntegrity = false;
    std::vector<bool> checkedField;    // by table field position
};

struct Table::Impl {
    FileSystem* fs = nullptr;
    std::string path;
    std::string folder;        // with a trailing separator, or empty
    std::unique_ptr<File> db;
    format::Header header;
    std::vector<Field> fields;
    std::vector<std::string> foldedNames;
    std::vector<ChainBlock> chain;
    std::uint32_t recordCount = 0;
    bool readOnly = false;

    // Companions found beside the table.
    std::string pxPath;
    std::string lckPath;
    std::string folderLckPath;
    std::vector<SecondaryIndex> secondary;
    ValidityRules validity;

    // Cursor: `walkPos` counts the records visited since first(). Posts that
    // move records keep `idToSlot` so that the walk still meets each record
    // once; both maps are empty while nothing has moved.
    std::uint32_t walkPos = 0;
    std::vector<std::uint32_t> idToSlot;
    std::vector<std::uint32_t> slotToId;
    mutable std::size_t chainHint = 0;

    // Editing.
    bool editing = false;
    std::vector<std::byte> editRecord;
    std::vector<bool> changedFields;
    bool writeChecked = false;     // table-level checks passed and locks held
    std::unique_ptr<File> px;
    std::optional<PrimaryIndex> primary;  // checked against the table by the first edit
    bool keyChangesChecked = false;       // key order and indexes allow moves

    std::span<const std::byte> bytes() const { return db->contents(); }

    std::uint32_t currentSlot() const { return idToSlot.empty() ? walkPos : idToSlot[walkPos]; }
    std::size_t chainIndexOfSlot(std::uint32_t slot) const;
    std::size_t recordOffset(std::uint32_t slot) const;
    const std::byte* record(std::uint32_t slot) const { return bytes().data() + recordOffset(slot); }
    const std::byte* currentRecord() const
    {
        return editing ? editRecord.data() : record(currentSlot());
    }
    std::size_t keyLength() const;

    Status error(const std::string& reason) const;

    Status load();
    void findCompanions();
    Status checkWritable();
    Status checkFieldWritable(int field) const;
    Status writeStamps();
    Status postInPlace(std::uint32_t slot);
    Status postKeyChange(std::uint32_t slot);
    Status prepareKeyChanges();
};

} // namespace paradox
