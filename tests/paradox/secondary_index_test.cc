// Maintained secondary indexes kept in step with posts. Indexes the original
// tools wrote are changed and changed back; indexes of every kind the builder
// writes are compared with a fresh build of the changed records; and what
// cannot be kept right is refused before anything is written.
#include "table_fixtures.h"

#include "paradox/coding.h"
#include "paradox/transaction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using Bytes = std::vector<std::byte>;
using Files = std::map<std::string, Bytes>;
using fixtures::openTable;
using fixtures::patchByte;
using paradox::FieldType;
using paradox::IndexDefinition;
using paradox::Status;
using paradox::Table;
using testsupport::readFile;
using testsupport::TempDir;

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The bytes every post moves: the table's change counter and the stamps
// that follow it, and an index's own counter and the stamp of its .Y.
bool isStamp(const std::string& name, std::size_t offset)
{
    const std::string ext = lower(name.substr(name.find_last_of('.') + 1));
    if (ext == "db")
        return offset == 0x2D;
    if (ext == "px" || ext[0] == 'y')
        return offset == 0x2C;
    if (ext[0] == 'x')
        return offset == 0x2D || offset == 0x2F;
    return false;
}

// The table's files, the journal left out.
Files filesIn(const std::string& folder)
{
    Files out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (lower(e.path().extension().string()) != ".jnl")
            out[e.path().filename().string()] = readFile(e.path().string());
    return out;
}

void expectSameButStamps(const Files& expected, const Files& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [name, bytes] : expected) {
        SCOPED_TRACE(name);
        ASSERT_EQ(actual.count(name), 1u);
        std::vector<std::size_t> differ;
        for (std::size_t i : fixtures::differingOffsets(bytes, actual.at(name)))
            if (!isStamp(name, i))
                differ.push_back(i);
        EXPECT_EQ(differ, std::vector<std::size_t>{});
    }
}

int moved(const Files& before, const Files& after, const std::string& name, std::size_t offset)
{
    return (std::to_integer<int>(after.at(name).at(offset)) - std::to_integer<int>(before.at(name).at(offset)) +
            256) %
           256;
}

// Each index's stamps moved as the engine moves them: the .X's stamp of the
// table with the table's counter, the .Y's stamp with its .X's own counter.
void expectStampsFollow(const Files& before, const Files& after)
{
    std::string db;
    for (const auto& [name, bytes] : before)
        if (lower(name).ends_with(".db"))
            db = name;
    for (const auto& [name, bytes] : before) {
        const std::string ext = lower(name.substr(name.find_last_of('.') + 1));
        if (ext[0] != 'x')
            continue;
        SCOPED_TRACE(name);
        std::string y = name;
        y[y.size() - 3] = name[name.size() - 3] == 'X' ? 'Y' : 'y';
        EXPECT_EQ(moved(before, after, name, 0x2F), moved(before, after, db, 0x2D));
        EXPECT_EQ(moved(before, after, y, 0x2C), moved(before, after, name, 0x2D));
    }
}

// ---- Indexes written by the original tools ----

class SampleIndexes : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::samplesDir().empty())
            GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    }

    // Copies a table's family and returns the table's path. Its .VAL is left
    // out: those tables have referential integrity, which gridshift never
    // writes past, and the indexes are what is tried here.
    static std::string copy(const std::string& folder, const std::string& stem, const TempDir& to)
    {
        EXPECT_GE(testsupport::copyFamily(testsupport::samplesDir() + "/" + folder, stem, to.path()), 3);
        std::string db;
        for (const auto& e : std::filesystem::directory_iterator(to.path())) {
            const std::string ext = lower(e.path().extension().string());
            if (ext == ".val")
                std::filesystem::remove(e.path());
            else if (ext == ".db")
                db = e.path().string();
        }
        return db;
    }
};

TEST_F(SampleIndexes, TheOriginalToolsIndexesPassTheCheck)
{
    const char* families[][2] = {{"db", "CUSTOMER"}, {"db", "AREACODES"},   {"joins", "C"},
                                 {"joins", "fk1"},   {"joins", "fk2"},      {"joins", "fk3"},
                                 {"joins", "fk4"},   {"joins", "multiple"}, {"joins", "to_multiple"}};
    for (const auto& [folder, stem] : families) {
        SCOPED_TRACE(stem);
        TempDir scratch;
        auto table = openTable(copy(folder, stem, scratch));
        const Status st = table->checkSecondaryIndexes();
        EXPECT_TRUE(st.isOk()) << st.message();
    }

    // An entry pointing to another block than its record's is found out.
    TempDir dir;
    const std::string customer = copy("db", "CUSTOMER", dir);
    patchByte(dir.file("CUSTOMER.X06"), 0x800 + 6 + 20, 0x02); // 'Aptos', 12 is in block 3
    auto table = openTable(customer);
    EXPECT_EQ(table->checkSecondaryIndexes().message(),
              "CUSTOMER.X06: entry 1 names a record that block 2 does not hold");
}

