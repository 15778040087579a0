#include "paradox/primary_index.h"

#include "paradox/coding.h"
#include "paradox/table_impl.h"

#include <cstring>

namespace paradox {
namespace {

constexpr int kMaxLevels = 16;

struct LeafEntry {
    std::uint16_t dataBlock;
    std::int64_t count;
    const std::byte* key;
};

} // namespace

std::size_t PrimaryIndex::entryOffset(Location loc) const
{
    return m_header.blockOffset(loc.pxBlock) + format::kBlockHeaderSize +
           static_cast<std::size_t>(loc.entry) * m_header.recordSize;
}

Status PrimaryIndex::load(File* px, const format::Header& table, std::span<const std::byte> tableBytes,
                          const std::vector<format::ChainBlock>& chain, std::optional<PrimaryIndex>* out,
                          int fileType)
{
    PrimaryIndex index;
    index.m_px = px;
    const std::span<const std::byte> bytes = px->contents();
    // Other file types lay their headers out differently; name the type
    // rather than the detail that fails to parse.
    const unsigned type = bytes.size() > format::kFileType ? coding::u8(bytes.data() + format::kFileType) : 0;
    if (bytes.size() >= format::kFixedHeaderEnd && static_cast<int>(type) != fileType &&
        type <= format::kCompositeMaintained)
        return Status::corruption(std::string(fileType == format::kPrimaryIndex ? "not a primary index"
                                                                                : "not the index of these blocks") +
                                  " (file type " + std::to_string(type) + ")");
    Status st = format::parseHeader(bytes, &index.m_header);
    if (!st.isOk())
        return st;
    const format::Header& h = index.m_header;
    if (h.fields.size() != table.keyFields)
        return Status::corruption("the index has " + std::to_string(h.fields.size()) + " key fields but the table " +
                                  std::to_string(table.keyFields));
    std::size_t keyLength = 0;
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        if (h.fields[i].type != table.fields[i].type || h.fields[i].size != table.fields[i].size)
            return Status::corruption("key field " + std::to_string(i + 1) + " differs from the table's");
        keyLength += h.fields[i].length;
    }
    if (h.recordSize != keyLength + 6)
        return Status::corruption("index entries of " + std::to_string(h.recordSize) + " bytes for a key of " +
                                  std::to_string(keyLength));
    index.m_keyLength = keyLength;
    index.m_leafOf.assign(static_cast<std::size_t>(table.fileBlocks) + 1, std::nullopt);
    index.m_parentOf.assign(static_cast<std::size_t>(h.fileBlocks) + 1, std::nullopt);

    std::vector<const format::ChainBlock*> filled;
    for (const auto& b : chain)
        if (b.count > 0)
            filled.push_back(&b);

    std::vector<LeafEntry> leaves;
    if (h.indexLevels == 0 || h.fileBlocks == 0) {
        if (!filled.empty())
            return Status::corruption("the index is empty but the table holds records");
    } else {
        if (h.indexLevels > kMaxLevels || h.indexRoot == 0 || h.indexRoot > h.fileBlocks)
            return Status::corruption("invalid index root " + std::to_string(h.indexRoot) + " with " +
                                      std::to_string(h.indexLevels) + " levels");
        std::vector<bool> seen(static_cast<std::size_t>(h.fileBlocks) + 1, false);
        // Depth-first, left to right: leaves come out in key order.
        struct Frame {
            std::uint16_t block;
            int level;
            const std::byte* expectedFirstKey;
        };
        std::vector<Frame> stack{{h.indexRoot, h.indexLevels, nullptr}};
        while (!stack.empty()) {
            const Frame f = stack.back();
            stack.pop_back();
            if (f.block == 0 || f.block > h.fileBlocks || seen[f.block])
                return Status::corruption("index block " + std::to_string(f.block) + " is out of range or reused");
            seen[f.block] = true;
            const std::byte* blk = bytes.data() + h.blockOffset(f.block);
            const int n = format::recordsInBlock(static_cast<std::int16_t>(coding::loadLE16(blk + 4)), h.recordSize,
                                                 h.blockSize);
            if (n <= 0)
                return Status::corruption("index block " + std::to_string(f.block) + " has an invalid size");
            if (h.blockOffset(f.block) + format::kBlockHeaderSize + static_cast<std::size_t>(n) * h.recordSize >
                bytes.size())
                return Status::corruption("index block " + std::to_string(f.block) +
                                          " runs past the end of the file");
            const std::byte* first = blk + format::kBlockHeaderSize;
            if (f.expectedFirstKey && std::memcmp(first, f.expectedFirstKey, keyLength) != 0)
                return Status::corruption("index block " + std::to_string(f.block) +
                                          " does not start with the key its parent gives");
            std::vector<Frame> children;
            for (int i = 0; i < n; ++i) {
                const std::byte* e = first + static_cast<std::size_t>(i) * h.recordSize;
                const std::int64_t child = coding::decodeInt(e + keyLength, 2);
                const std::int64_t count = coding::decodeInt(e + keyLength + 2, 2);
                const Location loc{f.block, static_cast<std::uint16_t>(i)};
                if (f.level == 1) {
                    if (child < 1 || child > table.fileBlocks || index.m_leafOf[child])
                        return Status::corruption("index entry points to data block " + std::to_string(child));
                    index.m_leafOf[child] = loc;
                    leaves.push_back({static_cast<std::uint16_t>(child), count, e});
                } else {
                    if (child < 1 || child > h.fileBlocks)
                        return Status::corruption("index entry points to index block " + std::to_string(child));
                    index.m_parentOf[child] = loc;
                    children.push_back({static_cast<std::uint16_t>(child), f.level - 1, e});
                }
            }
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
    }

    if (leaves.size() != filled.size())
        return Status::corruption("the index lists " + std::to_string(leaves.size()) +
                                  " data blocks, the table has " + std::to_string(filled.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const format::ChainBlock& b = *filled[i];
        const std::byte* firstRecord = tableBytes.data() + table.blockOffset(b.number) + format::kBlockHeaderSize;
        if (leaves[i].dataBlock != b.number || leaves[i].count != b.count ||
            std::memcmp(leaves[i].key, firstRecord, keyLength) != 0)
            return Status::corruption("the index entry for data block " + std::to_string(b.number) +
                                      " does not match the block");
    }
    *out = std::move(index);
    return Status::ok();
}

Status PrimaryIndex::planFirstKey(std::uint16_t block, const std::byte* key, FileWrites* out) const
{
    if (block >= m_leafOf.size() || !m_leafOf[block])
        return Status::corruption("data block " + std::to_string(block) + " has no index entry");
    std::optional<Location> loc = m_leafOf[block];
    while (loc) {
        const std::size_t off = entryOffset(*loc);
        if (std::memcmp(m_px->contents().data() + off, key, m_keyLength) == 0)
            break; // already right here, so above as well
        out->add(off, key, m_keyLength);
        // The first entry of an index block is also its parent's key for it.
        if (loc->entry != 0)
            break;
        loc = m_parentOf[loc->pxBlock];
    }
    return Status::ok();
}

} // namespace paradox
