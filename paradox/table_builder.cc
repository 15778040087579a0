#include "paradox/table_builder.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/format.h"
#include "paradox/paths.h"
#include "paradox/secondary_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numeric>

namespace paradox {
namespace {

using namespace format;

constexpr std::size_t kHeaderUnit = 0x800;

bool allowedAtVersion(FieldType t, int version)
{
    switch (t) {
    case FieldType::Alpha:
    case FieldType::Date:
    case FieldType::Short:
    case FieldType::Number:
    case FieldType::Currency:
        return true;
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return version >= 5;
    default:
        return version >= 10;
    }
}

std::uint8_t descriptorSize(const FieldDefinition& f)
{
    switch (f.type) {
    case FieldType::Alpha:
    case FieldType::Bytes:
    case FieldType::Bcd:
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return static_cast<std::uint8_t>(f.size);
    case FieldType::Short:
        return 2;
    case FieldType::Logical:
        return 1;
    case FieldType::Number:
    case FieldType::Currency:
    case FieldType::Timestamp:
        return 8;
    default:
        return 4;
    }
}

class Image {
public:
    explicit Image(std::size_t size) : m_bytes(size) {}
    std::byte* at(std::size_t off) { return m_bytes.data() + off; }
    void u8(std::size_t off, unsigned v) { m_bytes[off] = std::byte(v & 0xFF); }
    void u16(std::size_t off, unsigned v) { coding::storeLE16(at(off), static_cast<std::uint16_t>(v)); }
    void u32(std::size_t off, std::uint32_t v) { coding::storeLE32(at(off), v); }
    void bytes(std::size_t off, const std::string& s) { std::memcpy(at(off), s.data(), s.size()); }
    std::vector<std::byte>& data() { return m_bytes; }

private:
    std::vector<std::byte> m_bytes;
};

// Encodes a decimal text into the 17-byte BCD form.
bool encodeBcd(const std::string& text, int decimals, std::byte* out)
{
    std::string s = text;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative || (!s.empty() && s[0] == '+'))
        s.erase(0, 1);
    const std::size_t dot = s.find('.');
    std::string whole = s.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    if (whole.empty() && frac.empty())
        return false;
    for (char c : whole + frac)
        if (c < '0' || c > '9')
            return false;
    if (frac.size() > static_cast<std::size_t>(decimals))
        frac.resize(static_cast<std::size_t>(decimals)); // truncated, as a fixed-decimal column stores it
    frac.append(static_cast<std::size_t>(decimals) - frac.size(), '0');
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.size() + frac.size() > 32)
        return false;
    const std::string digits = std::string(32 - decimals - whole.size(), '0') + whole + frac;
    out[0] = std::byte(static_cast<unsigned>((negative ? 0x00 : 0x80) | 0x40 | decimals));
    for (int i = 0; i < 16; ++i) {
        unsigned hi = static_cast<unsigned>(digits[2 * i] - '0');
        unsigned lo = static_cast<unsigned>(digits[2 * i + 1] - '0');
        if (negative) {
            hi = 15 - hi;
            lo = 15 - lo;
        }
        out[1 + i] = std::byte((hi << 4) | lo);
    }
    return true;
}

std::string withExtension(const std::string& path, const char* upper, const char* lower)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExt ? path.substr(0, dot) : path;
    const bool upperCase = hasExt && path.size() > dot + 1 && path[dot + 1] >= 'A' && path[dot + 1] <= 'Z';
    return stem + (upperCase ? upper : lower);
}

// Fixed header part shared by tables and indexes.
void writeCommonHeader(Image& img, const CreateOptions& o, std::size_t recordSize, std::size_t headerSize,
                       int fileType, int blockKiB, std::uint32_t records, std::uint16_t blocks, int numFields)
{
    img.u16(kRecordSize, static_cast<unsigned>(recordSize));
    img.u16(kHeaderSize, static_cast<unsigned>(headerSize));
    img.u8(kFileType, static_cast<unsigned>(fileType));
    img.u8(kBlockSizeCode, static_cast<unsigned>(blockKiB));
    img.u32(kNumRecords, records);
    img.u16(kBlocksUsed, blocks);
    img.u16(kFileBlocks, blocks);
    img.u16(kFirstBlock, blocks ? 1 : 0);
    img.u16(kLastBlock, blocks);
    img.u16(0x12, 1);
    img.u16(kNumFields, static_cast<unsigned>(numFields));
    img.u8(kSortOrder, static_cast<unsigned>(o.sortOrderCode));
    img.u8(kVersion, static_cast<unsigned>(o.version));
    img.u16(kMaxBlocks, blocks);
}

