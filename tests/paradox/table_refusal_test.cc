// Tables that must not be written in place: each refusal says why and leaves
// every byte as it was.
#include "foreign_lock.h"
#include "table_fixtures.h"

#include "paradox/coding.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using fixtures::buildFilling;
using fixtures::FillingShape;
using fixtures::openTable;
using fixtures::patchByte;
using paradox::Status;
using testsupport::ForeignLock;
using testsupport::readFile;
using testsupport::TempDir;

// A .VAL file for a table of `fields` fields with one check on `field`:
// `required` alone, or a default value as well.
std::vector<std::byte> validityFile(int fields, int field, bool requiredOnly, bool referentialIntegrity = false,
                                    unsigned structureStamp = 1)
{
    const std::size_t entry = 0x35, head = 0x1C;
    const std::size_t data = requiredOnly ? 0 : 4;
    const std::size_t footer = entry + head + data + (referentialIntegrity ? 0x1E2 : 0);
    std::vector<std::byte> v(footer + 2 + 2 * static_cast<std::size_t>(fields) + 100);
    v[0] = std::byte(structureStamp);
    v[1] = std::byte(0x0C);
    v[2] = std::byte(1);
    paradox::coding::storeLE32(&v[0x09], static_cast<std::uint32_t>(footer));
    if (referentialIntegrity)
        paradox::coding::storeLE32(&v[0x0D], static_cast<std::uint32_t>(entry + head + data));
    v[entry] = std::byte(field);
    v[entry + 2] = std::byte(1); // required
    if (!requiredOnly)
        paradox::coding::storeLE32(&v[entry + 0x14], 0x12345678); // a default value follows
    paradox::coding::storeLE16(&v[footer], static_cast<std::uint16_t>(fields));
    return v;
}

class TableRefusal : public ::testing::Test {
protected:
    void SetUp() override
    {
        FillingShape shape;
        shape.keyed = keyed;
        buildFilling(db, shape);
    }

    // Tries to post and write a new FSize (or `fieldName`) into the first
    // record; the result of the first step that fails.
    Status tryPost(const char* fieldName = "FSize")
    {
        auto table = openTable(db);
        if (!table)
            return Status::ioError("open failed");
        const int field = table->fieldIndex(fieldName);
        Status st = table->edit();
        if (st.isOk())
            st = table->setDateTime(field, 0.25);
        if (st.isOk())
            st = table->post();
        table->cancel();
        if (st.isOk())
            st = testsupport::commitPosts(*table);
        const Status closed = table->close();
        EXPECT_TRUE(closed.isOk()) << closed.message();
        return st;
    }

    void expectRefused(const std::string& reasonPart, Status::Code code = Status::Code::NotSupported,
                       const char* fieldName = "FSize")
    {
        const std::vector<std::byte> before = readFile(db);
        const Status st = tryPost(fieldName);
        EXPECT_EQ(st.code(), code) << st.message();
        EXPECT_NE(st.message().find(reasonPart), std::string::npos) << st.message();
        EXPECT_NE(st.message().find("AdvBlock.db"), std::string::npos) << st.message();
        EXPECT_EQ(readFile(db), before);
    }

    bool keyed = false;
    TempDir dir;
    std::string db = dir.file("AdvBlock.db");
};

TEST_F(TableRefusal, HeaderMarksThatForbidWriting)
{
    struct Case {
        std::size_t offset;
        const char* reason;
    };
    for (const Case& c : {Case{0x38, "write-protected"}, Case{0x3D, "password-protected"},
                          Case{0x14, "needing a rebuild"}, Case{0x2A, "needing a rebuild"}}) {
        SCOPED_TRACE(c.reason);
        const std::vector<std::byte> pristine = readFile(db);
        patchByte(db, c.offset, 1);
        expectRefused(c.reason);
        testsupport::writeFile(db, pristine);
    }
    // Encrypted tables cannot even be read.
    patchByte(db, 0x5C, 0x9A);
    std::unique_ptr<paradox::Table> t;
    const Status st = paradox::Table::open(db, {}, &t);
    EXPECT_EQ(st.code(), Status::Code::NotSupported);
    EXPECT_NE(st.message().find("encrypted"), std::string::npos);
}

