#include "memory_file_system.h"
#include "test_support.h"

#include "paradox/coding.h"
#include "paradox/format.h"
#include "paradox/table.h"
#include "paradox/table_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using paradox::OpenMode;
using paradox::Status;
using paradox::Table;
using testsupport::MemoryFileSystem;
using Bytes = std::vector<std::byte>;

// The table every case breaks: FDate, FTime (the key when keyed), FId, FSize
// (Time), FNote A10; 26-byte records, ten to a 1 KiB block, 40 records in 4
// blocks. Its header (version 7.x) is 0x800 bytes: descriptors at 0x78, the
// table name at 0x9A, field names from 0x19F, field numbers at 0x1BB, the sort
// order name at 0x1C5 up to 0x1CE.
constexpr const char* kDb = "db/T.db";
constexpr const char* kPx = "db/T.px";
constexpr std::size_t kHeader = 0x800;
constexpr std::size_t kBlock = 1024;
constexpr std::size_t kRecord = 26;

constexpr auto block = [](int number) { return kHeader + static_cast<std::size_t>(number - 1) * kBlock; };

const auto setU8 = [](Bytes& b, std::size_t off, unsigned v) { b.at(off) = std::byte(v & 0xFF); };
void setU16(Bytes& b, std::size_t off, unsigned v)
{
    setU8(b, off, v);
    setU8(b, off + 1, v >> 8);
}
void setU32(Bytes& b, std::size_t off, std::uint32_t v)
{
    setU16(b, off, v & 0xFFFF);
    setU16(b, off + 2, v >> 16);
}

// Bytes that no writer produced, the same on every run.
Bytes garbage(std::size_t size)
{
    Bytes b(size);
    std::uint32_t x = 0x2545F491;
    for (std::byte& c : b) {
        x = x * 1664525u + 1013904223u;
        c = std::byte(x >> 24);
    }
    return b;
}

MemoryFileSystem buildTable(bool keyed)
{
    MemoryFileSystem fs;
    paradox::CreateOptions o;
    o.keyFields = keyed ? 2 : 0;
    o.blockSizeKiB = 1;
    o.recordsPerBlock = 10;
    o.updateTime = 1700000000;
    o.fileSystem = &fs;
    std::unique_ptr<paradox::TableBuilder> b;
    EXPECT_TRUE(paradox::TableBuilder::create({{"FDate", paradox::FieldType::Date},
                                               {"FTime", paradox::FieldType::Time},
                                               {"FId", paradox::FieldType::Long},
                                               {"FSize", paradox::FieldType::Time},
                                               {"FNote", paradox::FieldType::Alpha, 10}},
                                              o, &b)
                    .isOk());
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(b->addRecord({testsupport::date(2026, 3, 2), testsupport::timeOfDay(i / 4, i % 4 * 15),
                                  testsupport::integer(i), testsupport::timeOfDay(0, 3), testsupport::text("n")})
                        .isOk());
    EXPECT_TRUE(b->write(kDb).isOk());
    return fs;
}

Status openTable(MemoryFileSystem& fs, std::unique_ptr<Table>* out)
{
    Table::Options o;
    o.fileSystem = &fs;
    return Table::open(kDb, o, out);
}

struct Breakage {
    const char* what;
    std::function<void(Bytes&)> breakIt;
    const char* message; // after "db/T.db: "
};

void expectRefused(bool keyed, const std::vector<Breakage>& cases, Status::Code code = Status::Code::Corruption)
{
    const MemoryFileSystem pristine = buildTable(keyed);
    for (const Breakage& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs = pristine;
        c.breakIt(fs.files[kDb]);
        const MemoryFileSystem broken = fs;
        std::unique_ptr<Table> table;
        const Status st = openTable(fs, &table);
        EXPECT_FALSE(st.isOk());
        EXPECT_EQ(st.code(), code);
        EXPECT_EQ(st.message(), std::string(kDb) + ": " + c.message);
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(fs.writes, 0);
        EXPECT_EQ(fs.files, broken.files);
    }
}