struct IndexEntry {
    const std::byte* key;
    std::uint32_t child; // data block, or the position of an index block in the level below
    std::uint32_t count; // records below the entry
};

struct Descriptor {
    std::uint8_t type;
    std::uint8_t size;
};

// Lays an index of blocks (a .PX over a table's blocks, a .Y over an .X's)
// out top-down, as the engine's files and other readers have it: the root is
// block 1, each level's blocks follow those of the level above, the lowest
// level comes last, and one chain runs through all blocks in that order. The
// header counts the entries of all levels.
Status buildBlockIndex(const CreateOptions& o, int fileType, const std::vector<Descriptor>& keyFields,
                       std::size_t keyLength, const std::vector<IndexEntry>& leaves, const std::string& name,
                       std::uint8_t stamp, std::vector<std::byte>* out)
{
    const std::size_t record = keyLength + 6;
    const int kib = o.indexBlockSizeKiB ? o.indexBlockSizeKiB : o.blockSizeKiB;
    const std::size_t blockSize = static_cast<std::size_t>(kib) * 1024;
    const std::size_t perBlock = (blockSize - kBlockHeaderSize) / record;
    if (perBlock < 2)
        return Status::invalidArgument("the key is too long for the index block size");

    // Levels from the lowest up, each a list of blocks of entries.
    std::vector<std::vector<std::vector<IndexEntry>>> levels;
    std::vector<IndexEntry> current = leaves;
    while (!current.empty()) {
        std::vector<std::vector<IndexEntry>> blocks;
        for (std::size_t i = 0; i < current.size(); i += perBlock)
            blocks.emplace_back(current.begin() + static_cast<std::ptrdiff_t>(i),
                                current.begin() +
                                    static_cast<std::ptrdiff_t>(std::min(current.size(), i + perBlock)));
        std::vector<IndexEntry> above;
        for (std::size_t j = 0; j < blocks.size(); ++j) {
            std::uint32_t sum = 0;
            for (const IndexEntry& e : blocks[j])
                sum += e.count;
            above.push_back({blocks[j].front().key, static_cast<std::uint32_t>(j), sum});
        }
        levels.push_back(std::move(blocks));
        if (above.size() == 1)
            break;
        current = std::move(above);
    }
    // Block numbers: the top level first.
    std::vector<std::size_t> firstNumber(levels.size());
    std::size_t total = 0, entries = 0;
    for (std::size_t l = levels.size(); l-- > 0;) {
        firstNumber[l] = total + 1;
        total += levels[l].size();
        for (const auto& blk : levels[l])
            entries += blk.size();
    }
    if (total > 0xFFFF)
        return Status::invalidArgument("the index would be too large");

    const std::size_t nameLength = static_cast<std::size_t>(tableNameLength(o.version));
    const std::size_t used = kFixedHeaderEnd + 2 * keyFields.size() + 4 + nameLength;
    Image px(kHeaderUnit + total * blockSize);
    writeCommonHeader(px, o, record, kHeaderUnit, fileType, kib, static_cast<std::uint32_t>(entries),
                      static_cast<std::uint16_t>(total), static_cast<int>(keyFields.size()));
    px.u16(kIndexRoot, 1);
    px.u8(kIndexLevels, static_cast<unsigned>(levels.size()));
    px.u8(kIndexStamp, stamp); // follows its owner's change counter
    px.u16(kUsedHeader, static_cast<unsigned>(used));
    for (std::size_t i = 0; i < keyFields.size(); ++i) {
        px.u8(kFixedHeaderEnd + 2 * i, keyFields[i].type);
        px.u8(kFixedHeaderEnd + 2 * i + 1, keyFields[i].size);
    }
    px.bytes(kFixedHeaderEnd + 2 * keyFields.size() + 4, name.substr(0, nameLength - 1));
    for (std::size_t l = 0; l < levels.size(); ++l) {
        for (std::size_t j = 0; j < levels[l].size(); ++j) {
            const std::size_t number = firstNumber[l] + j;
            const auto& blkEntries = levels[l][j];
            std::byte* blk = px.at(kHeaderUnit + (number - 1) * blockSize);
            coding::storeLE16(blk, static_cast<std::uint16_t>(number < total ? number + 1 : 0));
            coding::storeLE16(blk + 2, static_cast<std::uint16_t>(number - 1));
            coding::storeLE16(blk + 4, static_cast<std::uint16_t>((blkEntries.size() - 1) * record));
            for (std::size_t e = 0; e < blkEntries.size(); ++e) {
                std::byte* p = blk + kBlockHeaderSize + e * record;
                const IndexEntry& entry = blkEntries[e];
                const std::size_t child = l == 0 ? entry.child : firstNumber[l - 1] + entry.child;
                std::memcpy(p, entry.key, keyLength);
                coding::encodeInt(p + keyLength, static_cast<std::int64_t>(child), 2);
                // Counts above the lowest level sum the records below; a Short
                // cannot hold more, so they stop at its maximum.
                coding::encodeInt(p + keyLength + 2, std::min<std::uint32_t>(entry.count, 32767), 2);
                coding::encodeInt(p + keyLength + 4, 0, 2);
            }
        }
    }
    *out = std::move(px.data());
    return Status::ok();
}