TEST_F(TableRefusal, ValidityChecksOnTheField)
{
    const int fsize = 3; // FDate, FTime, FId, FSize, FNote
    testsupport::writeFile(dir.file("AdvBlock.VAL"), validityFile(5, fsize, /*requiredOnly=*/false));
    expectRefused("field 'FSize' has a validity check");
    // Another field may still be written.
    EXPECT_TRUE(tryPost("FTime").isOk());

    // "Required" alone cannot be broken: a written date or time is never blank.
    testsupport::writeFile(dir.file("AdvBlock.VAL"), validityFile(5, fsize, /*requiredOnly=*/true));
    EXPECT_TRUE(tryPost().isOk());

    // Checks written for an older structure of the table, or unreadable ones,
    // count as covering every field.
    testsupport::writeFile(dir.file("AdvBlock.VAL"), validityFile(5, fsize, true, false, /*stamp=*/7));
    expectRefused("validity checks of the table cannot be read");
    testsupport::writeFile(dir.file("AdvBlock.VAL"), std::vector<std::byte>(20, std::byte{0x55}));
    expectRefused("validity checks of the table cannot be read", Status::Code::NotSupported, "FTime");

    testsupport::writeFile(dir.file("AdvBlock.VAL"), validityFile(5, fsize, true, /*referentialIntegrity=*/true));
    expectRefused("referential integrity");
}

// A secondary index over FTime, built as the library builds tables and then
// marked as an index file of the given type.
void writeSecondaryIndex(const std::string& path, int fileType)
{
    // Built apart, so that its own primary index stays out of the table's folder.
    TempDir scratch;
    const std::string built = scratch.file("index.db");
    paradox::CreateOptions o;
    o.keyFields = 2;
    std::unique_ptr<paradox::TableBuilder> b;
    ASSERT_TRUE(paradox::TableBuilder::create({{"FTime", paradox::FieldType::Time},
                                               {"Tup No", paradox::FieldType::Long},
                                               {"Blk Num", paradox::FieldType::Short},
                                               {"Tup Offset", paradox::FieldType::Short}},
                                              o, &b)
                    .isOk());
    ASSERT_TRUE(b->write(built).isOk());
    patchByte(built, 0x04, static_cast<unsigned>(fileType));
    patchByte(built, 0x23, 3);
    testsupport::writeFile(path, readFile(built));
}

TEST_F(TableRefusal, MaintainedSecondaryIndexes)
{
    // An index without its .Y cannot be kept right: no field is written.
    const std::string x = dir.file("AdvBlock.X02");
    writeSecondaryIndex(x, 5);
    expectRefused("its secondary index AdvBlock.X02 is missing its companion AdvBlock.Y02");
    std::remove(x.c_str());

    // A sound one is kept up to date with the fields it holds; a field it
    // does not hold is written, and only the index's stamp follows the
    // table's counter.
    FillingShape shape;
    shape.keyed = keyed;
    shape.indexes.emplace_back().fields = {"FTime"};
    std::remove(db.c_str());
    buildFilling(db, shape);
    const std::string built = dir.file("AdvBlock.x02");
    const std::vector<std::byte> before = readFile(built);
    ASSERT_TRUE(tryPost("FSize").isOk());
    const std::vector<std::byte> after = readFile(built);
    EXPECT_EQ(fixtures::differingOffsets(before, after), std::vector<std::size_t>{0x2F});
    EXPECT_EQ(std::to_integer<int>(after[0x2F]), std::to_integer<int>(before[0x2F]) + 1);
    const Status st0 = tryPost("FTime");
    ASSERT_TRUE(st0.isOk()) << st0.message();
    EXPECT_NE(readFile(built), after);
    auto table = openTable(db);
    const Status st = table->checkSecondaryIndexes();
    EXPECT_TRUE(st.isOk()) << st.message();
}

