#include "cli_test_util.h"
#include "test_support.h"

#include "paradox/coding.h"
#include "paradox/table_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

using testsupport::samplesDir;

class SampleDump : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (samplesDir().empty())
            GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    }

    CommandResult dump(const std::string& file) { return runCommand(cli::dump, {samplesDir() + "/" + file}); }
};

struct CatalogRow {
    const char* file;
    int version;
    int blockKiB;
    int records;
    int keyFields;
    const char* header;
};

// Versions, block sizes, record counts, keys and fields as the sample catalogue lists them.
const CatalogRow kCatalog[] = {
    {"db/AREACODE.DB", 9, 2, 135, 1, "Area Code:01\tCountry:01\tFull State:01\tState:01"},
    {"db/AREACODES.DB", 12, 16, 370, 1, "AC:01\tState:01\tCities:01"},
    {"db/CONTACTS.DB", 12, 2, 55, 0, "Last Name:01\tFirst Name:01\tCompany:01\tPhone:01"},
    {"db/CUSTOMER.DB", 12, 2, 20, 1,
     "CustNo:16\tFirstName:01\tLastName:01\tEMail:01\tStreet:01\tCity:01\tState/Prov:01\tZip/Postal "
     "Code:01\tComments:0C\tDateEntered:02"},
    {"db/DECIMAL.DB", 12, 2, 9, 0, "DECIMAL:06"},
    {"db/GENERAL.DB", 11, 2, 3, 1, "ID:04\tNAME:01\tMONEYS:05"},
    {"db/HERCULES.DB", 12, 2, 20, 1, "TEMPLATE:01\tHTML:0C"},
    {"db/ORDERS.DB", 12, 2, 224, 1,
     "Order No:06\tCustomer No:06\tSale Date:02\tShip Date:02\tShip VIA:01\tTotal Invoice:05\tAmount "
     "Paid:05\tBalance Due:05\tTerms:01\tPayment Method:01\tMonth:01"},
    {"db/ROMAN8.db", 9, 2, 1, 0, "A:01"},
    {"db/SERVER.DB", 12, 2, 4, 2, "REQTYPE:01\tURI:01\tLIBRARY:01\tHANDLER:01"},
    {"fields/bcd.db", 11, 2, 3, 0, "A:17\tB:17\tC:17"},
    {"fields/bytes.db", 11, 2, 1, 0, "BYTES:18"},
    {"fields/date35.db", 4, 2, 3, 0, "DATE:02"},
    {"fields/date4.db", 9, 2, 3, 0, "DATE:02"},
    {"fields/date5.db", 11, 2, 3, 0, "DATE:02\tTIME:14"},
    {"fields/date7.db", 11, 2, 5, 0, "DATE:02\tTIME:14"},
    {"fields/fmemo.db", 11, 2, 2, 1, "Id:16\tFMEMO:0E"},
    {"fields/graphic.db", 11, 2, 3, 1, "Id:16\tGraphic:10\tType:01"},
    {"fields/graphic240.db", 11, 2, 1, 1, "Id:16\tGraph:10"},
    {"fields/logical.db", 11, 2, 4, 0, "BOOL:09"},
    {"fields/long.db", 11, 2, 3, 1, "Id:16\tLONG:04"},
    {"fields/memo.db", 11, 2, 2, 1, "Id:16\tMEMO:0C"},
    {"fields/ole.db", 11, 2, 1, 1, "Id:16\tOLE:0F"},
    {"fields/time.db", 11, 2, 3, 0, "Time:14"},
    {"fields/timestamp.db", 11, 2, 2, 0, "Timestamp:15"},
    {"joins/A.db", 11, 2, 3, 1, "A:04"},
    {"joins/B.db", 11, 2, 3, 1, "B:04"},
    {"joins/C.DB", 11, 2, 3, 1, "C:04\tA:04\tB:04"},
    {"joins/case.db", 9, 2, 1, 0, "C:01"},
    {"joins/destination.db", 11, 2, 1, 0, "ID:16\tNAME:01"},
    {"joins/fk1.db", 11, 2, 0, 1, "ID:16\tFK:04"},
    {"joins/fk2.db", 11, 2, 0, 1, "ID:16\tFK:04"},
    {"joins/fk3.db", 11, 2, 0, 1, "ID:16\tFK:04\tFK2:04"},
    {"joins/fk4.db", 11, 2, 2, 1, "ID:04\tFK1:04\tB1:01\tFK:04"},
    {"joins/indexed.db", 12, 2, 0, 0, "Indexed:04"},
    {"joins/joina.db", 9, 2, 3, 0, "ID:03"},
    {"joins/joinb.db", 9, 2, 3, 0, "Id:03"},
    {"joins/multiple.db", 11, 2, 0, 1, "ID:16\tFK:04\tA:01\tFK2:04"},
    {"joins/origin.db", 11, 2, 1, 0, "ID:16\tFK:04"},
    {"joins/paradox-ascii.db", 9, 2, 0, 0, "A:01"},
    {"joins/primary.db", 11, 2, 0, 1, "ID:16\tName:01"},
    {"joins/to_multiple.db", 11, 2, 0, 1, "ID:16\tFK:04"},
    {"joins/two.db", 11, 2, 0, 2, "ID1:04\tID2:04\tName:01"},
};

