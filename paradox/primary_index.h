#pragma once

#include "paradox/file.h"
#include "paradox/format.h"

#include <optional>

namespace paradox {

struct FileWrites;

// The primary index (.PX) of a keyed table, kept right while records move.
// The .Y of a secondary index is the same kind of file over the blocks of
// its .X, which is laid out as a keyed table, so it serves for those too.
//
// Its lowest level holds one entry per data block (the block's first key, its
// number and its record count); upper levels hold the first key of each index
// block below. Key changes done by the table never change block counts, so
// keeping it right means rewriting the keys of the entries whose block now
// starts with another record.
class PrimaryIndex {
public:
    // Reads the index and checks that it describes the table's blocks exactly.
    // `fileType` is the index's own: a .PX's, or a .Y's (format::kSecondaryIndexIndex, kCompositeIndexIndex).
    static Status load(File* px, const format::Header& table, std::span<const std::byte> tableBytes,
                       const std::vector<format::ChainBlock>& chain, std::optional<PrimaryIndex>* out,
                       int fileType = format::kPrimaryIndex);

    // Adds to `out` the index writes that make data block `block` start
    // with a record whose key is `key`. Each block's entry must be planned
    // at most once per set of writes.
    Status planFirstKey(std::uint16_t block, const std::byte* key, FileWrites* out) const;

private:
    struct Location {
        std::uint16_t pxBlock = 0;
        std::uint16_t entry = 0;
    };

    std::size_t entryOffset(Location loc) const;

    File* m_px = nullptr;
    format::Header m_header;
    std::size_t m_keyLength = 0;
    std::vector<std::optional<Location>> m_leafOf;   // by data block number
    std::vector<std::optional<Location>> m_parentOf; // by index block number
};

} // namespace paradox