TEST_F(TableRefusal, IndexesTheEngineRebuildsItselfDoNotStopWrites)
{
    const std::string x = dir.file("AdvBlock.x02");
    writeSecondaryIndex(x, 3); // not maintained: rebuilt by the engine when used
    const std::vector<std::byte> before = readFile(x);
    ASSERT_TRUE(tryPost("FTime").isOk());
    // Its stamp stays behind, so the engine knows the index is out of date.
    EXPECT_EQ(readFile(x), before);
}

TEST_F(TableRefusal, AnUnreadableSecondaryIndexStopsAllWrites)
{
    testsupport::writeFile(dir.file("AdvBlock.XG0"), std::vector<std::byte>(64, std::byte{0x11}));
    expectRefused("secondary index AdvBlock.XG0 cannot be read");
}

TEST_F(TableRefusal, ATableInUseByAnotherProgram)
{
    {
        ForeignLock lock(db);
        expectRefused("in use by another program", Status::Code::InUse);
    }
    for (const char* lockFile : {"AdvBlock.lck", "PDOXUSRS.LCK"}) {
        SCOPED_TRACE(lockFile);
        testsupport::writeFile(dir.file(lockFile), std::vector<std::byte>(16));
        {
            ForeignLock lock(dir.file(lockFile));
            expectRefused(std::string(lockFile) + " is locked", Status::Code::InUse);
        }
        // A lock file nobody holds is left over from an earlier session.
        EXPECT_TRUE(tryPost().isOk());
    }
}

TEST_F(TableRefusal, OneWriterAtATime)
{
    auto first = openTable(db);
    ASSERT_TRUE(first->edit().isOk());
    auto second = openTable(db);
    const Status st = second->edit();
    EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
    // Readers are not held up.
    EXPECT_EQ(second->recordCount(), first->recordCount());
    first->cancel();
    ASSERT_TRUE(first->close().isOk());
    EXPECT_TRUE(second->edit().isOk());
}

class KeyedTableRefusal : public TableRefusal {
protected:
    KeyedTableRefusal() { keyed = true; }
    std::string px = dir.file("AdvBlock.px");
};

TEST_F(KeyedTableRefusal, KeyChangesNeedASoundPrimaryIndex)
{
    // Without its index a keyed table is not written at all.
    const std::vector<std::byte> index = readFile(px);
    std::remove(px.c_str());
    expectRefused("primary index (.PX file) is missing");
    testsupport::writeFile(px, index);

    // Every post moves the index's stamp, which tells other programs it is
    // current; an index that disagrees with the blocks stops all writes.
    patchByte(px, 0x800 + 6 + 3, 0x77); // first key of the first data block
    expectRefused("primary index AdvBlock.px does not match the table", Status::Code::NotSupported, "FTime");
    expectRefused("primary index AdvBlock.px does not match the table");
}

TEST_F(KeyedTableRefusal, KeyChangesWithAMaintainedSecondaryIndex)
{
    // Every index holds the key, so key changes need each index's order.
    // Text in an order other than the bytes' cannot be placed.
    FillingShape shape;
    shape.keyed = true;
    shape.indexes.resize(2);
    shape.indexes[0].fields = {"FSize"};
    shape.indexes[1].fields = {"FNote"};
    shape.indexes[1].name = "Notes";
    std::remove(db.c_str());
    std::remove(px.c_str());
    buildFilling(db, shape);
    expectRefused("field 'FTime' is part of the secondary index AdvBlock.xg0, which orders text in sort order "
                  "'DBWINUS0'; gridshift cannot reproduce that order",
                  Status::Code::NotSupported, "FTime");
    // Other fields are written, and the indexes' stamps follow.
    EXPECT_TRUE(tryPost("FSize").isOk());
}

} // namespace