// Whole-number fields, key fields among them, changed through the library
// and changed back: the indexes' entries move and come back, and in the end
// every file is as it was but for the change stamps.
TEST_F(SampleIndexes, ChangedAndChangedBackEveryFileIsAsBeforeButTheStamps)
{
    struct Case {
        const char* folder;
        const char* stem;
        std::vector<const char*> fields; // Long fields get 100 - v, dates 1000 days more
        const char* reordered;           // an index whose entries change order
    };
    const Case cases[] = {
        {"joins", "C", {"A", "C"}, "C.X02"},          // .X02 on A, .X03 on B; C is the key
        {"joins", "fk4", {"ID"}, "fk4.XG0"},          // composite on FK1, FK; ID is the key
        {"db", "CUSTOMER", {"DateEntered"}, nullptr}, // .X06 on City holds no date
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stem);
        TempDir dir;
        const std::string db = copy(c.folder, c.stem, dir);
        const Files before = filesIn(dir.path());
        Files halfway;
        for (int pass = 0; pass < 2; ++pass) {
            auto table = openTable(db);
            for (table->first(); !table->eof(); table->next()) {
                ASSERT_TRUE(table->edit().isOk());
                for (const char* name : c.fields) {
                    const int f = table->fieldIndex(name);
                    if (table->fields()[static_cast<std::size_t>(f)].type == FieldType::Date) {
                        paradox::DateTime v = 0;
                        ASSERT_TRUE(table->readDateTime(f, &v).isOk());
                        const Status st = table->setDateTime(f, pass == 0 ? v + 1000 : v - 1000);
                        ASSERT_TRUE(st.isOk()) << st.message();
                    } else {
                        std::int64_t v = 0;
                        ASSERT_TRUE(table->readInteger(f, &v).isOk());
                        const Status st = table->setInteger(f, 100 - v);
                        ASSERT_TRUE(st.isOk()) << st.message();
                    }
                }
                const Status st = table->post();
                ASSERT_TRUE(st.isOk()) << st.message();
            }
            const Status st = testsupport::commitPosts(*table);
            ASSERT_TRUE(st.isOk()) << st.message();
            const Status checked = table->checkSecondaryIndexes();
            EXPECT_TRUE(checked.isOk()) << checked.message();
            ASSERT_TRUE(table->close().isOk());
            if (pass == 0)
                halfway = filesIn(dir.path());
        }
        const Files after = filesIn(dir.path());
        expectSameButStamps(before, after);
        expectStampsFollow(before, after);
        if (c.reordered) {
            EXPECT_NE(halfway.at(c.reordered), before.at(c.reordered));
            EXPECT_GT(moved(before, after, c.reordered, 0x2D), 0);
        }
    }
}

// ---- Indexes written by the builder ----

struct Row {
    int day; // from 2026-03-02
    int timeMs, id, sizeMs;
};

struct Kind {
    const char* name;
    bool keyed;
    std::vector<IndexDefinition> indexes;
    int indexBlockKiB = 0;
};

void PrintTo(const Kind& k, std::ostream* os)
{
    *os << k.name;
}

void writeTable(const std::string& path, const std::vector<Row>& rows, const Kind& kind)
{
    paradox::CreateOptions o;
    o.keyFields = kind.keyed ? 2 : 0;
    o.recordsPerBlock = 5;
    o.indexBlockSizeKiB = kind.indexBlockKiB;
    o.updateTime = 1700000000;
    o.indexes = kind.indexes;
    std::unique_ptr<paradox::TableBuilder> b;
    ASSERT_TRUE(paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                               {"FTime", FieldType::Time},
                                               {"FId", FieldType::Long},
                                               {"FSize", FieldType::Time},
                                               {"FNote", FieldType::Alpha, 10}},
                                              o, &b)
                    .isOk());
    for (const Row& r : rows) {
        paradox::Value d = testsupport::date(2026, 3, 2);
        d.integer += r.day;
        paradox::Value t = testsupport::timeOfDay(0, 0), s = testsupport::timeOfDay(0, 0);
        t.integer = r.timeMs;
        s.integer = r.sizeMs;
        ASSERT_TRUE(b->addRecord({d, t, testsupport::integer(r.id), s, testsupport::text("n")}).isOk());
    }
    const Status st = b->write(path);
    ASSERT_TRUE(st.isOk()) << st.message();
}

