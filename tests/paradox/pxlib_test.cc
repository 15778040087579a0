// Tables the library creates, and the same tables after posts, read back by
// pxlib, an independent reader, through its public API only.

extern "C" {
#include <paradox.h>
}

#include "test_support.h"

#include "paradox/codepage.h"
#include "paradox/table.h"
#include "paradox/table_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

namespace {

using paradox::DateTime;
using paradox::FieldType;
using paradox::Status;
using paradox::Value;
using testsupport::TempDir;

// ---- pxlib ----

// What pxlib reported and allocated while one reader was open. pxlib's
// callbacks carry no context of their own, and the tests run one at a time.
struct PxContext {
    std::vector<std::string> errors;
    std::set<void*> live;
    int unknownFrees = 0;
};
PxContext* g_px = nullptr;

void pxError(pxdoc_t*, int level, const char* msg, void*)
{
    g_px->errors.push_back(std::to_string(level) + ": " + msg);
}
void* pxAlloc(pxdoc_t*, size_t size, const char*)
{
    void* p = std::malloc(size);
    g_px->live.insert(p);
    return p;
}
void* pxRealloc(pxdoc_t*, void* mem, size_t size, const char*)
{
    g_px->live.erase(mem);
    void* p = std::realloc(mem, size);
    g_px->live.insert(p);
    return p;
}
// Frees only what pxlib handed out and is still live, and counts attempts
// at anything else, so that a mistake in freeing its values shows up as a
// failed expectation instead of a double free.
void pxFree(pxdoc_t*, void* mem)
{
    if (!mem)
        return;
    if (g_px->live.erase(mem) == 0) {
        ++g_px->unknownFrees;
        return;
    }
    std::free(mem);
}

bool isLongType(int type)
{
    return type == pxfShort || type == pxfLong || type == pxfDate || type == pxfTime || type == pxfLogical ||
           type == pxfAutoInc;
}
const auto isDoubleType = [](int type) { return type == pxfTimestamp || type == pxfNumber || type == pxfCurrency; };

struct Cell {
    int type = 0;
    bool null = true;
    long integer = 0;
    double real = 0;
    std::string text;
};

// An entry of the primary index as pxlib parsed it.
struct PxIndexEntry {
    int level = 0;
    int block = 0; // data block (level 1) or index block
    int count = 0;
    std::string key;
};

struct PxRead {
    std::vector<std::string> errors;
    std::vector<PxIndexEntry> index;
    int unknownFrees = 0;
    int numRecords = -1;
    std::vector<std::string> fieldNames;
    std::vector<std::vector<Cell>> rows;
};

// Opens `db` (with its primary index `px` when given) and retrieves every record.
PxRead readWithPxlib(const std::string& db, const std::string& px)
{
    PxContext ctx;
    g_px = &ctx;
    PxRead out;
    pxdoc_t* doc = PX_new2(pxError, pxAlloc, pxRealloc, pxFree);
    pxdoc_t* index = nullptr;
    if (PX_open_file(doc, db.c_str()) < 0) {
        ctx.errors.push_back("PX_open_file failed for " + db);
    } else {
        bool ok = true;
        if (!px.empty()) {
            index = PX_new2(pxError, pxAlloc, pxRealloc, pxFree);
            ok = PX_open_file(index, px.c_str()) == 0 && PX_read_primary_index(index) == 0 &&
                 PX_add_primary_index(doc, index) == 0;
            if (!ok) {
                ctx.errors.push_back("reading the primary index " + px + " failed");
            } else {
                const auto* entries = static_cast<const pxpindex_t*>(index->px_data);
                const auto keyLength = static_cast<std::size_t>(PX_get_recordsize(index) - 6);
                for (int e = 0; e < index->px_datalen; ++e)
                    out.index.push_back({entries[e].level, entries[e].blocknumber, entries[e].numrecords,
                                         std::string(entries[e].data, keyLength)});
            }
        }
        out.numRecords = PX_get_num_records(doc);
        const int numFields = PX_get_num_fields(doc);
        for (int f = 0; f < numFields; ++f)
            out.fieldNames.push_back(PX_get_field(doc, f)->px_fname);
        for (int r = 0; ok && r < out.numRecords; ++r) {
            pxval_t** values = PX_retrieve_record(doc, r);
            if (!values) {
                ctx.errors.push_back("record " + std::to_string(r) + " cannot be retrieved");
                break;
            }
            std::vector<Cell> row;
            for (int f = 0; f < numFields; ++f) {
                pxval_t* v = values[f];
                Cell c;
                c.type = v->type;
                c.null = v->isnull != 0;
                if (isLongType(v->type)) {
                    c.integer = v->value.lval;
                } else if (isDoubleType(v->type)) {
                    c.real = v->value.dval;
                } else {
                    if (!c.null && v->value.str.val)
                        c.text.assign(v->value.str.val, static_cast<std::size_t>(v->value.str.len));
                    pxFree(doc, v->value.str.val);
                }
                pxFree(doc, v);
                row.push_back(std::move(c));
            }
            pxFree(doc, values);
            out.rows.push_back(std::move(row));
        }
        PX_close(doc);
    }
    PX_delete(doc);
    if (index) {
        PX_close(index);
        PX_delete(index);
    }
    out.errors = std::move(ctx.errors);
    out.unknownFrees = ctx.unknownFrees;
    g_px = nullptr;
    return out;
}

// ---- The tables ----

// The fields of a table of the version: every type the builder writes there.
// The key is the first two (3.x, 4.x) or three (5.x, 7.x) fields.
std::vector<paradox::FieldDefinition> fieldsFor(int version)
{
    if (version >= 10)
        return {{"Day", FieldType::Date},        {"Slot", FieldType::Time},      {"Name", FieldType::Alpha, 40},
                {"Seq", FieldType::Short},       {"Amount", FieldType::Number},  {"Price", FieldType::Currency},
                {"Count", FieldType::Long},      {"Flag", FieldType::Logical},   {"Length", FieldType::Time},
                {"Stamp", FieldType::Timestamp}, {"Serial", FieldType::AutoInc}, {"Share", FieldType::Bcd, 2},
                {"Raw", FieldType::Bytes, 6},    {"Note", FieldType::Memo, 15}};
    std::vector<paradox::FieldDefinition> f = {{"Day", FieldType::Date},       {"Name", FieldType::Alpha, 40},
                                               {"Seq", FieldType::Short},      {"Amount", FieldType::Number},
                                               {"Price", FieldType::Currency}, {"Due", FieldType::Date}};
    if (version >= 5)
        f.push_back({"Note", FieldType::Memo, 15});
    return f;
}

Value make(Value::Kind kind, std::int64_t integer, double real = 0, std::string text = {})
{
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.real = real;
    v.text = std::move(text);
    return v;
}

constexpr std::int64_t kHour = 3'600'000;
constexpr std::int32_t kFirstDay = 739677; // 2026-03-02

// Record i: ten a day at odd hours; every seventh has its non-key fields blank.
std::vector<Value> recordFor(const std::vector<paradox::FieldDefinition>& fields, int keyFields, int i)
{
    const std::int64_t day = kFirstDay + i / 10;
    const std::int64_t slot = (i % 10 * 2 + 1) * kHour + i % 7 * 60'000;
    char name[16];
    std::snprintf(name, sizeof name, "n%04d", i);
    std::vector<Value> row;
    for (const paradox::FieldDefinition& f : fields) {
        const std::string& n = f.name;
        if (n == "Day")
            row.push_back(make(Value::Kind::Date, day));
        else if (n == "Slot")
            row.push_back(make(Value::Kind::Time, slot));
        else if (n == "Name") // text in the table's code page outside keys
            row.push_back(make(Value::Kind::Text, 0, 0, keyFields > 0 ? name : std::string("блок ") + name));
        else if (n == "Seq")
            row.push_back(make(Value::Kind::Integer, i - 50));
        else if (n == "Amount")
            row.push_back(make(Value::Kind::Float, 0, i * 1.5 - 7.25));
        else if (n == "Price")
            row.push_back(make(Value::Kind::Float, 0, i * 0.01));
        else if (n == "Count")
            row.push_back(make(Value::Kind::Integer, (i - 20) * 100'003));
        else if (n == "Flag")
            row.push_back(make(Value::Kind::Logical, i % 2));
        else if (n == "Length")
            row.push_back(make(Value::Kind::Time, i * 1000));
        else if (n == "Stamp")
            row.push_back(make(Value::Kind::Timestamp, 0, static_cast<double>(day * 86'400'000 + slot)));
        else if (n == "Serial")
            row.push_back(make(Value::Kind::Integer, i + 1));
        else if (n == "Share")
            row.push_back(make(Value::Kind::Decimal, 0, 0,
                               std::to_string(i - 30) + "." + std::to_string(10 + i % 90)));
        else if (n == "Raw")
            row.push_back(make(Value::Kind::Bytes, 0, 0, std::string{static_cast<char>(i), '\0', '\xff', 'x'}));
        else if (n == "Due")
            row.push_back(make(Value::Kind::Date, day + 30));
        else
            row.push_back({}); // Note: BLOBs stay blank
    }
    if (i % 7 == 3)
        for (std::size_t k = static_cast<std::size_t>(keyFields); k < row.size(); ++k)
            row[k] = {};
    return row;
}

struct Shape {
    const char* name;
    int version;
    int blockKiB;
    bool keyed;
    int records;
    int recordsPerBlock = 0;
    int indexBlockKiB = 0;
    int indexLevels = 0; // expected, keyed tables only
    // What pxlib reports on reading the .PX, where it disagrees.
    std::vector<std::string> indexErrors = {};
    friend void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }
};

class PxlibReads : public ::testing::TestWithParam<Shape> {
protected:
    void SetUp() override
    {
        const Shape& s = GetParam();
        fields = fieldsFor(s.version);
        keyFields = s.keyed ? (s.version >= 10 ? 3 : 2) : 0;
        paradox::CreateOptions o;
        o.version = s.version;
        o.blockSizeKiB = s.blockKiB;
        o.keyFields = keyFields;
        o.recordsPerBlock = s.recordsPerBlock;
        o.indexBlockSizeKiB = s.indexBlockKiB;
        o.codePage = 1251;
        o.sortOrder = "ascii";
        o.sortOrderCode = 0;
        o.updateTime = 1700000000;
        std::unique_ptr<paradox::TableBuilder> b;
        ASSERT_TRUE(paradox::TableBuilder::create(fields, o, &b).isOk());
        for (int i = 0; i < s.records; ++i) {
            expected.push_back(recordFor(fields, keyFields, i));
            ASSERT_TRUE(b->addRecord(expected.back()).isOk());
        }
        const Status st = b->write(db);
        ASSERT_TRUE(st.isOk()) << st.message();
        if (s.keyed)
            EXPECT_EQ(std::to_integer<int>(testsupport::readFile(px).at(0x20)), s.indexLevels);
        sortByKey();
    }

    int field(const std::string& name) const
    {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == name)
                return static_cast<int>(i);
        return -1;
    }

    // Keyed tables hold their records in key order: by day, then slot (or
    // name); the names are ASCII, so their order is their bytes' order.
    void sortByKey()
    {
        if (keyFields == 0)
            return;
        const int second = field(GetParam().version >= 10 ? "Slot" : "Name");
        std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
            auto key = [&](const std::vector<Value>& r) {
                return std::make_tuple(r[0].integer, r[static_cast<std::size_t>(second)].integer,
                                       r[static_cast<std::size_t>(second)].text);
            };
            return key(a) < key(b);
        });
    }

    void expectPxlibSees(const char* stage)
    {
        SCOPED_TRACE(stage);
        const Shape& shape = GetParam();
        PxRead read = readWithPxlib(db, shape.keyed ? px : std::string());
        if (!shape.indexErrors.empty()) {
            std::vector<std::string> expectedErrors = shape.indexErrors;
            expectedErrors.push_back("reading the primary index " + px + " failed");
            EXPECT_EQ(read.errors, expectedErrors);
            read = readWithPxlib(db, {}); // then the records without the index
        }
        EXPECT_EQ(read.errors, std::vector<std::string>{});
        EXPECT_EQ(read.unknownFrees, 0);
        ASSERT_EQ(read.numRecords, static_cast<int>(expected.size()));
        ASSERT_EQ(read.rows.size(), expected.size());
        for (std::size_t f = 0; f < fields.size(); ++f)
            EXPECT_EQ(read.fieldNames.at(f), fields[f].name);
        if (shape.keyed && shape.indexErrors.empty())
            expectIndexKeysAreFirstKeys(read.index);
        for (std::size_t r = 0; r < expected.size(); ++r)
            for (std::size_t f = 0; f < fields.size(); ++f)
                expectSame(read.rows[r][f], expected[r][f], fields[f],
                           "record " + std::to_string(r) + " field " + fields[f].name);
    }

    // Each lowest-level entry of the index, as pxlib reads it, holds the key
    // of the first record of its data block, and the counts add up.
    void expectIndexKeysAreFirstKeys(const std::vector<PxIndexEntry>& index) const
    {
        const std::vector<std::byte> bytes = testsupport::readFile(db);
        const std::size_t headerSize = std::to_integer<std::size_t>(bytes.at(2)) |
                                       std::to_integer<std::size_t>(bytes.at(3)) << 8;
        const std::size_t blockSize = std::to_integer<std::size_t>(bytes.at(5)) * 1024;
        int records = 0, leaves = 0;
        for (const PxIndexEntry& e : index) {
            if (e.level != 1)
                continue;
            ++leaves;
            records += e.count;
            const std::size_t first = headerSize + static_cast<std::size_t>(e.block - 1) * blockSize + 6;
            ASSERT_LE(first + e.key.size(), bytes.size());
            EXPECT_EQ(e.key, std::string(reinterpret_cast<const char*>(bytes.data() + first), e.key.size()))
                << "index entry for data block " << e.block;
        }
        EXPECT_GT(leaves, 0);
        EXPECT_EQ(records, static_cast<int>(expected.size()));
    }

    static void expectSame(const Cell& got, const Value& want, const paradox::FieldDefinition& field,
                           const std::string& where)
    {
        SCOPED_TRACE(where);
        EXPECT_EQ(got.type, static_cast<int>(field.type));
        if (want.kind == Value::Kind::Null) {
            // pxlib 0.6.8 tests 4-byte blanks with a 64-bit long and returns
            // them as the most negative 32-bit value; PX_retrieve_record
            // returns blank 8-byte numbers as 0 without marking them null.
            if (got.type == pxfDate || got.type == pxfTime || got.type == pxfLong || got.type == pxfAutoInc)
                EXPECT_TRUE(got.null || got.integer == -2147483648L) << got.integer;
            else if (isDoubleType(got.type))
                EXPECT_TRUE(got.null || got.real == 0.0) << got.real;
            else
                EXPECT_TRUE(got.null);
            return;
        }
        // pxlib also takes a Bytes value whose first byte is zero for blank.
        if (field.type == FieldType::Bytes && want.text[0] == '\0' && got.null)
            return;
        ASSERT_FALSE(got.null);
        switch (field.type) {
        case FieldType::Alpha: {
            std::string raw;
            ASSERT_TRUE(paradox::fromUtf8(want.text, 1251, &raw).isOk());
            EXPECT_EQ(got.text, raw);
            break;
        }
        case FieldType::Number:
        case FieldType::Currency:
        case FieldType::Timestamp:
            EXPECT_EQ(got.real, want.real);
            break;
        case FieldType::Bcd:
            EXPECT_EQ(got.text, want.text);
            break;
        case FieldType::Bytes: {
            std::string padded = want.text;
            padded.resize(static_cast<std::size_t>(field.size), '\0');
            EXPECT_EQ(got.text, padded);
            break;
        }
        default: // Date, Time, Short, Long, Logical, AutoInc
            EXPECT_EQ(got.integer, want.integer);
        }
    }

    TempDir dir;
    std::string db = dir.file("grid.db");
    std::string px = dir.file("grid.px");
    std::vector<paradox::FieldDefinition> fields;
    int keyFields = 0;
    std::vector<std::vector<Value>> expected; // in table order
};

