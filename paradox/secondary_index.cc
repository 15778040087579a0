#include "paradox/secondary_index.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/table_impl.h"

#include <algorithm>
#include <cstring>

namespace paradox {

using coding::sameBytes;
namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Types whose sortable encoding orders them byte by byte (section on field
// encodings): blank, all zeros, first.
bool ordersByBytes(std::uint8_t type)
{
    switch (static_cast<FieldType>(type)) {
    case FieldType::Date:
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Currency:
    case FieldType::Number:
    case FieldType::Logical:
    case FieldType::Time:
    case FieldType::Timestamp:
    case FieldType::AutoInc:
        return true;
    default:
        return false;
    }
}

bool sameDescriptor(const format::FieldDescriptor& a, const format::FieldDescriptor& b)
{
    return a.type == b.type && a.size == b.size;
}

// memcmp for the few bytes of index columns: most runs are 2 to 8 bytes,
// compared millions of times, where a library call costs more than the work.
inline int compareBytes(const std::byte* a, const std::byte* b, std::size_t n)
{
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        const std::uint64_t x = coding::loadBE(a, 8), y = coding::loadBE(b, 8);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (n == 0)
        return 0;
    const std::uint64_t x = coding::loadBE(a, static_cast<int>(n)), y = coding::loadBE(b, static_cast<int>(n));
    return x < y ? -1 : x > y ? 1 : 0;
}

std::string hexByte(unsigned v)
{
    static const char* hex = "0123456789ABCDEF";
    return std::string("0x") + hex[(v >> 4) & 15] + hex[v & 15];
}

} // namespace

// ---- IndexLayout ----

Status IndexLayout::describe(const format::Header& x, const format::Header& t, IndexLayout* out)
{
    IndexLayout l;
    if (!format::isSecondaryIndexType(x.fileType))
        return Status::corruption("file type " + std::to_string(x.fileType) + " is not a secondary index's");
    if (!x.hasExtension() || x.fieldNumbers.size() != x.fields.size())
        return Status::corruption("its header does not say which fields it holds");
    l.m_keyed = t.fileType == format::kKeyedTable;
    const std::size_t nx = x.fields.size();
    const std::size_t trailing = l.m_keyed ? static_cast<std::size_t>(t.keyFields) + 1 : 3;
    if (nx <= trailing)
        return Status::corruption("it has " + std::to_string(nx) + " fields, too few to index a field of the table");
    l.m_indexed = static_cast<int>(nx - trailing);
    if (x.keyFields != nx - 1)
        return Status::corruption("it sorts on " + std::to_string(x.keyFields) + " of its " + std::to_string(nx) +
                                  " fields");
    const unsigned options = x.indexOptions;
    if ((options & ~(format::kIndexCaseInsensitive | format::kIndexDescending | format::kIndexUnique)) != 0)
        return Status::corruption("it has the unknown options " + hexByte(options));
    l.m_unique = (options & format::kIndexUnique) != 0;
    const bool caseInsensitive = (options & format::kIndexCaseInsensitive) != 0;

    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < nx; ++i) {
        const format::FieldDescriptor& d = x.fields[i];
        Column c;
        c.offset = offset;
        c.length = d.length;
        c.type = d.type;
        offset += d.length;
        const std::uint16_t number = x.fieldNumbers[i];
        if (i < static_cast<std::size_t>(l.m_indexed)) {
            c.role = Role::Indexed;
            c.descending = (number & format::kDescendingField) != 0;
            const unsigned field = number & ~format::kDescendingField;
            if (field < 1 || field > t.fields.size())
                return Status::corruption("it names field " + std::to_string(field) + " of a table of " +
                                          std::to_string(t.fields.size()));
            c.tableField = static_cast<int>(field - 1);
            if (!sameDescriptor(d, t.fields[field - 1]))
                return Status::corruption("its field " + std::to_string(i + 1) + " differs from the table's field " +
                                          std::to_string(field));
            l.m_hasDescending = l.m_hasDescending || c.descending;
        } else {
            // The rest are numbered by their place in the entry.
            if (number != i + 1)
                return Status::corruption("its field " + std::to_string(i + 1) + " is numbered " +
                                          std::to_string(number));
            const std::size_t k = i - static_cast<std::size_t>(l.m_indexed);
            if (l.m_keyed && k < t.keyFields) {
                c.role = Role::Key;
                c.tableField = static_cast<int>(k);
                if (!sameDescriptor(d, t.fields[k]))
                    return Status::corruption("its field " + std::to_string(i + 1) +
                                              " differs from the table's key field " + std::to_string(k + 1));
            } else {
                static constexpr Role kUnkeyed[] = {Role::RecordNumber, Role::Block, Role::Place};
                c.role = l.m_keyed ? Role::Block : kUnkeyed[k];
                const FieldType expected = c.role == Role::RecordNumber ? FieldType::Long : FieldType::Short;
                if (d.type != static_cast<std::uint8_t>(expected))
                    return Status::corruption("its field " + std::to_string(i + 1) + " is not the " +
                                              (c.role == Role::RecordNumber ? "Long" : "Short") +
                                              " that points to records");
            }
        }
        if (c.tableField >= 0)
            c.recordOffset = t.fields[static_cast<std::size_t>(c.tableField)].offset;
        l.m_columns.push_back(c);
    }
    if (l.m_hasDescending != ((options & format::kIndexDescending) != 0))
        return Status::corruption("its options and its field numbers disagree on a descending order");
    if (x.indexedField != l.m_columns.front().tableField + 1)
        return Status::corruption("its header names field " + std::to_string(x.indexedField) + " as indexed, not " +
                                  std::to_string(l.m_columns.front().tableField + 1));
    l.m_entrySize = offset;
    l.m_sortKeyLength = offset - l.m_columns.back().length;
    if (l.m_keyed) {
        const Column& firstKey = l.m_columns[static_cast<std::size_t>(l.m_indexed)];
        l.m_keyOffset = firstKey.offset;
        l.m_keyLength = l.m_columns.back().offset - firstKey.offset;
    }