TEST(CorruptTable, TruncatedFilesAreRefused)
{
    auto cut = [](std::size_t size) { return [size](Bytes& b) { b.resize(size); }; };
    const std::vector<Breakage> cases = {
        {"empty", cut(0), "file is too short for a Paradox header (0 bytes)"},
        {"shorter than the fixed header", cut(0x57), "file is too short for a Paradox header (87 bytes)"},
        {"shorter than the header size", cut(0x400), "header size 2048 does not fit the file of 1024 bytes"},
        {"header only", cut(kHeader), "the header counts 4 blocks of 1024 bytes but the file holds only 2048 bytes"},
        {"last block begun but not its header", cut(block(4) + 5),
         "the header counts 4 blocks of 1024 bytes but the file holds only 5125 bytes"},
        {"last block's records cut short", cut(block(4) + 100),
         "block 4 holds 10 records up to byte 5386 but the file holds only 5220 bytes"},
    };
    expectRefused(false, cases);
}

TEST(CorruptTable, ImpossibleHeaderValuesAreRefused)
{
    const std::vector<Breakage> cases = {
        {"header size beyond the file", [](Bytes& b) { setU16(b, 0x02, 0xFF00); },
         "header size 65280 does not fit the file of 6144 bytes"},
        {"header size inside the fixed part", [](Bytes& b) { setU16(b, 0x02, 0x40); },
         "header size 64 is smaller than the fixed header of 120 bytes"},
        {"unknown file type", [](Bytes& b) { setU8(b, 0x04, 9); }, "unknown file type 9"},
        {"a primary index", [](Bytes& b) { setU8(b, 0x04, 1); }, "not a table (file type 1)"},
        {"a secondary index", [](Bytes& b) { setU8(b, 0x04, 5); }, "not a table (file type 5)"},
        {"version too old", [](Bytes& b) { setU8(b, 0x39, 2); }, "unknown file version 2"},
        {"version too new", [](Bytes& b) { setU8(b, 0x39, 13); }, "unknown file version 13"},
        {"block size code 0", [](Bytes& b) { setU8(b, 0x05, 0); }, "invalid block size code 0"},
        {"block size code 33", [](Bytes& b) { setU8(b, 0x05, 33); }, "invalid block size code 33"},
        {"record size 0", [](Bytes& b) { setU16(b, 0x00, 0); }, "record size 0 is not valid"},
        {"record too big for a block", [](Bytes& b) { setU16(b, 0x00, 1019); },
         "record size 1019 does not fit block size 1024"},
        {"record size not the sum of the fields", [](Bytes& b) { setU16(b, 0x00, 27); },
         "the fields take 26 bytes but records are 27"},
        {"no fields", [](Bytes& b) { setU16(b, 0x21, 0); }, "invalid number of fields 0"},
        {"256 fields", [](Bytes& b) { setU16(b, 0x21, 256); }, "invalid number of fields 256"},
        {"more fields than descriptors", [](Bytes& b) { setU16(b, 0x21, 6); },
         "field 6 has type 0x00 of size 0, which is not valid"},
        {"unknown field type", [](Bytes& b) { setU8(b, 0x78 + 2, 0x07); },
         "field 2 has type 0x07 of size 4, which is not valid"},
        {"date of 3 bytes", [](Bytes& b) { setU8(b, 0x78 + 1, 3); },
         "field 1 has type 0x02 of size 3, which is not valid"},
        {"alpha of 0 bytes", [](Bytes& b) { setU8(b, 0x78 + 9, 0); },
         "field 5 has type 0x01 of size 0, which is not valid"},
        {"BCD with 33 decimals",
         [](Bytes& b) {
             setU8(b, 0x78 + 8, 0x17);
             setU8(b, 0x78 + 9, 33);
         },
         "field 5 has type 0x17 of size 33, which is not valid"},
        {"descriptors past the header", [](Bytes& b) { setU16(b, 0x02, 0x7C); },
         "field descriptors run past the header"},
        {"table name past the header", [](Bytes& b) { setU16(b, 0x02, 0x100); }, "table name runs past the header"},
        {"field names past the header", [](Bytes& b) { setU16(b, 0x02, 0x1A8); }, "field names run past the header"},
        {"field names without an end", [](Bytes& b) { std::fill(&b[0x19F], &b[kHeader], std::byte{'x'}); },
         "field names run past the header"},
        {"field numbers past the header", [](Bytes& b) { setU16(b, 0x02, 0x1C0); },
         "field numbers run past the header"},
        {"sort order name past the header", [](Bytes& b) { setU16(b, 0x02, 0x1CA); },
         "sort order name runs past the header"},
        {"sort order name without an end", [](Bytes& b) { std::fill(&b[0x1C5], &b[kHeader], std::byte{'x'}); },
         "sort order name runs past the header"},
        {"key fields in an unkeyed table", [](Bytes& b) { setU16(b, 0x23, 1); },
         "a table without a primary index has 1 key fields"},
    };
    expectRefused(false, cases);
    expectRefused(false,
                  {{"encrypted", [](Bytes& b) { setU32(b, 0x5C, 0x0A25E09A); },
                    "the table is encrypted (password-protected); it cannot be read"}},
                  Status::Code::NotSupported);
}