TEST_P(PxlibReads, CreatedTablesAndTablesAfterPosts)
{
    expectPxlibSees("as created");

    // Posts through the library: a non-key date or time on every third
    // record; on keyed tables also key changes that move every fifth record
    // to the end or the start of its day (5.x, 7.x) or days away (3.x, 4.x).
    const bool timeFields = GetParam().version >= 10;
    const int plain = field(timeFields ? "Length" : "Due");
    const int key = keyFields > 0 ? field(timeFields ? "Slot" : "Day") : -1;
    const int seqField = field("Seq");
    std::unique_ptr<paradox::Table> table;
    ASSERT_TRUE(paradox::Table::open(db, {}, &table).isOk());
    int visited = 0;
    for (table->first(); !table->eof(); table->next()) {
        ++visited;
        std::int64_t seq = 0;
        ASSERT_TRUE(table->readInteger(seqField, &seq).isOk());
        const int i = static_cast<int>(seq + 50);
        auto row = std::find_if(expected.begin(), expected.end(),
                                [&](const auto& r) { return r[static_cast<std::size_t>(seqField)].integer == seq; });
        ASSERT_NE(row, expected.end());
        Value& plainValue = (*row)[static_cast<std::size_t>(plain)];
        if (i % 3 == 0) {
            ASSERT_TRUE(table->edit().isOk());
            if (timeFields) {
                plainValue = make(Value::Kind::Time, 86'399'999 - i);
                const auto ms = static_cast<std::uint32_t>(plainValue.integer);
                ASSERT_TRUE(table->setDateTime(plain, paradox::dateTimeFromTimeMs(ms)).isOk());
            } else {
                plainValue = make(Value::Kind::Date, kFirstDay + 365 + i);
                const auto day = static_cast<std::int32_t>(plainValue.integer);
                ASSERT_TRUE(table->setDateTime(plain, paradox::dateTimeFromDayNumber(day)).isOk());
            }
            const Status st = table->post();
            ASSERT_TRUE(st.isOk()) << st.message();
        }
        if (key >= 0 && (i % 5 == 2 || i % 5 == 4)) {
            Value& keyValue = (*row)[static_cast<std::size_t>(key)];
            ASSERT_TRUE(table->edit().isOk());
            DateTime moved = 0;
            if (timeFields) { // 22:0i or 00:0i: unique within the day
                keyValue.integer = (i % 5 == 2 ? 22 * kHour : 0) + i % 10 * 60'000;
                moved = paradox::dateTimeFromTimeMs(static_cast<std::uint32_t>(keyValue.integer));
            } else { // names are unique, so any day will do
                keyValue.integer += i % 5 == 2 ? 3 : -2;
                moved = paradox::dateTimeFromDayNumber(static_cast<std::int32_t>(keyValue.integer));
            }
            ASSERT_TRUE(table->setDateTime(key, moved).isOk());
            const Status st = table->post();
            ASSERT_TRUE(st.isOk()) << st.message();
        }
    }
    EXPECT_EQ(visited, GetParam().records);
    const Status committed = testsupport::commitPosts(*table);
    ASSERT_TRUE(committed.isOk()) << committed.message();
    ASSERT_TRUE(table->close().isOk());
    sortByKey();

    expectPxlibSees("after posts");
}