    const bool asciiOrder = foldCase(x.sortOrderName) == "ascii";
    for (std::size_t i = 0; i + 1 < nx && l.m_orderProblem.empty(); ++i) {
        const Column& c = l.m_columns[i];
        if (c.type == static_cast<std::uint8_t>(FieldType::Alpha)) {
            // Text keeps its bytes' order only in the plain byte order.
            if (caseInsensitive)
                l.m_orderProblem = "orders text without regard to letter case";
            else if (!asciiOrder)
                l.m_orderProblem = "orders text in sort order '" + x.sortOrderName + "'";
        } else if (!ordersByBytes(c.type)) {
            l.m_orderProblem = "orders a field of type " + hexByte(c.type);
        }
    }

    // Neighbouring columns that compare alike compare as one run of bytes.
    for (std::size_t i = 0; i + 1 < nx; ++i) {
        const Column& c = l.m_columns[i];
        const bool unknown = !l.m_orderProblem.empty() && !ordersByBytes(c.type);
        if (!l.m_runs.empty() && l.m_runs.back().descending == c.descending && !unknown &&
            !l.m_runs.back().unknownOrder)
            l.m_runs.back().length += c.length;
        else
            l.m_runs.push_back({c.offset, c.length, c.descending, unknown});
    }
    *out = std::move(l);
    return Status::ok();
}

int IndexLayout::compare(const std::byte* a, const std::byte* b) const
{
    for (const Run& r : m_runs) {
        const int c = compareBytes(a + r.offset, b + r.offset, r.length);
        if (c != 0)
            return r.descending ? -c : c;
    }
    return 0;
}

int IndexLayout::compareKnown(const std::byte* a, const std::byte* b, bool* unknown) const
{
    *unknown = false;
    for (const Run& r : m_runs) {
        const int c = compareBytes(a + r.offset, b + r.offset, r.length);
        if (c == 0)
            continue;
        if (r.unknownOrder) {
            *unknown = true;
            return 0;
        }
        return r.descending ? -c : c;
    }
    return 0;
}