TEST_F(SampleDump, EveryUnencryptedSampleOpensAsCatalogued)
{
    for (const CatalogRow& row : kCatalog) {
        SCOPED_TRACE(row.file);
        std::unique_ptr<paradox::Table> table;
        paradox::Table::Options options;
        options.mode = paradox::OpenMode::ReadOnly;
        const paradox::Status st = paradox::Table::open(samplesDir() + "/" + row.file, options, &table);
        ASSERT_TRUE(st.isOk()) << st.message();
        EXPECT_EQ(table->version(), row.version);
        EXPECT_EQ(table->blockSize(), row.blockKiB * 1024);
        EXPECT_EQ(table->recordCount(), static_cast<std::uint32_t>(row.records));
        EXPECT_EQ(table->keyFieldCount(), row.keyFields);
        EXPECT_EQ(table->keyed(), row.keyFields > 0);

        const CommandResult r = dump(row.file);
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream lines(r.out);
        std::string header;
        std::getline(lines, header);
        EXPECT_EQ(header, row.header);
        int records = 0;
        for (std::string line; std::getline(lines, line);)
            ++records;
        EXPECT_EQ(records, row.records);
    }
}

TEST_F(SampleDump, PrintsTheCataloguedValues)
{
    struct Case {
        const char* file;
        const char* output;
    };
    const Case cases[] = {
        {"fields/time.db", "Time:14\n01:00:01.000\nNULL\n03:00:03.000\n"},
        {"fields/timestamp.db", "Timestamp:15\nNULL\n2020-02-01 01:00:01.000\n"},
        {"fields/date35.db", "DATE:02\n2018-01-01\n2018-02-01\n2018-01-02\n"},
        {"fields/date4.db", "DATE:02\n2018-01-01\n2018-02-01\n2018-01-02\n"},
        {"fields/date5.db",
         "DATE:02\tTIME:14\n2018-01-01\t10:00:00.000\n2018-02-01\t10:30:00.000\n2018-01-02\t09:25:25.000\n"},
        {"fields/date7.db",
         "DATE:02\tTIME:14\n2018-01-01\t10:00:00.000\n2018-02-01\t10:30:00.000\n2018-01-02\t09:25:25.000\n"
         "NULL\t10:00:00.000\n2018-01-01\tNULL\n"},
        {"fields/long.db", "Id:16\tLONG:04\n1\t1\n2\t2\n3\tNULL\n"},
        {"fields/logical.db", "BOOL:09\ntrue\nfalse\ntrue\ntrue\n"},
        // Digits after the first non-decimal nibble of column C are the
        // writing engine's noise and are not printed.
        {"fields/bcd.db", "A:17\tB:17\tC:17\n1.23\t1\t0.1229999999999999980\n-1.23\t-1\t-0.1229999999999999980\n"
                          "0.00\tNULL\t0.9999000000000000118\n"},
        {"db/DECIMAL.DB", "DECIMAL:06\n-200\n-20\n-1\n1\n20\n200\n200.36000000000001\n1.3700000000000001\n-1.387\n"},
        {"fields/memo.db", "Id:16\tMEMO:0C\n1\tBLOB\n2\tBLOB\n"},
        {"fields/bytes.db", nullptr},
        // Code page 0: the HP Roman-8 sort order tells the encoding.
        {"db/ROMAN8.db", "A:01\nŠ½ƒ¶\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const CommandResult r = dump(c.file);
        ASSERT_EQ(r.status, 0) << r.err;
        if (c.output)
            EXPECT_EQ(r.out, c.output);
    }
    // Alpha text comes out in UTF-8 from the table's code page.
    const CommandResult general = dump("db/GENERAL.DB");
    EXPECT_NE(general.out.find("1\tMari\t100\n"), std::string::npos) << general.out;
    const CommandResult bytes = dump("fields/bytes.db");
    EXPECT_EQ(bytes.out.substr(0, 20), "BYTES:18\n31003200330");
}

TEST_F(SampleDump, RefusesEncryptedTablesAndBadArguments)
{
    const CommandResult enc = dump("encrypt/encrypted.db");
    EXPECT_EQ(enc.status, 1);
    EXPECT_NE(enc.err.find("encrypted"), std::string::npos) << enc.err;

    const CommandResult missing = dump("fields/no-such-table.db");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no-such-table.db"), std::string::npos);

    EXPECT_EQ(runCommand(cli::dump, {}).status, 2);
    EXPECT_EQ(runCommand(cli::dump, {"a.db", "b.db"}).status, 2);
}

// Tables the project's own writer makes, changed as older writers leave them.
TEST(BuiltTableDump, RussianInDosTablesAndDatesOutsideTheCalendar)
{
    using paradox::FieldType;
    using Bytes = std::vector<std::byte>;
    testsupport::TempDir dir;
    int made = 0;
    auto dump = [&](const std::vector<paradox::FieldDefinition>& fields, const paradox::CreateOptions& options,
                    const std::vector<paradox::Value>& record, const std::function<void(Bytes&)>& patch) {
        const std::string path = dir.file(std::to_string(++made) + ".db");
        std::unique_ptr<paradox::TableBuilder> b;
        EXPECT_TRUE(paradox::TableBuilder::create(fields, options, &b).isOk());
        EXPECT_TRUE(b->addRecord(record).isOk());
        EXPECT_TRUE(b->write(path).isOk());
        Bytes bytes = testsupport::readFile(path);
        patch(bytes);
        testsupport::writeFile(path, bytes);
        const CommandResult r = runCommand(cli::dump, {path});
        return r.out + r.err;
    };
    // A 3.5 header has no room for the code page; the sort-order byte tells
    // Cyrillic DOS text (0xC0), any other is taken for code page 437.
    for (const auto& [order, out] : {std::pair{0xC0, "Блок:01\nАП-Т\n"}, {0x00, "ü½«¬:01\nÇÅ-Æ\n"}})
        EXPECT_EQ(dump({{"Блок", FieldType::Alpha, 10}}, {.version = 4, .codePage = 866},
                       {testsupport::text("АП-Т")}, [order = order](Bytes& b) { b[0x29] = std::byte(order); }),
                  out);
    // The writer takes no such date: it goes into the record's bytes.
    const paradox::Value stamp{.kind = paradox::Value::Kind::Timestamp, .real = -366.0 * paradox::kMsPerDay + 3.6e6};
    EXPECT_EQ(dump({{"D", FieldType::Date}, {"S", FieldType::Timestamp}}, {}, {testsupport::date(2026, 1, 1), stamp},
                   [](Bytes& b) {
                       paradox::coding::encodeInt(b.data() + paradox::coding::loadLE16(&b[2]) + 6, -366, 4);
                   }),
              "D:02\tS:15\n#-366\t#-366 01:00:00.000\n");
}

} // namespace
