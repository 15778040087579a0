// libFuzzer target for the table reader.
//
// Every input is opened as a table and read through every typed accessor,
// then edited. Inputs whose header says they are a primary or secondary
// index, and any other bytes, are also put beside a valid keyed table as its
// .PX, .Xnn or .VAL, and that table is edited, key changes included. Besides
// the sanitizers' checks, two rules are enforced: an edit that is refused
// leaves every file as it was, and a table whose posts all succeeded opens
// again in key order with an index that still matches it.

#include "companion_table.h"
#include "memory_file_system.h"

#include "paradox/table.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

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

// Puts the input beside the companion table as `companion` and edits the
// table: a non-key field, then a key that moves its record across blocks,
// then a key that already exists.
void fuzzCompanion(const std::uint8_t* data, std::size_t size, const std::string& companion, bool matchStamp)
{
    MemoryFileSystem fs = companionTable();
    std::vector<std::byte>& bytes = fs.files[companion];
    bytes.assign(reinterpret_cast<const std::byte*>(data), reinterpret_cast<const std::byte*>(data) + size);
    // A .VAL is only read when it carries the table's structure stamp.
    if (matchStamp && size > 0)
        fs.files[kDb].at(0x2E) = bytes[0];

    std::unique_ptr<Table> t = openTable(fs);
    if (!t)
        fail("a table opens whatever its companions hold", Status::corruption(companion));
    readEverything(*t);
    const std::uint32_t last = t->recordCount() - 1;
    bool allPosted = tryPost(fs, *t, 5, fuzzing::kSizeField, 0.01).isOk();
    // 00:15 on day 0 becomes 23:50: the record moves to the end of its day.
    allPosted = tryPost(fs, *t, 0, fuzzing::kTimeField, 23.0 / 24 + 50.0 / 1440).isOk() && allPosted;
    // The first day's 23:15 moves before everything else.
    allPosted = tryPost(fs, *t, 22, fuzzing::kTimeField, 1.0 / 1440).isOk() && allPosted;
    // The last record, at 05:15 on the second day, takes the key of the one
    // before it.
    const Status dup = tryPost(fs, *t, last, fuzzing::kTimeField, 4.0 / 24 + 15.0 / 1440);
    if (dup.isOk())
        fail("a duplicate key is refused", dup);
    if (!t->close().isOk() || !allPosted)
        return;

    // Every post went through: the table must still be whole and in key
    // order, and its index must still match it.
    t = openTable(fs);
    if (!t)
        fail("a table opens after posts", Status::corruption(kDb));
    readEverything(*t);
    std::pair<DateTime, DateTime> previous{-1e300, -1e300};
    for (t->first(); !t->eof(); t->next()) {
        std::pair<DateTime, DateTime> key;
        (void)t->readDateTime(fuzzing::kDateField, &key.first);
        (void)t->readDateTime(fuzzing::kTimeField, &key.second);
        if (key <= previous)
            fail("posts keep the key order", Status::corruption(kDb));
        previous = key;
    }
    t->first();
    const Status again = t->edit();
    if (!again.isOk())
        fail("the index still matches after posts", again);
    t->cancel();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzTable(data, size);
    const unsigned type = size > 4 ? data[4] : 0xFF;
    switch (type) {
    case 0:
    case 2:
        break;  // a table: read above
    case 1:
        fuzzCompanion(data, size, "db/T.px", false);
        break;
    case 3:
    case 5:
        fuzzCompanion(data, size, "db/T.X04", false);
        break;
    case 6:
    case 8:
        fuzzCompanion(data, size, "db/T.XG0", false);
        break;
    default:
        fuzzCompanion(data, size, "db/T.VAL", true);
        break;
    }
    return 0;
}