std::uint64_t IndexLayout::sortPrefix(const std::byte* entry) const
{
    std::uint64_t v = 0;
    int filled = 0;
    for (const Run& r : m_runs) {
        if (r.unknownOrder)
            break;
        // A descending run's bytes, inverted, order the other way round.
        const unsigned flip = r.descending ? 0xFF : 0x00;
        for (std::uint32_t i = 0; i < r.length && filled < 8; ++i, ++filled)
            v = (v << 8) | (coding::u8(entry + r.offset + i) ^ flip);
        if (filled == 8)
            return v;
    }
    return filled == 0 ? 0 : v << (8 * (8 - filled));
}

bool IndexLayout::sameIndexed(const std::byte* a, const std::byte* b) const
{
    const std::size_t n = m_columns[static_cast<std::size_t>(m_indexed)].offset;
    return sameBytes(a, b, n);
}

bool IndexLayout::holdsValuesOf(const std::byte* entry, const std::byte* record) const
{
    for (int i = 0; i < m_indexed; ++i) {
        const Column& c = m_columns[static_cast<std::size_t>(i)];
        if (!sameBytes(entry + c.offset, record + c.recordOffset, c.length))
            return false;
    }
    return true;
}

bool IndexLayout::recordsDiffer(const std::byte* a, const std::byte* b) const
{
    for (const Column& c : m_columns)
        if (c.tableField >= 0 && !sameBytes(a + c.recordOffset, b + c.recordOffset, c.length))
            return true;
    return false;
}

void IndexLayout::fillFromRecord(const std::byte* record, std::byte* entry) const
{
    for (const Column& c : m_columns)
        if (c.tableField >= 0)
            std::memcpy(entry + c.offset, record + c.recordOffset, c.length);
}

std::int64_t IndexLayout::block(const std::byte* entry) const
{
    const Column& c = m_columns[m_columns.size() - (m_keyed ? 1 : 2)];
    return coding::decodeInt(entry + c.offset, 2);
}

void IndexLayout::setBlock(std::byte* entry, std::uint16_t block) const
{
    const Column& c = m_columns[m_columns.size() - (m_keyed ? 1 : 2)];
    coding::encodeInt(entry + c.offset, block, 2);
}

std::int64_t IndexLayout::place(const std::byte* entry) const
{
    return coding::decodeInt(entry + m_columns.back().offset, 2);
}

// ---- MaintainedIndex ----

Status MaintainedIndex::open(File* x, File* y, const format::Header& table, std::unique_ptr<MaintainedIndex>* out)
{
    std::unique_ptr<MaintainedIndex> index(new MaintainedIndex);
    index->m_x = x;
    const std::span<const std::byte> bytes = x->contents();
    Status st = format::parseHeader(bytes, &index->m_header);
    if (!st.isOk())
        return st;
    const format::Header& h = index->m_header;
    if (h.encryptionKey != 0)
        return Status::notSupported("it is encrypted");
    st = IndexLayout::describe(h, table, &index->m_layout);
    if (!st.isOk())
        return st;
    st = format::readChain(bytes, h, &index->m_chain, &index->m_entries);
    if (!st.isOk())
        return st;
    if (index->m_entries != h.numRecords)
        return Status::corruption("the header counts " + std::to_string(h.numRecords) +
                                  " entries but the blocks hold " + std::to_string(index->m_entries));
    const int yType = h.fileType == format::kSecondaryMaintained ? format::kSecondaryIndexIndex
                                                                 : format::kCompositeIndexIndex;
    st = PrimaryIndex::load(y, h, bytes, index->m_chain, &index->m_blocks, yType);
    if (!st.isOk())
        return st.withContext("its index of blocks");
    if (y->contents().size() <= format::kIndexStamp)
        return Status::corruption("its index of blocks is damaged");
    *out = std::move(index);
    return Status::ok();
}

