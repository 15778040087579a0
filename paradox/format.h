#pragma once

// Layout of Paradox table and index files: header offsets, file types and the
// header parser shared by tables, primary and secondary indexes.

#include "paradox/status.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace paradox::format {

// Fixed header, every file kind.
inline constexpr std::size_t kRecordSize = 0x00;
inline constexpr std::size_t kHeaderSize = 0x02;
inline constexpr std::size_t kFileType = 0x04;
inline constexpr std::size_t kBlockSizeCode = 0x05;
inline constexpr std::size_t kNumRecords = 0x06;
inline constexpr std::size_t kBlocksUsed = 0x0A;
inline constexpr std::size_t kFileBlocks = 0x0C;
inline constexpr std::size_t kFirstBlock = 0x0E;
inline constexpr std::size_t kLastBlock = 0x10;
inline constexpr std::size_t kModifiedFlags1 = 0x14;
inline constexpr std::size_t kIndexFieldNumber = 0x15;
inline constexpr std::size_t kIndexRoot = 0x1E;
inline constexpr std::size_t kIndexLevels = 0x20;
inline constexpr std::size_t kNumFields = 0x21;
inline constexpr std::size_t kKeyFields = 0x23;
inline constexpr std::size_t kOldEncryption = 0x25;
inline constexpr std::size_t kSortOrder = 0x29;
inline constexpr std::size_t kModifiedFlags2 = 0x2A;
inline constexpr std::size_t kIndexStamp = 0x2C;    // .PX/.Y: follows the owner's counter
inline constexpr std::size_t kChangeCounter = 0x2D; // +1 per posted change
inline constexpr std::size_t kStructureStamp = 0x2E;
inline constexpr std::size_t kTableStamp = 0x2F; // .X: follows the table's counter
inline constexpr std::size_t kWriteProtected = 0x38;
inline constexpr std::size_t kVersion = 0x39;
inline constexpr std::size_t kMaxBlocks = 0x3A;
inline constexpr std::size_t kAuxPasswords = 0x3D;
inline constexpr std::size_t kUnknown3E = 0x3E;
inline constexpr std::size_t kAutoIncrement = 0x49;
inline constexpr std::size_t kFreeBlock = 0x4D;
inline constexpr std::size_t kIndexUpdateRequired = 0x4F;
inline constexpr std::size_t kUsedHeader = 0x51;
inline constexpr std::size_t kReferentialFlag = 0x55; // .DB; in an .X: its options (kIndex* below)
inline constexpr std::size_t kMarker56 = 0x56;
inline constexpr std::size_t kFixedHeaderEnd = 0x58;

// Extension of .DB and .X files of version 4.x and later.
inline constexpr std::size_t kVersionWord = 0x58;
inline constexpr std::size_t kEncryption = 0x5C;
inline constexpr std::size_t kUpdateTime = 0x60;
inline constexpr std::size_t kFieldCountPlusOne = 0x64;
inline constexpr std::size_t kFieldNumbersOffset = 0x66;
inline constexpr std::size_t kCodePage = 0x6A;
inline constexpr std::size_t kUnknown6C = 0x6C;
inline constexpr std::size_t kExtendedHeaderEnd = 0x78;

// Options of a secondary index (.X byte 0x55).
inline constexpr std::uint8_t kIndexCaseInsensitive = 0x01;
inline constexpr std::uint8_t kIndexDescending = 0x10;
inline constexpr std::uint8_t kIndexUnique = 0x20;
// In an .X's field numbers: the indexed field sorts in descending order.
inline constexpr std::uint16_t kDescendingField = 0x8000;

inline constexpr std::uint32_t kEncryptionMoved = 0xFF00FF00; // key lives at 0x5C
inline constexpr std::size_t kBlockHeaderSize = 6;
inline constexpr int kFirstExtendedVersion = 5; // 4.x
inline constexpr int kLongNameVersion = 12;     // 7.x: 261-byte table name

enum FileType : std::uint8_t {
    kKeyedTable = 0,
    kPrimaryIndex = 1,
    kTable = 2,
    kSecondaryNotMaintained = 3,
    kSecondaryIndexIndex = 4,
    kSecondaryMaintained = 5,
    kCompositeNotMaintained = 6,
    kCompositeIndexIndex = 7,
    kCompositeMaintained = 8,
};

