// libFuzzer target for the table reader.
//
// Every input is opened as a table and read through every typed accessor,
// then edited. Inputs whose header says they are a primary index, a secondary
// index or its .Y, and any other bytes, are also put beside a valid keyed
// table in place of its .PX, .Xnn, .Ynn, .XGn, .YGn or as its .VAL, and that
// table is edited, key changes included, and its posts written; keyed tables
// take that table's place beside its indexes and are edited so. Besides the
// sanitizers' checks, these rules are enforced: an edit or a transaction that
// is refused leaves every file as it was, and a table whose posts were all
// written opens again in key order with a primary index that still matches it
// and secondary indexes that pass their check.

#include "companion_table.h"
#include "memory_file_system.h"

#include "paradox/coding.h"
#include "paradox/format.h"
#include "paradox/table.h"
#include "paradox/transaction.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using paradox::DateTime;
using paradox::Status;
using paradox::Table;
using testsupport::MemoryFileSystem;

constexpr const char* kDb = "db/T.db";

void fail(const char* rule, const Status& st)
{
    std::fprintf(stderr, "broken rule: %s (%s)\n", rule, st.message().c_str());
    std::abort();
}

std::unique_ptr<Table> openTable(MemoryFileSystem& fs)
{
    Table::Options o;
    o.fileSystem = &fs;
    std::unique_ptr<Table> t;
    if (!Table::open(kDb, o, &t).isOk())
        return nullptr;
    return t;
}

// Reads every field of every record every way the API allows.
std::size_t readEverything(Table& t)
{
    std::size_t sink = static_cast<std::size_t>(t.version() + t.blockSize() + t.codePage() + t.keyFieldCount());
    const int n = static_cast<int>(t.fields().size());
    for (const paradox::Field& f : t.fields())
        sink += static_cast<std::size_t>(t.fieldIndex(f.name));
    std::uint32_t records = 0;
    for (t.first(); !t.eof(); t.next()) {
        ++records;
        for (int i = 0; i < n; ++i) {
            sink += t.isNull(i);
            const paradox::Value v = t.value(i);
            sink += v.text.size() + static_cast<std::size_t>(v.integer) + static_cast<std::size_t>(v.real != 0);
            DateTime dt = 0;
            if (t.readDateTime(i, &dt).isOk())
                sink += static_cast<std::size_t>(dt != 0);
            std::int64_t whole = 0;
            if (t.readInteger(i, &whole).isOk())
                sink += static_cast<std::size_t>(whole);
        }
    }
    if (records != t.recordCount())
        fail("a walk meets every record once", Status::corruption(std::to_string(records) + " records met"));
    return sink;
}

// Edits one field of the record at `position` and posts it. A refusal must
// not have changed a byte of any file.
Status tryPost(MemoryFileSystem& fs, Table& t, std::uint32_t position, int field, DateTime value)
{
    t.first();
    for (std::uint32_t i = 0; i < position && !t.eof(); ++i)
        t.next();
    const auto before = fs.files;
    Status st = t.edit();
    if (st.isOk())
        st = t.setDateTime(field, value);
    if (st.isOk())
        st = t.post();
    if (!st.isOk()) {
        t.cancel();
        if (fs.files != before)
            fail("a refused edit writes nothing", st);
    }
    return st;
}