std::size_t MaintainedIndex::entryOffset(std::uint32_t position) const
{
    if (m_chainHint >= m_chain.size() || position < m_chain[m_chainHint].firstSlot ||
        position >= m_chain[m_chainHint].firstSlot + m_chain[m_chainHint].count) {
        if (m_chainHint + 1 < m_chain.size() && position >= m_chain[m_chainHint + 1].firstSlot &&
            position < m_chain[m_chainHint + 1].firstSlot + m_chain[m_chainHint + 1].count) {
            ++m_chainHint;
        } else {
            auto it = std::upper_bound(m_chain.begin(), m_chain.end(), position,
                                       [](std::uint32_t p, const format::ChainBlock& b) { return p < b.firstSlot; });
            m_chainHint = static_cast<std::size_t>(it - m_chain.begin()) - 1;
        }
    }
    const format::ChainBlock& b = m_chain[m_chainHint];
    return m_header.blockOffset(b.number) + format::kBlockHeaderSize +
           static_cast<std::size_t>(position - b.firstSlot) * m_header.recordSize;
}

const std::byte* MaintainedIndex::entryAt(std::uint32_t position) const
{
    return m_x->contents().data() + entryOffset(position);
}

// A keyed table's entry names its record by key: the record sits in the
// block the entry gives, found there by its key.
Status MaintainedIndex::mapKeyedEntries(const Table::Impl& t)
{
    std::vector<std::int32_t> chainIndexOf(static_cast<std::size_t>(t.header.fileBlocks) + 1, -1);
    for (std::size_t i = 0; i < t.chain.size(); ++i)
        chainIndexOf[t.chain[i].number] = static_cast<std::int32_t>(i);
    const std::uint32_t keyOffset = m_layout.keyOffset(), keyLength = m_layout.keyLength();
    for (std::uint32_t p = 0; p < m_entries; ++p) {
        const std::byte* e = entryAt(p);
        const std::int64_t blk = m_layout.block(e);
        if (blk < 1 || blk > t.header.fileBlocks || chainIndexOf[static_cast<std::size_t>(blk)] < 0)
            return Status::corruption("entry " + std::to_string(p + 1) + " points to block " + std::to_string(blk) +
                                      ", which holds no records of the table");
        const format::ChainBlock& b = t.chain[static_cast<std::size_t>(chainIndexOf[static_cast<std::size_t>(blk)])];
        const std::byte* records = t.bytes().data() + t.header.blockOffset(b.number) + format::kBlockHeaderSize;
        auto recordAt = [&](std::uint32_t i) { return records + static_cast<std::size_t>(i) * t.header.recordSize; };
        std::uint32_t lo = 0, hi = b.count;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (std::memcmp(recordAt(mid), e + keyOffset, keyLength) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo == b.count || std::memcmp(recordAt(lo), e + keyOffset, keyLength) != 0)
            return Status::corruption("entry " + std::to_string(p + 1) + " names a record that block " +
                                      std::to_string(blk) + " does not hold");
        if (!m_layout.holdsValuesOf(e, recordAt(lo)))
            return Status::corruption("entry " + std::to_string(p + 1) + " holds other values than its record");
        lo += b.firstSlot;
        if (m_entryOfSlot[lo] != kNone)
            return Status::corruption("entries " + std::to_string(m_entryOfSlot[lo] + 1) + " and " +
                                      std::to_string(p + 1) + " name the same record");
        m_entryOfSlot[lo] = p;
        m_slotOfEntry[p] = lo;
    }
    return Status::ok();
}