inline bool isTableType(int t)
{
    return t == kKeyedTable || t == kTable;
}
inline bool isSecondaryIndexType(int t)
{
    return t == kSecondaryNotMaintained || t == kSecondaryMaintained || t == kCompositeNotMaintained ||
           t == kCompositeMaintained;
}
inline bool isMaintainedIndexType(int t)
{
    return t == kSecondaryMaintained || t == kCompositeMaintained;
}
// .PX and .Y files carry descriptors and a table name but no field names.
inline bool isIndexIndexType(int t)
{
    return t == kPrimaryIndex || t == kSecondaryIndexIndex || t == kCompositeIndexIndex;
}

inline int tableNameLength(int version)
{
    return version >= kLongNameVersion ? 261 : 79;
}

struct FieldDescriptor {
    std::uint8_t type = 0;
    std::uint8_t size = 0;    // as stored: the length, or the decimals of a BCD field
    std::uint16_t length = 0; // bytes in the record
    std::uint32_t offset = 0; // from the record's start
    std::string rawName;      // in the file's code page; empty in .PX/.Y
};

struct Header {
    std::uint16_t recordSize = 0;
    std::uint16_t headerSize = 0;
    std::uint8_t fileType = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t numRecords = 0;
    std::uint16_t fileBlocks = 0;
    std::uint16_t firstBlock = 0;
    std::uint16_t lastBlock = 0;
    std::uint8_t version = 0;
    std::uint16_t keyFields = 0;
    std::uint32_t encryptionKey = 0;
    bool writeProtected = false;
    std::uint8_t auxPasswords = 0;
    bool needsRebuild = false; // modified flags or "index update required"
    std::uint8_t sortOrderCode = 0;
    std::uint8_t structureStamp = 0;
    std::uint16_t codePage = 0; // 0 when the file does not say
    int textCodePage = 437;     // of the file's text: codePage, else its sort order's (name, or byte
                                // when there is no name), else 437
    std::uint16_t indexRoot = 0;
    std::uint8_t indexLevels = 0;
    std::uint8_t indexedField = 0; // .X: table number of the first indexed field
    std::uint8_t indexOptions = 0; // .X: kIndex* bits
    std::vector<FieldDescriptor> fields;
    std::vector<std::uint16_t> fieldNumbers; // .DB/.X of 4.x and later
    std::string sortOrderName;
    std::string indexName; // .X only

    bool hasExtension() const { return version >= kFirstExtendedVersion && !isIndexIndexType(fileType); }
    std::size_t blockOffset(std::uint32_t block) const
    {
        return headerSize + static_cast<std::size_t>(block - 1) * blockSize;
    }
};

// A data block of a table in chain order, with the slots (record positions in
// table order) it holds.
struct ChainBlock {
    std::uint16_t number = 0;
    std::uint16_t count = 0;
    std::uint32_t firstSlot = 0;
};

// Records in a block from its header's addDataSize, or -1 when the value is
// impossible for the record and block sizes.
int recordsInBlock(std::int16_t addDataSize, std::uint32_t recordSize, std::uint32_t blockSize);

// Bytes a field of the type takes in a record given its descriptor size, or
// 0 when the type is unknown or the size impossible for it.
std::uint16_t fieldLength(std::uint8_t type, std::uint8_t size);

// Walks the block chain of a file laid out as a table (a table or an .X),
// appending each block in chain order with the records it holds; `records`
// gets their sum. Messages name no file.
Status readChain(std::span<const std::byte> file, const Header& header, std::vector<ChainBlock>* out,
                 std::uint32_t* records);

// Where a table's chain goes on after the header's records are all in, as a
// writer that stopped half-way leaves it (see readTableChain).
struct ChainOverrun {
    std::uint32_t blockRecords = 0; // what the blocks hold, up to where the chain leaves the header's blocks
    std::uint16_t strayBlock = 0;   // the block past the header's count that the chain goes on to; 0 if none
    bool found(const Header& header) const { return strayBlock != 0 || blockRecords > header.numRecords; }
};

// readChain for a table, which reads as the engine reads it: once the
// header's records are all in, a chain going on past the header's blocks
// ends there, and records beyond the header's count are left out of `out`
// and `records`. `overrun` says what was left. Fewer records than the
// header counts are for the caller to refuse.
Status readTableChain(std::span<const std::byte> file, const Header& header, std::vector<ChainBlock>* out,
                      std::uint32_t* records, ChainOverrun* overrun);

// Blocks the file holds after its header, the last one perhaps in part.
std::uint32_t blocksInFile(std::size_t fileSize, const Header& header);

// Reads and checks the header of any table or index file. Messages say what
// is wrong without naming the file; callers add the name.
Status parseHeader(std::span<const std::byte> file, Header* out);

} // namespace paradox::format