// Where a record of the new table lies.
struct PlacedRecord {
    const std::byte* bytes;
    std::uint16_t block;
    std::uint16_t place; // in the block, from 0
};

// A secondary index of the new table: the .X (a keyed table of entries in
// index order, with the header the engine's .X files carry) and its .Y.
struct BuiltIndex {
    std::string xPath, yPath;
    std::vector<std::byte> x, y;
};

Status buildSecondaryIndex(const CreateOptions& o, const IndexDefinition& wanted, const std::string& xPath,
                           const std::string& yPath, const std::vector<FieldDefinition>& fieldDefinitions,
                           const Header& table, std::uint32_t updateTime, const std::vector<PlacedRecord>& records,
                           BuiltIndex* out)
{
    const bool keyed = o.keyFields > 0;
    // Columns: the indexed fields, then the key and the block, or the
    // record's number, block and place.
    std::vector<std::uint16_t> numbers; // field numbers as the header gives them
    std::vector<Descriptor> descriptors;
    std::vector<std::string> names;
    for (const std::string& name : wanted.fields) {
        std::size_t f = 0;
        while (f < fieldDefinitions.size() && foldCase(fieldDefinitions[f].name) != foldCase(name))
            ++f;
        if (f == fieldDefinitions.size())
            return Status::invalidArgument("index field '" + name + "' is not a field of the table");
        if (isBlobType(fieldDefinitions[f].type))
            return Status::invalidArgument("index field '" + name + "' is a BLOB");
        numbers.push_back(static_cast<std::uint16_t>((f + 1) | (wanted.descending ? kDescendingField : 0)));
        descriptors.push_back({table.fields[f].type, table.fields[f].size});
        names.push_back(table.fields[f].rawName);
    }
    auto addColumn = [&](std::uint8_t type, std::uint8_t size, const std::string& name) {
        numbers.push_back(static_cast<std::uint16_t>(numbers.size() + 1));
        descriptors.push_back({type, size});
        names.push_back(name);
    };
    if (keyed) {
        for (int k = 0; k < o.keyFields; ++k)
            addColumn(table.fields[static_cast<std::size_t>(k)].type, table.fields[static_cast<std::size_t>(k)].size,
                      table.fields[static_cast<std::size_t>(k)].rawName);
        addColumn(0x03, 2, "Blk Num");
    } else {
        addColumn(0x04, 4, "Tup No");
        addColumn(0x03, 2, "Blk Num");
        addColumn(0x03, 2, "Tup Offset");
    }
    const std::size_t nx = descriptors.size();
    std::size_t entrySize = 0;
    for (const Descriptor& d : descriptors)
        entrySize += fieldLength(d.type, d.size);

    const std::size_t blockSize = static_cast<std::size_t>(o.blockSizeKiB) * 1024;
    std::size_t perBlock = (blockSize - kBlockHeaderSize) / entrySize;
    if (wanted.entriesPerBlock > 0)
        perBlock = std::min(perBlock, static_cast<std::size_t>(wanted.entriesPerBlock));
    const std::size_t n = records.size();
    const std::size_t blocks = (n + perBlock - 1) / perBlock;
    if (blocks > 0xFFFF)
        return Status::invalidArgument("too many entries for the index's block size");

    // Header, laid out as a table's with the index's name at the end.
    const std::size_t nameLength = static_cast<std::size_t>(tableNameLength(o.version));
    const std::size_t namePos = kExtendedHeaderEnd + 2 * nx + 4 + 4 * nx;
    std::size_t pos = namePos + nameLength;
    std::vector<std::size_t> fieldNamePos(nx);
    for (std::size_t i = 0; i < nx; ++i) {
        fieldNamePos[i] = pos;
        pos += names[i].size() + 1;
    }
    const std::size_t fieldNumbersPos = pos;
    pos += 2 * nx;
    const std::size_t sortPos = pos;
    pos += o.sortOrder.size() + 1;
    // The engine counts the index's name, and its end, only when it has one.
    const std::size_t used = wanted.name.empty() ? pos : pos + wanted.name.size() + 1;
    const std::size_t end = pos + wanted.name.size() + 1;
    const std::size_t headerSize = (end + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit;
    const int type = wanted.name.empty() ? (wanted.maintained ? kSecondaryMaintained : kSecondaryNotMaintained)
                                         : (wanted.maintained ? kCompositeMaintained : kCompositeNotMaintained);
    Image x(headerSize + blocks * blockSize);
    writeCommonHeader(x, o, entrySize, headerSize, type, o.blockSizeKiB, static_cast<std::uint32_t>(n),
                      static_cast<std::uint16_t>(blocks), static_cast<int>(nx));
    x.u8(kIndexFieldNumber, numbers.front() & ~kDescendingField);
    x.u16(kKeyFields, static_cast<unsigned>(nx - 1));
    x.u32(kOldEncryption, kEncryptionMoved);
    x.u8(kIndexStamp, 0xFF);
    x.u8(kChangeCounter, 1);
    x.u8(kStructureStamp, 1); // the table's
    x.u8(kTableStamp, 1);     // follows the table's change counter
    x.u8(kUnknown3E, 0x1F);
    x.u8(kUnknown3E + 1, 0x0F);
    x.u16(kUsedHeader, static_cast<unsigned>(used));
    x.u8(kReferentialFlag, (wanted.caseInsensitive ? kIndexCaseInsensitive : 0) |
                               (wanted.descending ? kIndexDescending : 0) | (wanted.unique ? kIndexUnique : 0));
    x.u8(kMarker56, 0x20);
    const unsigned word = o.version >= 12 ? 0x010C : o.version >= 10 ? 0x010B : 0x0109;
    x.u16(kVersionWord, word);
    x.u16(kVersionWord + 2, word);
    x.u32(kUpdateTime, updateTime);
    unsigned highest = 0;
    for (std::uint16_t number : numbers)
        highest = std::max<unsigned>(highest, number & ~kDescendingField);
    x.u16(kFieldCountPlusOne, highest + 1);
    x.u16(kFieldNumbersOffset, static_cast<unsigned>(fieldNumbersPos - kFixedHeaderEnd));
    x.u16(kCodePage, static_cast<unsigned>(o.codePage));
    x.u8(kUnknown6C, 1);
    x.u8(kUnknown6C + 1, 1);
    x.u16(kUnknown6C + 2, static_cast<unsigned>(fieldNumbersPos - kFixedHeaderEnd + 6));
    for (std::size_t i = 0; i < nx; ++i) {
        x.u8(kExtendedHeaderEnd + 2 * i, descriptors[i].type);
        x.u8(kExtendedHeaderEnd + 2 * i + 1, descriptors[i].size);
        x.bytes(fieldNamePos[i], names[i]);
        x.u16(fieldNumbersPos + 2 * i, numbers[i]);
    }
    x.bytes(namePos, fileNameOf(xPath).substr(0, nameLength - 1));
    x.bytes(sortPos, o.sortOrder);
    x.bytes(pos, wanted.name);

    // The index's own reading of that header orders the entries.
    Header xHeader;
    Status st = parseHeader(x.data(), &xHeader);
    IndexLayout layout;
    if (st.isOk())
        st = IndexLayout::describe(xHeader, table, &layout);
    if (!st.isOk())
        return Status::invalidArgument(fileNameOf(xPath) + ": " + st.message());
    std::vector<std::byte> entries(n * entrySize);
    const auto& columns = layout.columns();
    for (std::size_t j = 0; j < n; ++j) {
        std::byte* e = entries.data() + j * entrySize;
        layout.fillFromRecord(records[j].bytes, e);
        layout.setBlock(e, records[j].block);
        if (!keyed) {
            coding::encodeInt(e + columns[nx - 3].offset, static_cast<std::int64_t>(j), 4);
            coding::encodeInt(e + columns[nx - 1].offset, records[j].place, 2);
        }
    }
    std::vector<std::size_t> sorted(n);
    std::iota(sorted.begin(), sorted.end(), 0);
    auto entry = [&](std::size_t j) { return entries.data() + j * entrySize; };
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](std::size_t a, std::size_t b) { return layout.compare(entry(a), entry(b)) < 0; });
    for (std::size_t i = 1; i < n; ++i) {
        const std::byte* a = entry(sorted[i - 1]);
        const std::byte* b = entry(sorted[i]);
        bool unknown = false;
        (void)layout.compareKnown(a, b, &unknown);
        if (unknown)
            return Status::invalidArgument(fileNameOf(xPath) + ": the index " + layout.orderProblem() +
                                           ", which the builder cannot reproduce");
        if (wanted.unique && layout.sameIndexed(a, b))
            return Status::keyViolation("Key violation");
    }

    std::vector<IndexEntry> leaves;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t first = b * perBlock;
        const std::size_t count = std::min(perBlock, n - first);
        std::byte* blk = x.at(headerSize + b * blockSize);
        coding::storeLE16(blk, static_cast<std::uint16_t>(b + 1 < blocks ? b + 2 : 0));
        coding::storeLE16(blk + 2, static_cast<std::uint16_t>(b));
        coding::storeLE16(blk + 4, static_cast<std::uint16_t>((count - 1) * entrySize));
        for (std::size_t r = 0; r < count; ++r)
            std::memcpy(blk + kBlockHeaderSize + r * entrySize, entry(sorted[first + r]), entrySize);
        leaves.push_back({blk + kBlockHeaderSize, static_cast<std::uint32_t>(b + 1),
                          static_cast<std::uint32_t>(count)});
    }
    std::vector<Descriptor> keyFields(descriptors.begin(), descriptors.end() - 1);
    st = buildBlockIndex(o, wanted.name.empty() ? kSecondaryIndexIndex : kCompositeIndexIndex, keyFields,
                         layout.sortKeyLength(), leaves, fileNameOf(yPath), 1, &out->y);
    if (!st.isOk())
        return st;
    out->xPath = xPath;
    out->yPath = yPath;
    out->x = std::move(x.data());
    return Status::ok();
}

} // namespace