TEST(CorruptTable, KeyOfMoreFieldsThanTheTableIsRefused)
{
    expectRefused(true,
                  {{"key of 6 fields", [](Bytes& b) { setU16(b, 0x23, 6); }, "key of 6 fields in a table of 5"}});
}

TEST(CorruptTable, BrokenBlockChainsAreRefused)
{
    auto next = [](int blk, unsigned to) { return [=](Bytes& b) { setU16(b, block(blk), to); }; };
    auto addSize = [](int blk, unsigned v) { return [=](Bytes& b) { setU16(b, block(blk) + 4, v); }; };
    const std::vector<Breakage> cases = {
        {"first block beyond the file", [](Bytes& b) { setU16(b, 0x0E, 5); },
         "the block chain points to block 5 but the file has 4"},
        {"first block in a file without blocks", [](Bytes& b) { setU16(b, 0x0C, 0); },
         "the chain starts at block 1 of a file without blocks"},
        {"chain pointing outside", next(2, 0x7FFF), "the block chain points to block 32767 but the file has 4"},
        {"chain to block 0xFFFF", next(3, 0xFFFF), "the block chain points to block 65535 but the file has 4"},
        {"block pointing to itself", next(2, 2), "the block chain returns to block 2"},
        {"loop over three blocks", next(4, 2), "the block chain returns to block 2"},
        {"record area not whole records", addSize(3, 9 * kRecord + 1),
         "block 3 gives a record area of 235 bytes, which is not a whole number of 26-byte records"},
        {"record area larger than the block", addSize(3, 39 * kRecord),
         "block 3 gives a record area of 1014 bytes, more than a block of 1024 bytes holds"},
        {"record area of 32767 bytes", addSize(3, 0x7FFF),
         "block 3 gives a record area of 32767 bytes, which is not a whole number of 26-byte records"},
        {"one record too many counted", [](Bytes& b) { setU32(b, 0x06, 41); },
         "the header counts 41 records but the blocks hold 40"},
        {"four billion records counted", [](Bytes& b) { setU32(b, 0x06, 0xFFFFFFFF); },
         "the header counts 4294967295 records but the blocks hold 40"},
        {"records without blocks",
         [](Bytes& b) {
             setU16(b, 0x0C, 0);
             setU16(b, 0x0E, 0);
         },
         "the header counts 40 records but the blocks hold 0"},
        {"block emptied", addSize(2, 0xFFFF), "the header counts 40 records but the blocks hold 30"},
    };
    expectRefused(false, cases);
}

// Sound tables, and faults that keep a table from opening at all, are not a
// writer's half-way state.
TEST(HalfWrittenTable, IsJudgedOnlyOfATableThatOpens)
{
    const Bytes sound = buildTable(true).files.at(kDb);
    Bytes promisesMore = sound;
    setU32(promisesMore, 0x06, 41);
    for (const Bytes& b : {sound, promisesMore, garbage(3000)})
        EXPECT_TRUE(paradox::checkNotHalfWritten(b, kDb).isOk());
}