// On a table without a key an entry names its record by block and place in
// the block. What the place counts is not documented, so the readings that
// make sense are tried in turn; one must fit every entry, or the index is not
// understood. The record's number is not needed: records never move here.
Status MaintainedIndex::mapEntriesByPlace(const Table::Impl& t)
{
    std::vector<std::int32_t> chainIndexOf(static_cast<std::size_t>(t.header.fileBlocks) + 1, -1);
    for (std::size_t i = 0; i < t.chain.size(); ++i)
        chainIndexOf[t.chain[i].number] = static_cast<std::int32_t>(i);
    for (std::uint32_t p = 0; p < m_entries; ++p) {
        const std::int64_t blk = m_layout.block(entryAt(p));
        if (blk < 1 || blk > t.header.fileBlocks || chainIndexOf[static_cast<std::size_t>(blk)] < 0)
            return Status::corruption("entry " + std::to_string(p + 1) + " points to block " + std::to_string(blk) +
                                      ", which holds no records of the table");
    }
    // The record's position in its block: counted from 0 or from 1, or the
    // byte offset of the record in the block's record area or in the block.
    const std::int64_t size = t.header.recordSize, blockHeader = format::kBlockHeaderSize;
    auto positionOf = [&](int reading, std::int64_t place) -> std::int64_t {
        switch (reading) {
        case 0:
            return place;
        case 1:
            return place - 1;
        case 2:
            return place % size == 0 ? place / size : -1;
        default:
            return (place - blockHeader) % size == 0 ? (place - blockHeader) / size : -1;
        }
    };
    for (int reading = 0; reading < 4; ++reading) {
        std::fill(m_entryOfSlot.begin(), m_entryOfSlot.end(), kNone);
        std::uint32_t p = 0;
        for (; p < m_entries; ++p) {
            const std::byte* e = entryAt(p);
            const format::ChainBlock& b =
                t.chain[static_cast<std::size_t>(chainIndexOf[static_cast<std::size_t>(m_layout.block(e))])];
            const std::int64_t at = positionOf(reading, m_layout.place(e));
            if (at < 0 || at >= b.count)
                break;
            const std::uint32_t slot = b.firstSlot + static_cast<std::uint32_t>(at);
            const std::byte* record = t.bytes().data() + t.header.blockOffset(b.number) + format::kBlockHeaderSize +
                                      static_cast<std::size_t>(at) * t.header.recordSize;
            if (m_entryOfSlot[slot] != kNone || !m_layout.holdsValuesOf(e, record))
                break;
            m_entryOfSlot[slot] = p;
            m_slotOfEntry[p] = slot;
        }
        if (p == m_entries)
            return Status::ok();
    }
    // Either the entries are stale or they count places in a way not known.
    return Status::corruption("its entries do not lead to records that hold their values");
}

Status MaintainedIndex::check(const Table::Impl& t)
{
    m_checked = false;
    if (m_entries != t.recordCount)
        return Status::corruption("it holds " + std::to_string(m_entries) + " entries for " +
                                  std::to_string(t.recordCount) + " records");
    m_slotOfEntry.assign(m_entries, kNone);
    m_entryOfSlot.assign(t.recordCount, kNone);
    Status st = m_layout.keyed() ? mapKeyedEntries(t) : mapEntriesByPlace(t);
    if (!st.isOk())
        return st;
    m_equalValues = false;
    const std::byte* prev = nullptr;
    for (std::uint32_t p = 0; p < m_entries; ++p) {
        const std::byte* e = entryAt(p);
        if (prev) {
            bool unknown = false;
            const int c = m_layout.compareKnown(prev, e, &unknown);
            if (c > 0 || (c == 0 && !unknown))
                return Status::corruption("entries " + std::to_string(p) + " and " + std::to_string(p + 1) +
                                          " are out of order");
            if (m_layout.sameIndexed(prev, e)) {
                if (m_layout.unique())
                    return Status::corruption("entries " + std::to_string(p) + " and " + std::to_string(p + 1) +
                                              " hold the same values in a unique index");
                m_equalValues = true;
            }
        }
        prev = e;
    }
    m_checked = true;
    return Status::ok();
}