Status TableBuilder::create(std::vector<FieldDefinition> fields, const CreateOptions& options,
                            std::unique_ptr<TableBuilder>* out)
{
    if (options.version < 3 || options.version > 12)
        return Status::invalidArgument("unknown file version " + std::to_string(options.version));
    if (options.blockSizeKiB < 1 || options.blockSizeKiB > 32 || options.indexBlockSizeKiB < 0 ||
        options.indexBlockSizeKiB > 32)
        return Status::invalidArgument("block sizes must be 1 to 32 KiB");
    if (fields.empty() || fields.size() > 255)
        return Status::invalidArgument("a table has 1 to 255 fields");
    if (options.keyFields < 0 || options.keyFields > static_cast<int>(fields.size()))
        return Status::invalidArgument("more key fields than fields");
    std::unique_ptr<TableBuilder> b(new TableBuilder);
    b->m_options = options;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDefinition& f = fields[i];
        if (!allowedAtVersion(f.type, options.version))
            return Status::invalidArgument("field '" + f.name + "': its type does not exist at version " +
                                           std::to_string(options.version));
        const std::uint16_t len = fieldLength(static_cast<std::uint8_t>(f.type), descriptorSize(f));
        if (len == 0 || (f.type == FieldType::Alpha && f.size < 1) || (f.type == FieldType::Bytes && f.size < 1) ||
            f.size > 255 || (f.type == FieldType::Bcd && f.size > 32))
            return Status::invalidArgument("field '" + f.name + "': invalid size " + std::to_string(f.size));
        if (isBlobType(f.type) && static_cast<int>(i) < options.keyFields)
            return Status::invalidArgument("field '" + f.name + "': a BLOB cannot be a key");
        std::string raw;
        Status st = fromUtf8(f.name, options.codePage, &raw);
        if (!st.isOk() || raw.empty() || raw.size() > 25 || raw.find('\0') != std::string::npos)
            return Status::invalidArgument("field name '" + f.name + "' cannot be used");
        b->m_offsets.push_back(static_cast<std::uint32_t>(b->m_recordSize));
        b->m_lengths.push_back(len);
        b->m_recordSize += len;
        if (static_cast<int>(i) < options.keyFields)
            b->m_keyLength += len;
    }
    if (b->m_recordSize + kBlockHeaderSize > static_cast<std::size_t>(options.blockSizeKiB) * 1024)
        return Status::invalidArgument("records of " + std::to_string(b->m_recordSize) +
                                       " bytes do not fit a block");
    b->m_fields = std::move(fields);
    *out = std::move(b);
    return Status::ok();
}