// Sample tables written by the original tools, cut short at every kind of
// boundary, must fail to open with a message naming the file, unless all
// that is gone is the unused tail of the last block.
TEST(CorruptTable, TruncatedSamplesAreRefusedUnlessEveryRecordIsThere)
{
    if (testsupport::samplesDir().empty())
        GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    testsupport::TempDir dir;
    int tried = 0;
    int opened = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(testsupport::samplesDir())) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (ext != ".db" && ext != ".DB")
            continue;
        const Bytes whole = testsupport::readFile(entry.path().string());
        const std::size_t headerSize = paradox::coding::loadLE16(whole.data() + 2);
        paradox::format::Header h;
        ASSERT_TRUE(paradox::format::parseHeader(whole, &h).isOk()) << name;
        // The samples' blocks are in chain order, so the last block's records end the data.
        std::size_t recordsEnd = headerSize;
        if (h.fileBlocks > 0) {
            const std::size_t last = h.blockOffset(h.fileBlocks);
            const int n = paradox::format::recordsInBlock(
                static_cast<std::int16_t>(paradox::coding::loadLE16(whole.data() + last + 4)), h.recordSize,
                h.blockSize);
            recordsEnd = last + 6 + static_cast<std::size_t>(std::max(n, 0)) * h.recordSize;
        }
        for (std::size_t size : {std::size_t{0}, std::size_t{0x20}, std::size_t{0x57}, std::size_t{0x60},
                                 headerSize / 2, headerSize - 1, recordsEnd - 1, recordsEnd, whole.size() - 1}) {
            if (size >= whole.size() || (size == headerSize - 1 && whole.size() == headerSize))
                continue;
            SCOPED_TRACE(entry.path().string() + " cut to " + std::to_string(size));
            const std::string path = dir.file(name);
            testsupport::writeFile(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
            std::unique_ptr<Table> table;
            const Status st = Table::open(path, {}, &table);
            if (size >= recordsEnd && h.encryptionKey == 0) {
                ASSERT_TRUE(st.isOk()) << st.message();
                EXPECT_EQ(table->recordCount(), h.numRecords);
                ++opened;
            } else {
                EXPECT_FALSE(st.isOk());
                EXPECT_EQ(st.message().rfind(path + ": ", 0), 0u) << st.message();
            }
            ++tried;
            table.reset();
            std::filesystem::remove(path);
        }
    }
    EXPECT_GT(tried, 100);
    EXPECT_GT(opened, 10);
}

// Companion files that cannot be trusted leave the table readable, and
// editing it is refused before a byte is written.
class DamagedCompanion : public ::testing::Test {
protected:
    // Reads the whole table, then tries to change FSize, which is in no key,
    // and returns the first refusal.
    Status readThenEdit(MemoryFileSystem& fs)
    {
        std::unique_ptr<Table> table;
        Status st = openTable(fs, &table);
        EXPECT_TRUE(st.isOk()) << st.message();
        if (!st.isOk())
            return st;
        int records = 0;
        for (table->first(); !table->eof(); table->next()) {
            std::int64_t id = -1;
            EXPECT_TRUE(table->readInteger(2, &id).isOk());
            EXPECT_EQ(id, records++);
        }
        EXPECT_EQ(records, 40);
        table->first();
        st = table->edit();
        if (st.isOk())
            st = table->setDateTime(3, 0.25);
        if (st.isOk())
            st = table->post();
        return st;
    }

    void expectEditRefused(MemoryFileSystem& fs, const std::string& message)
    {
        const auto before = fs.files;
        const Status st = readThenEdit(fs);
        EXPECT_FALSE(st.isOk());
        EXPECT_EQ(st.message(), message);
        EXPECT_EQ(fs.writes, 0);
        EXPECT_EQ(fs.files, before);
    }
};