// pxlib 0.6.8 sums the counts of every index block below the root as if
// they all were the lowest level (2 x 400 records), and refuses the index; it
// reads the records without it.
const std::vector<std::string> kThreeLevelErrors = {
    "100: The number of records coverd by index level 2 is unequal to level 1.",
    "3: Index file is for database with 800 records, but database has 400 records."};

const Shape kShapes[] = {
    {"v3x_1k_unkeyed", 4, 1, false, 40},
    {"v3x_2k_keyed", 4, 2, true, 60, 4, 0, 1},
    {"v4x_4k_unkeyed", 9, 4, false, 50},
    {"v4x_2k_keyed", 9, 2, true, 80, 5, 0, 1},
    {"v5x_2k_unkeyed", 11, 2, false, 45},
    {"v5x_16k_keyed", 11, 16, true, 120, 0, 0, 1},
    {"v7x_32k_unkeyed", 12, 32, false, 70},
    {"v7x_4k_keyed", 12, 4, true, 100, 3, 0, 1},
    // 1 KiB index blocks of 18 entries over one record per block.
    {"v7x_1k_keyed_two_levels", 12, 1, true, 100, 1, 1, 2},
    {"v7x_1k_keyed_three_levels", 12, 1, true, 400, 1, 1, 3, kThreeLevelErrors},
};

INSTANTIATE_TEST_SUITE_P(Shapes, PxlibReads, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

} // namespace