Status MaintainedIndex::plan(const Table::Impl& t, const std::vector<std::uint32_t>* order, FileWrites* xOut,
                             FileWrites* yOut, std::uint32_t* changes) const
{
    *changes = 0;
    if (!m_checked)
        return Status::invalidArgument("the index was not checked against the table");
    const IndexLayout& l = m_layout;
    const std::size_t size = l.entrySize();

    // Where each record's block will be, when records move.
    std::vector<std::uint16_t> newBlock;
    if (order) {
        newBlock.resize(t.recordCount);
        for (const format::ChainBlock& b : t.chain)
            for (std::uint32_t s = b.firstSlot; s < b.firstSlot + b.count; ++s)
                newBlock[(*order)[s]] = b.number;
    }

    // The records whose entries take a new place: their values changed.
    std::vector<std::uint32_t> moving;
    for (std::uint32_t i = 0; i < t.staged.size(); ++i)
        if (l.recordsDiffer(t.staged.image(i), t.record(t.staged.slot(i))))
            moving.push_back(t.staged.slot(i));
    if ((!moving.empty() || order) && !l.orderProblem().empty())
        return Status::notSupported("it " + l.orderProblem() + ", which gridshift cannot reproduce");
    std::vector<std::byte> fresh(moving.size() * size);
    std::vector<bool> leaves(m_entries, false);
    for (std::size_t k = 0; k < moving.size(); ++k) {
        const std::uint32_t slot = moving[k];
        const std::uint32_t position = m_entryOfSlot[slot];
        std::byte* e = fresh.data() + k * size;
        std::memcpy(e, entryAt(position), size);
        l.fillFromRecord(t.view(slot), e);
        if (order)
            l.setBlock(e, newBlock[slot]);
        leaves[position] = true;
    }
    // Sorted on the leading bytes of their keys first: most never need more.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> byKey(moving.size());
    for (std::uint32_t k = 0; k < byKey.size(); ++k)
        byKey[k] = {l.sortPrefix(fresh.data() + k * size), k};
    std::sort(byKey.begin(), byKey.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return l.compare(fresh.data() + a.second * size, fresh.data() + b.second * size) < 0;
    });
    std::vector<std::uint32_t> sorted(moving.size());
    for (std::size_t k = 0; k < sorted.size(); ++k)
        sorted[k] = byKey[k].second;
    std::uint32_t changed = static_cast<std::uint32_t>(moving.size());

    // The entries staying in place and the moving ones, merged in order into
    // the index's blocks as they are: every block keeps its count, so no
    // block splits, grows or empties and the .Y keeps its shape.
    const std::span<const std::byte> now = m_x->contents();
    std::vector<std::byte> patched(size), previous(size);
    const std::byte* prev = nullptr;
    bool prevMoved = false;
    std::uint32_t p = 0;
    std::size_t m = 0;
    for (const format::ChainBlock& xb : m_chain) {
        for (std::uint32_t i = 0; i < xb.count; ++i) {
            while (p < m_entries && leaves[p])
                ++p;
            const std::byte* next = nullptr;
            bool isMoving = false;
            if (m < sorted.size() &&
                (p >= m_entries || l.compare(fresh.data() + sorted[m] * size, entryAt(p)) < 0)) {
                next = fresh.data() + sorted[m++] * size;
                isMoving = true;
            } else if (p < m_entries) {
                next = entryAt(p);
                if (order) {
                    const std::uint16_t blk = newBlock[m_slotOfEntry[p]];
                    if (l.block(next) != blk) {
                        std::memcpy(patched.data(), next, size);
                        l.setBlock(patched.data(), blk);
                        next = patched.data();
                        ++changed;
                    }
                }
                ++p;
            } else {
                return Status::corruption("entries went missing while planning the index");
            }
            if (prev && (isMoving || prevMoved) && l.sameIndexed(prev, next)) {
                if (l.unique())
                    return Status::keyViolation("Key violation");
                // Which of two equal values comes first is only known from
                // an index that already holds some.
                if (l.hasDescending() && !m_equalValues)
                    return Status::notSupported(
                        "two records would hold the same values in a descending index, whose order for them "
                        "gridshift cannot tell");
            }
            const std::size_t offset = m_header.blockOffset(xb.number) + format::kBlockHeaderSize +
                                       static_cast<std::size_t>(i) * size;
            const std::byte* old = now.data() + offset;
            std::size_t first = 0, last = size;
            while (first < size && old[first] == next[first])
                ++first;
            if (first < size) {
                while (old[last - 1] == next[last - 1])
                    --last;
                xOut->add(offset + first, next + first, last - first);
                if (i == 0) {
                    Status st = m_blocks->planFirstKey(xb.number, next, yOut);
                    if (!st.isOk())
                        return st;
                }
            }
            if (next == patched.data()) {
                std::memcpy(previous.data(), next, size);
                prev = previous.data();
            } else {
                prev = next;
            }
            prevMoved = isMoving;
        }
    }
    *changes = changed;
    return Status::ok();
}

} // namespace paradox