Status TableBuilder::addRecord(const std::vector<Value>& values)
{
    if (values.size() != m_fields.size())
        return Status::invalidArgument("a record needs " + std::to_string(m_fields.size()) + " values");
    std::vector<std::byte> rec(m_recordSize);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const FieldDefinition& f = m_fields[i];
        const Value& v = values[i];
        std::byte* p = rec.data() + m_offsets[i];
        const int len = m_lengths[i];
        if (v.kind == Value::Kind::Null)
            continue;
        auto mismatch = [&] { return Status::invalidArgument("field '" + f.name + "': value of the wrong kind"); };
        switch (f.type) {
        case FieldType::Alpha: {
            if (v.kind != Value::Kind::Text)
                return mismatch();
            std::string raw;
            Status st = fromUtf8(v.text, m_options.codePage, &raw);
            if (!st.isOk() || raw.size() > static_cast<std::size_t>(len))
                return Status::invalidArgument("field '" + f.name + "': text does not fit");
            std::memcpy(p, raw.data(), raw.size());
            break;
        }
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc: {
            if (v.kind != Value::Kind::Integer)
                return mismatch();
            const std::int64_t limit = len == 2 ? 32767 : 2147483647;
            if (v.integer < -limit || v.integer > limit)
                return Status::invalidArgument("field '" + f.name + "': value out of range");
            coding::encodeInt(p, v.integer, len);
            if (f.type == FieldType::AutoInc)
                m_maxAutoInc = std::max(m_maxAutoInc, v.integer);
            break;
        }
        case FieldType::Number:
        case FieldType::Currency:
            if (v.kind == Value::Kind::Float)
                coding::encodeDouble(p, v.real);
            else if (v.kind == Value::Kind::Integer)
                coding::encodeDouble(p, static_cast<double>(v.integer));
            else
                return mismatch();
            break;
        case FieldType::Date:
            if (v.kind != Value::Kind::Date || v.integer < 1 || v.integer > 3652059)
                return mismatch();
            coding::encodeInt(p, v.integer, 4);
            break;
        case FieldType::Time:
            if (v.kind != Value::Kind::Time || v.integer < 0 || v.integer >= kMsPerDay)
                return mismatch();
            coding::encodeInt(p, v.integer, 4);
            break;
        case FieldType::Timestamp:
            if (v.kind != Value::Kind::Timestamp || !std::isfinite(v.real))
                return mismatch();
            coding::encodeDouble(p, v.real);
            break;
        case FieldType::Logical:
            if (v.kind != Value::Kind::Logical)
                return mismatch();
            p[0] = std::byte(v.integer ? 0x81 : 0x80);
            break;
        case FieldType::Bytes:
            if (v.kind != Value::Kind::Bytes || v.text.size() > static_cast<std::size_t>(len))
                return mismatch();
            std::memcpy(p, v.text.data(), v.text.size());
            break;
        case FieldType::Bcd:
            if (v.kind != Value::Kind::Decimal || !encodeBcd(v.text, f.size, p))
                return mismatch();
            break;
        default:
            return mismatch(); // BLOBs stay blank
        }
    }
    m_records.insert(m_records.end(), rec.begin(), rec.end());
    return Status::ok();
}