TEST_F(DamagedCompanion, PrimaryIndex)
{
    const MemoryFileSystem pristine = buildTable(true);
    struct Case {
        const char* what;
        std::function<void(Bytes& px)> breakIt;
        const char* message;
    };
    const Case cases[] = {
        {"garbage", [](Bytes& px) { px = garbage(4096); },
         "db/T.db: its primary index T.px does not match the table (unknown file type 93)"},
        {"a few bytes", [](Bytes& px) { px.resize(16); }, "db/T.db: its primary index T.px is damaged"},
        {"header only", [](Bytes& px) { px.resize(0x400); },
         "db/T.db: its primary index T.px does not match the table (header size 2048 does not fit the file of "
         "1024 bytes)"},
        {"a secondary index's header", [](Bytes& px) { setU8(px, 0x04, 3); },
         "db/T.db: its primary index T.px does not match the table (not a primary index (file type 3))"},
        {"one key field",
         [](Bytes& px) {
             setU16(px, 0x21, 1);
             setU16(px, 0x00, 10);
         },
         "db/T.db: its primary index T.px does not match the table (the index has 1 key fields but the table 2)"},
        {"key of another type", [](Bytes& px) { setU8(px, 0x58 + 2, 0x04); },
         "db/T.db: its primary index T.px does not match the table (key field 2 differs from the table's)"},
        {"root beyond the file", [](Bytes& px) { setU16(px, 0x1E, 2); },
         "db/T.db: its primary index T.px does not match the table (invalid index root 2 with 1 levels)"},
        {"entry pointing past the table", [](Bytes& px) { setU8(px, kHeader + 6 + 8 + 1, 9); },
         "db/T.db: its primary index T.px does not match the table (index entry points to data block 9)"},
        {"entry with a wrong count", [](Bytes& px) { setU8(px, kHeader + 6 + 10 + 1, 9); },
         "db/T.db: its primary index T.px does not match the table (the index entry for data block 1 does not "
         "match the block)"},
        {"entry with a wrong key", [](Bytes& px) { setU8(px, kHeader + 6 + 7, 0x55); },
         "db/T.db: its primary index T.px does not match the table (the index entry for data block 1 does not "
         "match the block)"},
        {"a block missing", [](Bytes& px) { setU16(px, kHeader + 4, 2 * 14); },
         "db/T.db: its primary index T.px does not match the table (the index lists 3 data blocks, the table has "
         "4)"},
        {"root pointing back to itself",
         [](Bytes& px) {
             setU8(px, 0x20, 2);
             setU16(px, kHeader + 4, 0);
         },
         "db/T.db: its primary index T.px does not match the table (index block 1 is out of range or reused)"},
        {"two levels claimed", [](Bytes& px) { setU8(px, 0x20, 2); },
         "db/T.db: its primary index T.px does not match the table (index entry points to index block 2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs = pristine;
        c.breakIt(fs.files[kPx]);
        expectEditRefused(fs, c.message);
    }

    MemoryFileSystem missing = pristine;
    missing.files.erase(kPx);
    expectEditRefused(missing, "db/T.db: its primary index (.PX file) is missing");
}

TEST_F(DamagedCompanion, StrayPrimaryIndexOfAnUnkeyedTable)
{
    MemoryFileSystem fs = buildTable(false);
    fs.files[kPx] = buildTable(true).files[kPx];
    expectEditRefused(fs, "db/T.db: its primary index T.px does not match the table (the index has 2 key fields "
                          "but the table 0)");
}

TEST_F(DamagedCompanion, SecondaryIndexAndValidityFile)
{
    for (bool keyed : {false, true}) {
        SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
        MemoryFileSystem x = buildTable(keyed);
        x.files["db/T.X02"] = garbage(3000);
        expectEditRefused(x, "db/T.db: its secondary index T.X02 cannot be read");

        MemoryFileSystem xg = buildTable(keyed);
        xg.files["db/T.XG0"] = Bytes(0x57);
        expectEditRefused(xg, "db/T.db: its secondary index T.XG0 cannot be read");

        MemoryFileSystem val = buildTable(keyed);
        val.files["db/T.VAL"] = garbage(500);
        setU8(val.files["db/T.VAL"], 0, 1);     // the table's structure stamp
        setU32(val.files["db/T.VAL"], 0x0D, 0); // no referential integrity
        expectEditRefused(val, "db/T.db: the validity checks of the table cannot be read");

        MemoryFileSystem stale = buildTable(keyed);
        stale.files["db/T.VAL"] = garbage(500);
        setU8(stale.files["db/T.VAL"], 0, 7); // written for another structure of the table
        setU32(stale.files["db/T.VAL"], 0x0D, 0);
        expectEditRefused(stale, "db/T.db: the validity checks of the table cannot be read");

        MemoryFileSystem ri = buildTable(keyed);
        ri.files["db/T.VAL"] = garbage(500);
        setU8(ri.files["db/T.VAL"], 0, 1);
        setU32(ri.files["db/T.VAL"], 0x0D, 0x100);
        expectEditRefused(ri, "db/T.db: referential integrity rules are defined for the table; it is not changed "
                              "outside the database engine");
    }
}

// The primary indexes the original tools wrote pass the check that editing
// now makes of every .PX.
TEST(SampleCompanions, PrimaryIndexesOfTheSamplesAllowEditing)
{
    if (testsupport::samplesDir().empty())
        GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    const char* families[][2] = {{"db", "ORDERS"},        {"db", "GENERAL"},  {"db", "HERCULES"},
                                 {"db", "SERVER"},        {"fields", "long"}, {"fields", "memo"},
                                 {"fields", "fmemo"},     {"fields", "ole"},  {"fields", "graphic"},
                                 {"fields", "graphic240"}};
    for (const auto& [folder, stem] : families) {
        SCOPED_TRACE(stem);
        testsupport::TempDir dir;
        ASSERT_GE(testsupport::copyFamily(testsupport::samplesDir() + "/" + folder, stem, dir.path()), 2);
        std::string db;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().extension() == ".db" || e.path().extension() == ".DB")
                db = e.path().string();
        std::unique_ptr<Table> table;
        ASSERT_TRUE(Table::open(db, {}, &table).isOk());
        const Status st = table->edit();
        EXPECT_TRUE(st.isOk()) << st.message();
    }
}

} // namespace
