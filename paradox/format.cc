#include "paradox/format.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"

namespace paradox::format {
namespace {

using coding::loadLE16;
using coding::loadLE32;
using coding::u8;

// Reads a zero-terminated string starting at `*pos`, which must end before `limit`.
bool readCString(std::span<const std::byte> data, std::size_t* pos, std::size_t limit, std::string* out)
{
    out->clear();
    for (std::size_t i = *pos; i < limit && i < data.size(); ++i) {
        if (data[i] == std::byte{0}) {
            *pos = i + 1;
            return true;
        }
        out->push_back(static_cast<char>(u8(&data[i])));
    }
    return false;
}

std::string hexByte(unsigned v)
{
    static const char* hex = "0123456789ABCDEF";
    return std::string("0x") + hex[(v >> 4) & 15] + hex[v & 15];
}

} // namespace

int recordsInBlock(std::int16_t addDataSize, std::uint32_t recordSize, std::uint32_t blockSize)
{
    if (addDataSize < 0)
        return 0; // an empty block
    const auto add = static_cast<std::uint32_t>(addDataSize);
    if (add % recordSize != 0 || add + recordSize + kBlockHeaderSize > blockSize)
        return -1;
    return static_cast<int>(add / recordSize + 1);
}

std::uint16_t fieldLength(std::uint8_t type, std::uint8_t size)
{
    switch (type) {
    case 0x01: // Alpha
    case 0x18: // Bytes
        return size;
    case 0x02: // Date
    case 0x04: // Long
    case 0x14: // Time
    case 0x16: // AutoInc
        return size == 4 ? 4 : 0;
    case 0x03: // Short
        return size == 2 ? 2 : 0;
    case 0x05: // Currency
    case 0x06: // Number
    case 0x15: // Timestamp
        return size == 8 ? 8 : 0;
    case 0x09: // Logical
        return size == 1 ? 1 : 0;
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x10: // BLOB kinds: leader + 10
        return size >= 10 ? size : 0;
    case 0x17: // BCD: always 17 bytes; the size byte counts decimals
        return size <= 32 ? 17 : 0;
    default:
        return 0;
    }
}

namespace {

// With `overrun`, leniently past the header's records (see readTableChain).
Status walkChain(std::span<const std::byte> data, const Header& header, std::vector<ChainBlock>* out,
                 std::uint32_t* records, ChainOverrun* overrun)
{
    *records = 0;
    if (header.firstBlock == 0)
        return Status::ok();
    const bool allInAtStart = overrun && header.numRecords == 0;
    if (header.fileBlocks == 0 && !allInAtStart)
        return Status::corruption("the chain starts at block " + std::to_string(header.firstBlock) +
                                  " of a file without blocks");
    std::vector<bool> seen(static_cast<std::size_t>(header.fileBlocks) + 1, false);
    std::uint32_t slot = 0;
    for (std::uint16_t blk = header.firstBlock; blk != 0;) {
        if (blk > header.fileBlocks) {
            if (overrun && slot >= header.numRecords) {
                overrun->strayBlock = blk;
                break;
            }
            return Status::corruption("the block chain points to block " + std::to_string(blk) +
                                      " but the file has " + std::to_string(header.fileBlocks));
        }
        if (seen[blk])
            return Status::corruption("the block chain returns to block " + std::to_string(blk));
        seen[blk] = true;
        const std::byte* b = data.data() + header.blockOffset(blk);
        const auto add = static_cast<std::int16_t>(loadLE16(b + 4));
        const int n = recordsInBlock(add, header.recordSize, header.blockSize);
        if (n < 0) {
            const std::string area = "block " + std::to_string(blk) + " gives a record area of " +
                                     std::to_string(add) + " bytes";
            if (add % header.recordSize != 0)
                return Status::corruption(area + ", which is not a whole number of " +
                                          std::to_string(header.recordSize) + "-byte records");
            return Status::corruption(area + ", more than a block of " + std::to_string(header.blockSize) +
                                      " bytes holds");
        }
        const std::size_t end = header.blockOffset(blk) + kBlockHeaderSize +
                                static_cast<std::size_t>(n) * header.recordSize;
        if (end > data.size())
            return Status::corruption("block " + std::to_string(blk) + " holds " + std::to_string(n) +
                                      " records up to byte " + std::to_string(end) + " but the file holds only " +
                                      std::to_string(data.size()) + " bytes");
        out->push_back({blk, static_cast<std::uint16_t>(n), slot});
        slot += static_cast<std::uint32_t>(n);
        blk = loadLE16(b);
    }
    if (overrun) {
        overrun->blockRecords = slot;
        if (slot > header.numRecords) {
            // The chain up to the block holding the header's last record.
            while (!out->empty() && out->back().firstSlot >= header.numRecords)
                out->pop_back();
            if (!out->empty())
                out->back().count = static_cast<std::uint16_t>(header.numRecords - out->back().firstSlot);
            slot = header.numRecords;
        }
    }
    *records = slot;
    return Status::ok();
}

} // namespace

Status readChain(std::span<const std::byte> data, const Header& header, std::vector<ChainBlock>* out,
                 std::uint32_t* records)
{
    return walkChain(data, header, out, records, nullptr);
}

Status readTableChain(std::span<const std::byte> data, const Header& header, std::vector<ChainBlock>* out,
                      std::uint32_t* records, ChainOverrun* overrun)
{
    *overrun = {};
    return walkChain(data, header, out, records, overrun);
}

std::uint32_t blocksInFile(std::size_t fileSize, const Header& header)
{
    if (fileSize <= header.headerSize)
        return 0;
    return static_cast<std::uint32_t>((fileSize - header.headerSize + header.blockSize - 1) / header.blockSize);
}

Status parseHeader(std::span<const std::byte> file, Header* out)
{
    Header h;
    if (file.size() < kFixedHeaderEnd)
        return Status::corruption("file is too short for a Paradox header (" + std::to_string(file.size()) +
                                  " bytes)");
    const std::byte* p = file.data();
    h.recordSize = loadLE16(p + kRecordSize);
    h.headerSize = loadLE16(p + kHeaderSize);
    h.fileType = u8(p + kFileType);
    const int blockCode = u8(p + kBlockSizeCode);
    h.numRecords = loadLE32(p + kNumRecords);
    h.fileBlocks = loadLE16(p + kFileBlocks);
    h.firstBlock = loadLE16(p + kFirstBlock);
    h.lastBlock = loadLE16(p + kLastBlock);
    h.version = u8(p + kVersion);
    h.keyFields = loadLE16(p + kKeyFields);
    h.writeProtected = u8(p + kWriteProtected) != 0;
    h.auxPasswords = u8(p + kAuxPasswords);
    h.needsRebuild = u8(p + kModifiedFlags1) != 0 || u8(p + kModifiedFlags2) != 0 ||
                     u8(p + kIndexUpdateRequired) != 0;
    h.sortOrderCode = u8(p + kSortOrder);
    h.structureStamp = u8(p + kStructureStamp);
    h.indexRoot = loadLE16(p + kIndexRoot);
    h.indexLevels = u8(p + kIndexLevels);
    h.indexedField = u8(p + kIndexFieldNumber);
    if (isSecondaryIndexType(h.fileType))
        h.indexOptions = u8(p + kReferentialFlag);
    const unsigned numFields = loadLE16(p + kNumFields);

    if (h.fileType > kCompositeMaintained)
        return Status::corruption("unknown file type " + std::to_string(h.fileType));
    if (h.version < 3 || h.version > 12)
        return Status::corruption("unknown file version " + std::to_string(h.version));
    if (blockCode < 1 || blockCode > 32)
        return Status::corruption("invalid block size code " + std::to_string(blockCode));
    h.blockSize = static_cast<std::uint32_t>(blockCode) * 1024;
    if (numFields == 0 || numFields > 255)
        return Status::corruption("invalid number of fields " + std::to_string(numFields));
    if (h.recordSize == 0)
        return Status::corruption("record size 0 is not valid");
    if (h.recordSize + kBlockHeaderSize > h.blockSize)
        return Status::corruption("record size " + std::to_string(h.recordSize) + " does not fit block size " +
                                  std::to_string(h.blockSize));

    const bool extended = h.hasExtension();
    const std::size_t base = extended ? kExtendedHeaderEnd : kFixedHeaderEnd;
    if (h.headerSize < base)
        return Status::corruption("header size " + std::to_string(h.headerSize) +
                                  " is smaller than the fixed header of " + std::to_string(base) + " bytes");
    if (h.headerSize > file.size())
        return Status::corruption("header size " + std::to_string(h.headerSize) + " does not fit the file of " +
                                  std::to_string(file.size()) + " bytes");
    const std::size_t limit = h.headerSize;

    h.encryptionKey = loadLE32(p + kOldEncryption);
    if (extended) {
        if (h.encryptionKey == kEncryptionMoved)
            h.encryptionKey = loadLE32(p + kEncryption);
        h.codePage = loadLE16(p + kCodePage);
    }

    // Field descriptors.
    std::size_t pos = base;
    if (pos + 2 * numFields > limit)
        return Status::corruption("field descriptors run past the header");
    std::uint32_t offset = 0;
    h.fields.resize(numFields);
    for (unsigned i = 0; i < numFields; ++i) {
        FieldDescriptor& f = h.fields[i];
        f.type = u8(p + pos + 2 * i);
        f.size = u8(p + pos + 2 * i + 1);
        f.length = fieldLength(f.type, f.size);
        if (f.length == 0)
            return Status::corruption("field " + std::to_string(i + 1) + " has type " + hexByte(f.type) +
                                      " of size " + std::to_string(f.size) + ", which is not valid");
        f.offset = offset;
        offset += f.length;
    }
    // Index-of-index entries (.PX, .Y) add block number, count and a spare Short.
    const std::uint32_t expectedSize = isIndexIndexType(h.fileType) ? offset + 6 : offset;
    if (expectedSize != h.recordSize)
        return Status::corruption("the fields take " + std::to_string(expectedSize) + " bytes but records are " +
                                  std::to_string(h.recordSize));
    pos += 2 * numFields;

    const bool hasNames = !isIndexIndexType(h.fileType);
    // Table name pointer, field name pointers, then the table name itself.
    pos += 4 + (hasNames ? 4 * numFields : 0) + static_cast<std::size_t>(tableNameLength(h.version));
    if (pos > limit)
        return Status::corruption("table name runs past the header");

    if (hasNames) {
        for (unsigned i = 0; i < numFields; ++i) {
            if (!readCString(file, &pos, limit, &h.fields[i].rawName))
                return Status::corruption("field names run past the header");
        }
    }
    if (extended) {
        if (pos + 2 * numFields > limit)
            return Status::corruption("field numbers run past the header");
        h.fieldNumbers.resize(numFields);
        for (unsigned i = 0; i < numFields; ++i)
            h.fieldNumbers[i] = loadLE16(p + pos + 2 * i);
        pos += 2 * numFields;
        if (!readCString(file, &pos, limit, &h.sortOrderName))
            return Status::corruption("sort order name runs past the header");
        if (isSecondaryIndexType(h.fileType) && !readCString(file, &pos, limit, &h.indexName))
            return Status::corruption("index name runs past the header");
    }
    // A code page of 0 leaves the encoding to the sort order (an HP Roman-8
    // order has no DOS or Windows code page); 3.x tables name neither, and
    // only their sort-order byte is left to go by.
    int cp = h.codePage != 0 ? h.codePage : codePageOfSortOrder(h.sortOrderName);
    if (h.codePage == 0 && h.sortOrderName.empty())
        cp = codePageOfSortOrderCode(h.sortOrderCode);
    if (cp != 0)
        h.textCodePage = cp;

    if (h.keyFields > numFields)
        return Status::corruption("key of " + std::to_string(h.keyFields) + " fields in a table of " +
                                  std::to_string(numFields));
    // The engine may leave the unused tail of the last block unwritten, so a
    // file can end inside that block; each block must at least begin in it.
    // Whether a block's records are there is for its reader to check.
    if (h.fileBlocks > 0 && h.blockOffset(h.fileBlocks) + kBlockHeaderSize > file.size())
        return Status::corruption("the header counts " + std::to_string(h.fileBlocks) + " blocks of " +
                                  std::to_string(h.blockSize) + " bytes but the file holds only " +
                                  std::to_string(file.size()) + " bytes");
    *out = std::move(h);
    return Status::ok();
}

} // namespace paradox::format