std::vector<Row> rowsOf(Table& t)
{
    std::vector<Row> rows;
    const std::int64_t first = testsupport::date(2026, 3, 2).integer;
    for (t.first(); !t.eof(); t.next())
        rows.push_back({static_cast<int>(t.value(0).integer - first), static_cast<int>(t.value(1).integer),
                        static_cast<int>(t.value(2).integer), static_cast<int>(t.value(3).integer)});
    return rows;
}

std::vector<Row> quarterHours(int days)
{
    std::vector<Row> rows;
    for (int d = 0; d < days; ++d)
        for (int h = 0; h < 24; ++h)
            for (int m : {0, 15, 30, 45})
                rows.push_back({d, (h * 60 + m) * 60'000, static_cast<int>(rows.size()), 180'000});
    return rows;
}

class IndexedTable : public ::testing::TestWithParam<Kind> {};

// Blocks at a quarter past move to ten to (past two others), some lengths and
// serial numbers change; then every file equals what the builder makes of
// the changed records, stamps aside: the indexes hold exactly the entries
// of the records, in order, in the same blocks, with the same .Y.
TEST_P(IndexedTable, EveryFileIsAFreshBuildOfTheChangedRecordsButTheStamps)
{
    const Kind& kind = GetParam();
    TempDir work, fresh;
    const std::string db = work.file("AdvBlock.db");
    writeTable(db, quarterHours(3), kind);
    const Files before = filesIn(work.path());
    {
        auto table = openTable(db);
        const int time = table->fieldIndex("FTime"), id = table->fieldIndex("FId"),
                  size = table->fieldIndex("FSize");
        int n = 0;
        for (table->first(); !table->eof(); table->next(), ++n) {
            const paradox::Value t = table->value(time);
            const bool quarterPast = t.integer / 60'000 % 60 == 15;
            if (!quarterPast && n % 4 != 0 && n % 7 != 0)
                continue;
            ASSERT_TRUE(table->edit().isOk());
            if (quarterPast)
                ASSERT_TRUE(table
                                ->setDateTime(time, paradox::dateTimeFromTimeMs(
                                                        static_cast<std::uint32_t>(t.integer + 35 * 60'000)))
                                .isOk());
            if (n % 4 == 0)
                ASSERT_TRUE(table->setDateTime(size, paradox::dateTimeFromTimeMs(150'000 + n)).isOk());
            if (n % 7 == 0)
                ASSERT_TRUE(table->setInteger(id, 100'000 - table->value(id).integer).isOk());
            const Status st = table->post();
            ASSERT_TRUE(st.isOk()) << st.message();
        }
        const Status st = testsupport::commitPosts(*table);
        ASSERT_TRUE(st.isOk()) << st.message();
        const Status checked = table->checkSecondaryIndexes();
        EXPECT_TRUE(checked.isOk()) << checked.message();
        writeTable(fresh.file("AdvBlock.db"), rowsOf(*table), kind);
    }
    const Files after = filesIn(work.path());
    expectSameButStamps(filesIn(fresh.path()), after);
    expectStampsFollow(before, after);
}

IndexDefinition named(const char* name, std::vector<std::string> fields)
{
    IndexDefinition s;
    s.name = name;
    s.fields = std::move(fields);
    return s;
}

IndexDefinition single(const char* field)
{
    IndexDefinition s;
    s.fields = {field};
    return s;
}

IndexDefinition with(IndexDefinition s, bool descending, bool caseInsensitive, bool unique, int entriesPerBlock = 0)
{
    s.descending = descending;
    s.caseInsensitive = caseInsensitive;
    s.unique = unique;
    s.entriesPerBlock = entriesPerBlock;
    return s;
}

const Kind kKinds[] = {
    {"Keyed",
     true,
     {single("FSize"), named("ByTime", {"FTime", "FDate"}),
      with(named("Latest", {"FDate", "FTime"}), true, false, false), with(named("Ids", {"FId"}), false, false, true),
      with(named("Lengths", {"FSize", "FId"}), false, true, false)}},
    // Two or three entries to an .X block and 1 KiB .Y blocks: .Y files of two levels.
    {"KeyedWithDeepIndexes",
     true,
     {with(single("FTime"), false, false, false, 3), with(named("Late", {"FTime"}), true, false, false, 2)},
     1},
    {"Unkeyed",
     false,
     {single("FTime"), with(named("Latest", {"FDate", "FTime"}), true, false, false),
      with(named("Ids", {"FId"}), false, false, true, 4), single("FSize")}},
};

INSTANTIATE_TEST_SUITE_P(Kinds, IndexedTable, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

// ---- Refusals ----

class IndexRefusal : public ::testing::Test {
protected:
    // Posts FId = `id` into record `at`, or FTime = `timeMs`; then plans and
    // commits. The first failure.
    Status change(const std::vector<std::pair<int, int>>& idAt, const std::vector<std::pair<int, int>>& timeAt = {})
    {
        auto table = openTable(db);
        Status st;
        auto set = [&](int at, int field, int value) {
            table->seek(static_cast<std::uint32_t>(at));
            st = table->edit();
            if (st.isOk())
                st = field == 1
                         ? table->setDateTime(field, paradox::dateTimeFromTimeMs(static_cast<std::uint32_t>(value)))
                         : table->setInteger(field, value);
            if (st.isOk())
                st = table->post();
        };
        for (const auto& [at, id] : idAt)
            if (st.isOk())
                set(at, 2, id);
        for (const auto& [at, time] : timeAt)
            if (st.isOk())
                set(at, 1, time);
        if (st.isOk())
            st = testsupport::commitPosts(*table);
        EXPECT_TRUE(table->close().isOk());
        return st;
    }

    void expectRefused(Status st, Status::Code code, const std::string& message)
    {
        EXPECT_EQ(st.code(), code) << st.message();
        EXPECT_EQ(st.message(), message);
        EXPECT_EQ(filesIn(dir.path()), pristine);
    }

    void build(const Kind& kind, int days = 1)
    {
        writeTable(db, quarterHours(days), kind);
        pristine = filesIn(dir.path());
    }

    TempDir dir;
    std::string db = dir.file("AdvBlock.db");
    Files pristine;
};

TEST_F(IndexRefusal, AUniqueIndexRefusesADuplicateBeforeAnythingIsWritten)
{
    build({"", false, {with(named("Ids", {"FId"}), false, false, true)}});
    expectRefused(change({{2, 5}}), Status::Code::KeyViolation, "Key violation");
    // Two records may swap their values within one change.
    const Status st = change({{2, 5}, {5, 2}});
    EXPECT_TRUE(st.isOk()) << st.message();
    EXPECT_TRUE(openTable(db)->checkSecondaryIndexes().isOk());
}

// Which of two records of equal values comes first in a descending index is
// only known from a file that holds some.
TEST_F(IndexRefusal, EqualValuesInADescendingIndexThatHoldsNone)
{
    const Kind kind{"", false, {with(named("Late", {"FTime"}), true, false, false)}};
    build(kind, 1);
    expectRefused(change({}, {{1, 0}}), Status::Code::NotSupported,
                  db + ": its secondary index AdvBlock.xg0 cannot be kept up to date: two records would hold the "
                       "same values in a descending index, whose order for them gridshift cannot tell");
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.path());
    build(kind, 2);
    const Status st = change({}, {{1, 0}});
    EXPECT_TRUE(st.isOk()) << st.message();
    EXPECT_TRUE(openTable(db)->checkSecondaryIndexes().isOk());
}

TEST_F(IndexRefusal, AnIndexThatDoesNotMatchItsTableStopsWritesOfItsFields)
{
    build({"", true, {single("FId")}});
    const std::string x = dir.file("AdvBlock.x03");
    patchByte(x, 0x800 + 6 + 14 + 3, 0x07); // the second entry's FId; entries of 4 + 8 + 2 bytes
    pristine = filesIn(dir.path());
    expectRefused(change({{0, 9}}), Status::Code::NotSupported,
                  db +
                      ": its secondary index AdvBlock.x03 does not match the table (entry 2 holds other values than "
                      "its record); rebuild it with the database tools");
    EXPECT_EQ(openTable(db)->checkSecondaryIndexes().message(),
              "AdvBlock.x03: entry 2 holds other values than its record");
}

TEST_F(IndexRefusal, AnIndexNotUnderstoodStopsAllWrites)
{
    build({"", false, {single("FId")}});
    const Files sound = pristine;
    struct Case {
        const char* what;
        std::function<void()> breakIt;
        const char* reason;
    };
    const Case cases[] = {
        {"unknown options", [&] { patchByte(dir.file("AdvBlock.x03"), 0x55, 0x40); },
         "its secondary index AdvBlock.x03 cannot be kept up to date (it has the unknown options 0x40)"},
        {"another field", [&] { patchByte(dir.file("AdvBlock.x03"), 0x15, 4); },
         "its secondary index AdvBlock.x03 cannot be kept up to date (its header names field 4 as indexed, not 3)"},
        {"a .Y of other blocks", [&] { patchByte(dir.file("AdvBlock.y03"), 0x800 + 6 + 10 + 1, 9); },
         "its secondary index AdvBlock.x03 cannot be kept up to date (its index of blocks: index entry points to "
         "data block 9)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [name, bytes] : sound)
            testsupport::writeFile(dir.file(name), bytes);
        c.breakIt();
        pristine = filesIn(dir.path());
        // Even a field the index does not hold.
        expectRefused(change({}, {{0, 60'000}}), Status::Code::NotSupported, db + ": " + c.reason);
    }
}

} // namespace
