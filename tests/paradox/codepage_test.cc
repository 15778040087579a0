#include "memory_file_system.h"
#include "test_support.h"

#include "paradox/codepage.h"
#include "paradox/format.h"
#include "paradox/table.h"
#include "paradox/table_builder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using paradox::codePageOfSortOrder;
using paradox::kHpRoman8;

TEST(HpRoman8, EveryCharacterReadsAndWritesBack)
{
    std::set<std::string> seen;
    for (int b = 0x80; b < 0xFF; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const std::string text = paradox::toUtf8(byte, kHpRoman8);
        EXPECT_TRUE(text != "\xEF\xBF\xBD" && seen.insert(text).second) << b << " reads as " << text;
        std::string back;
        EXPECT_TRUE(paradox::fromUtf8(text, kHpRoman8, &back).isOk() && back == byte) << b;
    }
    EXPECT_EQ(paradox::toUtf8("A\xEB\xF8\xBE\xF4 \xC8\xC5\xCF\xDE\xA1\xFF", kHpRoman8), "AŠ½ƒ¶ àéüßÀ\uFFFD");
}

TEST(SortOrder, CyrillicTextOfATableWhoseHeaderGivesNoCodePage)
{
    testsupport::MemoryFileSystem fs;
    paradox::CreateOptions o;
    o.version = 9;
    o.codePage = 1251;
    o.sortOrder = "ancyrr";
    o.sortOrderCode = 0;
    o.fileSystem = &fs;
    std::unique_ptr<paradox::TableBuilder> builder;
    ASSERT_TRUE(paradox::TableBuilder::create({{"Блок", paradox::FieldType::Alpha, 20}}, o, &builder).isOk());
    ASSERT_TRUE(builder->addRecord({testsupport::text("Реклама")}).isOk());
    ASSERT_TRUE(builder->write("db/R.db").isOk());
    std::vector<std::byte>& bytes = fs.files["db/R.db"];
    bytes.at(paradox::format::kCodePage) = std::byte{0};
    bytes.at(paradox::format::kCodePage + 1) = std::byte{0};

    paradox::Table::Options options;
    options.fileSystem = &fs;
    std::unique_ptr<paradox::Table> table;
    ASSERT_TRUE(paradox::Table::open("db/R.db", options, &table).isOk());
    EXPECT_EQ(table->codePage(), 0);
    EXPECT_EQ(table->fields().at(0).name, "Блок");
    EXPECT_EQ(table->value(0).text, "Реклама");
}

// Every sort order the real tables carry must name an encoding, whether or
// not the table also gives its code page.
TEST(SortOrder, EveryOrderOfTheSampleTablesIsKnown)
{
    const std::string dir = testsupport::samplesDir();
    if (dir.empty())
        GTEST_SKIP() << "the sample tables (../shared/paradox/samples) are not in this clone";
    std::set<std::string> orders;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string ext = paradox::foldCase(entry.path().extension().string());
        if (ext != ".db" && !(ext.size() == 4 && ext[1] == 'x'))
            continue;
        const std::vector<std::byte> bytes = testsupport::readFile(entry.path().string());
        paradox::format::Header h;
        if (!paradox::format::parseHeader(bytes, &h).isOk() || h.sortOrderName.empty())
            continue;
        orders.insert(h.sortOrderName);
        EXPECT_NE(codePageOfSortOrder(h.sortOrderName), 0) << entry.path() << ": " << h.sortOrderName;
        if (h.codePage == 0)
            EXPECT_EQ(h.textCodePage, codePageOfSortOrder(h.sortOrderName)) << entry.path();
        else
            EXPECT_EQ(h.textCodePage, h.codePage) << entry.path();
    }
    EXPECT_EQ(orders, (std::set<std::string>{"ANSII850", "BLROM800", "DBWINUS0", "DBWINWE0", "ascii", "china"}));
}

} // namespace