void fuzzTable(const std::uint8_t* data, std::size_t size)
{
    MemoryFileSystem fs;
    fs.files[kDb].assign(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
    std::unique_ptr<Table> t = openTable(fs);
    if (!t)
        return;
    readEverything(*t);
    if (t->recordCount() == 0)
        return;
    for (int i = 0; i < static_cast<int>(t->fields().size()); ++i) {
        const paradox::FieldType type = t->fields()[static_cast<std::size_t>(i)].type;
        if (type != paradox::FieldType::Date && type != paradox::FieldType::Time &&
            type != paradox::FieldType::Timestamp)
            continue;
        (void)tryPost(fs, *t, 0, i, 46000.75);
        (void)tryPost(fs, *t, t->recordCount() - 1, i, 0.5);
        break;
    }
    (void)t->close();
}

const MemoryFileSystem& companionTable()
{
    static const MemoryFileSystem built = [] {
        MemoryFileSystem fs;
        if (!fuzzing::buildCompanionTable(&fs, kDb))
            fail("the companion table builds", Status::invalidArgument("TableBuilder failed"));
        return fs;
    }();
    return built;
}

// Whether the records of the table in `bytes`, which opened, have strictly
// increasing keys in chain order.
bool inKeyOrder(std::span<const std::byte> bytes)
{
    namespace format = paradox::format;
    format::Header h;
    if (!format::parseHeader(bytes, &h).isOk())
        return false;
    std::size_t keyLength = 0;
    for (std::size_t i = 0; i < h.keyFields; ++i)
        keyLength += h.fields[i].length;
    const std::byte* previous = nullptr;
    for (std::uint16_t blk = h.firstBlock; blk != 0;) {
        const std::byte* b = bytes.data() + h.blockOffset(blk);
        const int n = format::recordsInBlock(static_cast<std::int16_t>(paradox::coding::loadLE16(b + 4)),
                                             h.recordSize, h.blockSize);
        for (int i = 0; i < n; ++i) {
            const std::byte* r = b + format::kBlockHeaderSize + static_cast<std::size_t>(i) * h.recordSize;
            if (previous && std::memcmp(previous, r, keyLength) >= 0)
                return false;
            previous = r;
        }
        blk = paradox::coding::loadLE16(b);
    }
    return true;
}

// Edits the companion table, or a table in its place: a non-key field, then
// keys that move records across blocks, then (on the companion table itself)
// a key that already exists.
void fuzzEdits(MemoryFileSystem& fs, bool companionData)
{
    std::unique_ptr<Table> t = openTable(fs);
    if (!t) {
        if (companionData)
            fail("a table opens whatever its companions hold", Status::corruption(kDb));
        return;
    }
    readEverything(*t);
    if (t->fields().size() <= fuzzing::kSizeField || t->recordCount() == 0)
        return;
    const std::uint32_t last = t->recordCount() - 1;
    bool allPosted = tryPost(fs, *t, 5, fuzzing::kSizeField, 0.01).isOk();
    // 00:15 on day 0 becomes 23:50: the record moves to the end of its day.
    allPosted = tryPost(fs, *t, 0, fuzzing::kTimeField, 23.0 / 24 + 50.0 / 1440).isOk() && allPosted;
    // The first day's 23:15 moves before everything else.
    allPosted = tryPost(fs, *t, 22, fuzzing::kTimeField, 1.0 / 1440).isOk() && allPosted;
    // The last record, at 05:15 on the second day, takes the key of the one
    // before it.
    const Status dup = tryPost(fs, *t, last, fuzzing::kTimeField, 4.0 / 24 + 15.0 / 1440);
    if (companionData && dup.isOk())
        fail("a duplicate key is refused", dup);
    if (!allPosted) {
        (void)t->close();
        return;
    }
    const auto before = fs.files;
    paradox::Transaction tx(fs, "fuzz.jnl");
    Status written = tx.add(*t);
    if (written.isOk())
        written = tx.commit();
    if (!t->close().isOk())
        return;
    if (!written.isOk()) {
        if (fs.files != before)
            fail("a refused transaction writes nothing", written);
        return;
    }

    // Every post went through: the table must still be whole and in key
    // order, and its index must still match it.
    t = openTable(fs);
    if (!t)
        fail("a table opens after posts", Status::corruption(kDb));
    readEverything(*t);
    if (t->keyed() && !inKeyOrder(fs.files[kDb]))
        fail("posts keep the key order", Status::corruption(kDb));
    t->first();
    const Status again = t->edit();
    if (!again.isOk())
        fail("the index still matches after posts", again);
    t->cancel();
    const Status secondary = t->checkSecondaryIndexes();
    if (!secondary.isOk())
        fail("the secondary indexes still match after posts", secondary);
}

// Puts the input beside the companion table as `companion`.
void fuzzCompanion(const std::uint8_t* data, std::size_t size, const std::string& companion, bool matchStamp)
{
    MemoryFileSystem fs = companionTable();
    std::vector<std::byte>& bytes = fs.files[companion];
    bytes.assign(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
    // A .VAL is only read when it carries the table's structure stamp.
    if (matchStamp && size > 0)
        fs.files[kDb].at(0x2E) = bytes[0];
    fuzzEdits(fs, true);
}

// Puts the input in the companion table's place, beside its primary index:
// records out of order, duplicate keys and the like meet the key-change code.
void fuzzKeyedTable(const std::uint8_t* data, std::size_t size)
{
    MemoryFileSystem fs = companionTable();
    fs.files[kDb].assign(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
    fuzzEdits(fs, false);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzTable(data, size);
    const unsigned type = size > 4 ? data[4] : 0xFF;
    switch (type) {
    case 0:
        fuzzKeyedTable(data, size);
        break;
    case 2:
        break; // an unkeyed table: read and edited above
    case 1:
        fuzzCompanion(data, size, "db/T.px", false);
        break;
    case 3:
    case 5:
        fuzzCompanion(data, size, "db/T.x05", false);
        break;
    case 4:
        fuzzCompanion(data, size, "db/T.y05", false);
        break;
    case 6:
    case 8:
        fuzzCompanion(data, size, "db/T.xg0", false);
        break;
    case 7:
        fuzzCompanion(data, size, "db/T.yg0", false);
        break;
    default:
        fuzzCompanion(data, size, "db/T.VAL", true);
        break;
    }
    return 0;
}
