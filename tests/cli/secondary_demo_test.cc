// The demo with maintained secondary indexes, shifted through the command
// line: pxlib, an independent reader, reads every .X as a table, and each
// holds exactly the entries rebuilt from its table, in the index's order; the
// library's own check agrees; undo puts every file back.

extern "C" {
#include <paradox.h>
}

#include "cli_test_util.h"
#include "test_support.h"

#include "paradox/coding.h"
#include "paradox/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <variant>

namespace {

using testsupport::TempDir;
using Value = std::variant<long, double, std::string>; // as pxlib gives them
using Row = std::vector<Value>;

struct PxTable {
    std::vector<std::string> fields;
    std::vector<Row> rows;
};

PxTable readWithPxlib(const std::string& path)
{
    PxTable t;
    pxdoc_t* doc = PX_new();
    EXPECT_GE(PX_open_file(doc, path.c_str()), 0) << path;
    const int records = PX_get_num_records(doc), fields = PX_get_num_fields(doc);
    for (int f = 0; f < fields; ++f)
        t.fields.push_back(PX_get_field(doc, f)->px_fname);
    for (int r = 0; r < records; ++r) {
        pxval_t** values = PX_retrieve_record(doc, r);
        if (!values) {
            ADD_FAILURE() << path << ": record " << r << " cannot be read";
            break;
        }
        Row row;
        for (int f = 0; f < fields; ++f) {
            pxval_t* v = values[f];
            switch (v->type) {
            case pxfAlpha:
                row.emplace_back(std::string(v->isnull ? "" : v->value.str.val,
                                             v->isnull ? 0 : static_cast<std::size_t>(v->value.str.len)));
                doc->free(doc, v->value.str.val);
                break;
            case pxfTimestamp:
            case pxfNumber:
            case pxfCurrency:
                row.emplace_back(v->value.dval);
                break;
            default:
                row.emplace_back(v->value.lval);
            }
            doc->free(doc, v);
        }
        doc->free(doc, values);
        t.rows.push_back(std::move(row));
    }
    PX_close(doc);
    PX_delete(doc);
    return t;
}

// The data block, and the place in it, of each record in table order: from
// the block chain (block headers: next, previous, bytes of records - one).
std::vector<std::pair<long, long>> placesOf(const std::string& db)
{
    using paradox::coding::loadLE16;
    const std::vector<std::byte> b = testsupport::readFile(db);
    const std::size_t recordSize = loadLE16(b.data()), headerSize = loadLE16(b.data() + 2);
    const std::size_t blockSize = std::to_integer<std::size_t>(b[5]) * 1024;
    std::vector<std::pair<long, long>> out;
    for (std::size_t blk = loadLE16(b.data() + 0x0E); blk != 0;) {
        const std::byte* block = b.data() + headerSize + (blk - 1) * blockSize;
        const auto add = static_cast<std::int16_t>(loadLE16(block + 4));
        for (long i = 0; add >= 0 && i <= add / static_cast<long>(recordSize); ++i)
            out.emplace_back(static_cast<long>(blk), i);
        blk = loadLE16(block);
    }
    return out;
}

// The entries an index of these fields must hold, rebuilt from the table
// and sorted: the indexed values (descending when the index is), then the
// key, or the record's number, ascending.
std::vector<Row> expectedEntries(const PxTable& table, const std::vector<std::pair<long, long>>& places,
                                 const std::vector<std::string>& indexFields, int keyFields, bool descending)
{
    const std::size_t indexed = indexFields.size() - (keyFields > 0 ? keyFields + 1 : 3);
    auto column = [&](const std::string& name) {
        const auto it = std::find(table.fields.begin(), table.fields.end(), name);
        EXPECT_NE(it, table.fields.end()) << name;
        return static_cast<std::size_t>(it - table.fields.begin());
    };
    std::vector<Row> entries;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        Row e;
        for (std::size_t i = 0; i < indexed; ++i)
            e.push_back(table.rows[r][column(indexFields[i])]);
        if (keyFields > 0) {
            for (int k = 0; k < keyFields; ++k)
                e.push_back(table.rows[r][static_cast<std::size_t>(k)]);
            e.emplace_back(places[r].first);
        } else {
            e.emplace_back(static_cast<long>(r));
            e.emplace_back(places[r].first);
            e.emplace_back(places[r].second);
        }
        entries.push_back(std::move(e));
    }
    const std::size_t sortColumns = indexFields.size() - 1;
    std::sort(entries.begin(), entries.end(), [&](const Row& a, const Row& b) {
        for (std::size_t i = 0; i < sortColumns; ++i) {
            if (a[i] == b[i])
                continue;
            return (i < indexed && descending) ? b[i] < a[i] : a[i] < b[i];
        }
        return false;
    });
    return entries;
}

using Files = std::map<std::string, std::vector<std::byte>>;

Files filesIn(const std::string& folder)
{
    Files out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() != ".jnl")
            out[e.path().filename().string()] = testsupport::readFile(e.path().string());
    return out;
}

class SecondaryDemo : public ::testing::TestWithParam<bool> {};

TEST_P(SecondaryDemo, AfterAShiftEachIndexHoldsExactlyItsTablesEntriesInOrder)
{
    const bool keyed = GetParam();
    TempDir dir;
    std::vector<std::string> args{dir.path(), "--secondary"};
    if (!keyed)
        args.push_back("--unkeyed");
    ASSERT_EQ(runCommand(cli::demo, args).status, 0);
    const Files before = filesIn(dir.path());
    // Keyed, 15 to 50 moves each block past two others, in the table and in
    // every index.
    const CommandResult shifted = runCommand(cli::shift,
                                             {dir.path(), "--from", "15", "--to", "50", "--size", "02:30", "--yes"});
    ASSERT_EQ(shifted.status, 0) << shifted.err;

    int indexes = 0;
    for (const char* stem : {"AdvSetBlk", "AdvBlock"}) {
        SCOPED_TRACE(stem);
        const std::string db = dir.file(std::string(stem) + ".db");
        const PxTable table = readWithPxlib(db);
        const std::vector<std::pair<long, long>> places = placesOf(db);
        ASSERT_EQ(places.size(), table.rows.size());
        const int keyFields = keyed ? 2 : 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            if (name.rfind(std::string(stem) + ".x", 0) != 0)
                continue;
            SCOPED_TRACE(name);
            const PxTable index = readWithPxlib(e.path().string());
            const bool descending = (std::to_integer<int>(testsupport::readFile(e.path().string()).at(0x55)) &
                                     0x10) != 0;
            EXPECT_EQ(index.rows, expectedEntries(table, places, index.fields, keyFields, descending));
            ++indexes;
        }
        std::unique_ptr<paradox::Table> t;
        paradox::Table::Options o;
        o.mode = paradox::OpenMode::ReadOnly;
        ASSERT_TRUE(paradox::Table::open(db, o, &t).isOk());
        const paradox::Status st = t->checkSecondaryIndexes();
        EXPECT_TRUE(st.isOk()) << st.message();
    }
    EXPECT_EQ(indexes, 5);

    const CommandResult undone = runCommand(cli::undo, {dir.path(), "--yes"});
    ASSERT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(filesIn(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Tables, SecondaryDemo, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Keyed" : "Unkeyed"; });

} // namespace