int TableBuilder::fieldIndexOf(const std::string& name) const
{
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        if (foldCase(m_fields[i].name) == foldCase(name))
            return static_cast<int>(i);
    return -1;
}

Status TableBuilder::write(const std::string& path)
{
    const CreateOptions& o = m_options;
    FileSystem& fs = o.fileSystem ? *o.fileSystem : FileSystem::standard();
    const std::size_t n = recordCount();
    const bool keyed = o.keyFields > 0;
    const int version = o.version;
    const bool extended = version >= kFirstExtendedVersion;

    // Key order; ties are duplicate keys.
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    if (keyed) {
        for (int i = 0; i < o.keyFields; ++i)
            if (m_fields[static_cast<std::size_t>(i)].type == FieldType::Alpha && foldCase(o.sortOrder) != "ascii")
                return Status::invalidArgument("text keys can only be ordered in sort order 'ascii'");
        auto rec = [this](std::size_t i) { return m_records.data() + i * m_recordSize; };
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return std::memcmp(rec(a), rec(b), m_keyLength) < 0; });
        for (std::size_t i = 1; i < n; ++i)
            if (std::memcmp(rec(order[i - 1]), rec(order[i]), m_keyLength) == 0)
                return Status::keyViolation("Key violation");
    }

    // Header layout.
    const std::size_t nf = m_fields.size();
    const std::size_t nameLength = static_cast<std::size_t>(tableNameLength(version));
    std::vector<std::string> rawNames(nf);
    for (std::size_t i = 0; i < nf; ++i)
        (void)fromUtf8(m_fields[i].name, o.codePage, &rawNames[i]);
    const std::size_t base = extended ? kExtendedHeaderEnd : kFixedHeaderEnd;
    const std::size_t namePos = base + 2 * nf + 4 + 4 * nf;
    std::size_t pos = namePos + nameLength;
    std::vector<std::size_t> fieldNamePos(nf);
    for (std::size_t i = 0; i < nf; ++i) {
        fieldNamePos[i] = pos;
        pos += rawNames[i].size() + 1;
    }
    const std::size_t fieldNumbersPos = pos;
    std::size_t used = pos + 6; // 3.x tables count a few zero bytes past the names
    if (extended) {
        pos += 2 * nf;
        pos += o.sortOrder.size() + 1;
        used = pos;
    }
    const std::size_t headerSize = (used + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit;

    const std::uint32_t updateTime = o.updateTime ? o.updateTime : static_cast<std::uint32_t>(std::time(nullptr));
    const std::size_t blockSize = static_cast<std::size_t>(o.blockSizeKiB) * 1024;
    std::size_t perBlock = (blockSize - kBlockHeaderSize) / m_recordSize;
    if (o.recordsPerBlock > 0)
        perBlock = std::min(perBlock, static_cast<std::size_t>(o.recordsPerBlock));
    const std::size_t blocks = (n + perBlock - 1) / perBlock;
    if (blocks > 0xFFFF)
        return Status::invalidArgument("too many records for this block size");

    Image db(headerSize + blocks * blockSize);
    writeCommonHeader(db, o, m_recordSize, headerSize, keyed ? kKeyedTable : kTable, o.blockSizeKiB,
                      static_cast<std::uint32_t>(n), static_cast<std::uint16_t>(blocks), static_cast<int>(nf));
    db.u16(kKeyFields, static_cast<unsigned>(o.keyFields));
    db.u8(kChangeCounter, 1);
    db.u8(kStructureStamp, 1);
    db.u8(kUnknown3E, 0x1F);
    db.u8(kUnknown3E + 1, 0x0F);
    db.u16(kUsedHeader, static_cast<unsigned>(used));
    if (extended) {
        db.u32(kOldEncryption, kEncryptionMoved);
        db.u32(kAutoIncrement, static_cast<std::uint32_t>(m_maxAutoInc));
        db.u8(kMarker56, 0x20);
        const unsigned word = version >= 12 ? 0x010C : version >= 10 ? 0x010B : 0x0109;
        db.u16(kVersionWord, word);
        db.u16(kVersionWord + 2, word);
        db.u32(kUpdateTime, updateTime);
        db.u16(kFieldCountPlusOne, static_cast<unsigned>(nf + 1));
        db.u16(kFieldNumbersOffset, static_cast<unsigned>(fieldNumbersPos - kFixedHeaderEnd));
        db.u16(kCodePage, static_cast<unsigned>(o.codePage));
        db.u8(kUnknown6C, 1);
        db.u8(kUnknown6C + 1, 1);
    }
    for (std::size_t i = 0; i < nf; ++i) {
        db.u8(base + 2 * i, static_cast<unsigned>(m_fields[i].type));
        db.u8(base + 2 * i + 1, descriptorSize(m_fields[i]));
        db.bytes(fieldNamePos[i], rawNames[i]);
    }
    const std::string tableName = fileNameOf(path).substr(0, nameLength - 1);
    db.bytes(namePos, tableName);
    if (extended) {
        for (std::size_t i = 0; i < nf; ++i)
            db.u16(fieldNumbersPos + 2 * i, static_cast<unsigned>(i + 1));
        db.bytes(fieldNumbersPos + 2 * nf, o.sortOrder);
    }

    struct BlockInfo {
        std::uint16_t number;
        std::uint16_t count;
        const std::byte* firstRecord;
    };
    std::vector<BlockInfo> dataBlocks;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t firstRec = b * perBlock;
        const std::size_t count = std::min(perBlock, n - firstRec);
        std::byte* blk = db.at(headerSize + b * blockSize);
        coding::storeLE16(blk, static_cast<std::uint16_t>(b + 1 < blocks ? b + 2 : 0));
        coding::storeLE16(blk + 2, static_cast<std::uint16_t>(b));
        coding::storeLE16(blk + 4, static_cast<std::uint16_t>((count - 1) * m_recordSize));
        for (std::size_t r = 0; r < count; ++r)
            std::memcpy(blk + kBlockHeaderSize + r * m_recordSize,
                        m_records.data() + order[firstRec + r] * m_recordSize, m_recordSize);
        dataBlocks.push_back({static_cast<std::uint16_t>(b + 1), static_cast<std::uint16_t>(count),
                              blk + kBlockHeaderSize});
    }

    std::vector<std::byte> pxBytes;
    if (keyed) {
        std::vector<IndexEntry> leaves;
        for (const BlockInfo& b : dataBlocks)
            leaves.push_back({b.firstRecord, b.number, b.count});
        std::vector<Descriptor> keyFields;
        for (int i = 0; i < o.keyFields; ++i)
            keyFields.push_back({static_cast<std::uint8_t>(m_fields[static_cast<std::size_t>(i)].type),
                                 descriptorSize(m_fields[static_cast<std::size_t>(i)])});
        Status st = buildBlockIndex(o, kPrimaryIndex, keyFields, m_keyLength, leaves,
                                    fileNameOf(withExtension(path, ".PX", ".px")), 1, &pxBytes);
        if (!st.isOk())
            return st;
    }

    std::vector<BuiltIndex> indexes;
    if (!o.indexes.empty()) {
        if (!extended)
            return Status::invalidArgument("secondary indexes are written for tables of version 4.x and later");
        Header table;
        Status st = parseHeader(db.data(), &table);
        if (!st.isOk())
            return st;
        std::vector<PlacedRecord> records;
        for (const BlockInfo& b : dataBlocks)
            for (std::uint16_t r = 0; r < b.count; ++r)
                records.push_back({b.firstRecord + static_cast<std::size_t>(r) * m_recordSize, b.number, r});
        int named = 0;
        for (const IndexDefinition& wanted : o.indexes) {
            if (wanted.fields.empty())
                return Status::invalidArgument("an index needs at least one field");
            std::string upper, lower;
            if (wanted.name.empty()) {
                if (wanted.fields.size() != 1 || wanted.descending || wanted.caseInsensitive || wanted.unique)
                    return Status::invalidArgument("an index of several fields, or with options, needs a name");
                const int f = fieldIndexOf(wanted.fields.front());
                if (f < 0 || f >= 9)
                    return Status::invalidArgument("an index without a name is of one of the first nine fields");
                upper = ".X0" + std::to_string(f + 1);
                lower = ".x0" + std::to_string(f + 1);
            } else {
                if (named >= 10)
                    return Status::invalidArgument("at most ten named indexes");
                upper = ".XG" + std::to_string(named);
                lower = ".xg" + std::to_string(named++);
            }
            BuiltIndex built;
            std::string yUpper = upper, yLower = lower;
            yUpper[1] = 'Y';
            yLower[1] = 'y';
            st = buildSecondaryIndex(o, wanted, withExtension(path, upper.c_str(), lower.c_str()),
                                     withExtension(path, yUpper.c_str(), yLower.c_str()), m_fields, table,
                                     updateTime, records, &built);
            if (!st.isOk())
                return st;
            indexes.push_back(std::move(built));
        }
    }

    const std::string pxPath = withExtension(path, ".PX", ".px");
    std::vector<std::string> paths{path};
    if (keyed)
        paths.push_back(pxPath);
    for (const BuiltIndex& index : indexes) {
        paths.push_back(index.xPath);
        paths.push_back(index.yPath);
    }
    for (const std::string& p : paths) {
        std::unique_ptr<File> existing;
        if (fs.open(p, OpenMode::ReadOnly, &existing).code() != Status::Code::NotFound)
            return Status::ioError(p + ": the file exists already");
    }
    Status st = fs.createFile(path, db.data());
    if (st.isOk() && keyed)
        st = fs.createFile(pxPath, pxBytes);
    for (std::size_t i = 0; st.isOk() && i < indexes.size(); ++i) {
        st = fs.createFile(indexes[i].xPath, indexes[i].x);
        if (st.isOk())
            st = fs.createFile(indexes[i].yPath, indexes[i].y);
    }
    return st;
}

} // namespace paradox
