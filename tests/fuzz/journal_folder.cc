#include "journal_folder.h"

#include "paradox/coding.h"
#include "paradox/journal.h"
#include "paradox/table_builder.h"
#include "paradox/transaction.h"

#include <cmath>
#include <cstring>

namespace fuzzing {
namespace {

using paradox::FieldType;
using paradox::Value;

Value value(Value::Kind kind, std::int64_t integer, std::string text = {})
{
    Value v;
    v.kind = kind;
    v.integer = integer;
    v.text = std::move(text);
    return v;
}

constexpr std::int64_t kMinute = 60'000;

using paradox::coding::loadLE32;
using paradox::coding::loadLE64;
using paradox::coding::storeLE32;
using paradox::coding::storeLE64;

// The header's fields; the body follows it, the commit mark the body.
constexpr std::size_t kHeader = 64, kMark = 16;
constexpr std::size_t kVersionAt = 8, kBodyLengthAt = 16, kBodySumAt = 24, kFilesAt = 32, kPiecesAt = 36,
                      kNoteLengthAt = 40, kHeaderSumAt = 56;

paradox::CreateOptions options(paradox::FileSystem* fs, int keyFields)
{
    paradox::CreateOptions o;
    o.keyFields = keyFields;
    o.recordsPerBlock = 4;
    o.updateTime = 1700000000;
    o.fileSystem = fs;
    return o;
}

bool buildGrid(paradox::FileSystem* fs)
{
    paradox::CreateOptions o = options(fs, 2);
    o.indexes.resize(2);
    o.indexes[0].fields = {"FSize"};
    o.indexes[1].fields = {"FDayOfWeek", "FSize"};
    o.indexes[1].name = "DayLength";
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create({{"FDayOfWeek", FieldType::Short},
                                        {"FTime", FieldType::Time},
                                        {"FSize", FieldType::Time},
                                        {"FName", FieldType::Alpha, 20}},
                                       o, &b)
             .isOk())
        return false;
    for (int day = 0; day < 7; ++day)
        for (int hour : {9, 10})
            for (int minute : {0, 15, 45})
                if (!b->addRecord({value(Value::Kind::Integer, day),
                                   value(Value::Kind::Time, (hour * 60 + minute) * kMinute),
                                   value(Value::Kind::Time, (2 + minute % 2) * kMinute),
                                   value(Value::Kind::Text, 0, "block")})
                         .isOk())
                    return false;
    return b->write(std::string(kJournalFolder) + "AdvSetBlk.db").isOk();
}

bool buildFilling(paradox::FileSystem* fs)
{
    paradox::CreateOptions o = options(fs, 0);
    o.indexes.resize(1);
    o.indexes[0].fields = {"FTime", "FDate"};
    o.indexes[0].name = "ByTime";
    std::unique_ptr<paradox::TableBuilder> b;
    if (!paradox::TableBuilder::create({{"FDate", FieldType::Date},
                                        {"FTime", FieldType::Time},
                                        {"FSpots", FieldType::Short},
                                        {"FNote", FieldType::Alpha, 20}},
                                       o, &b)
             .isOk())
        return false;
    for (int day = 0; day < 3; ++day) // from 2026-03-02
        for (int hour : {9, 10})
            for (int minute : {0, 15, 45})
                if (!b->addRecord({value(Value::Kind::Date, 739677 + day),
                                   value(Value::Kind::Time, (hour * 60 + minute) * kMinute),
                                   value(Value::Kind::Integer, 3), value(Value::Kind::Text, 0, "spots")})
                         .isOk())
                    return false;
    return b->write(std::string(kJournalFolder) + "AdvBlock.db").isOk();
}

std::vector<std::byte> text(const std::string& s)
{
    return {reinterpret_cast<const std::byte*>(s.data()), reinterpret_cast<const std::byte*>(s.data()) + s.size()};
}

bool moveQuarterPast(paradox::Table& t)
{
    const int time = t.fieldIndex("FTime");
    for (t.first(); !t.eof(); t.next()) {
        paradox::DateTime v = 0;
        if (!t.readDateTime(time, &v).isOk())
            return false;
        const std::int64_t ms = std::llround(v * 86'400'000.0);
        if (ms / kMinute % 60 != 15)
            continue;
        if (!t.edit().isOk() || !t.setDateTime(time, static_cast<double>(ms + 35 * kMinute) / 86'400'000.0).isOk() ||
            !t.post().isOk())
            return false;
    }
    return true;
}

} // namespace

bool buildJournalFolder(testsupport::MemoryFileSystem* fs)
{
    if (!buildGrid(fs) || !buildFilling(fs))
        return false;
    const std::string db = kJournalFolder;
    fs->files[db + "AdvSetBlk.lck"] = text(std::string(64, '\0'));
    fs->files[db + "notes.txt"] = text("Spots for March: see the grid.\n");
    fs->files[db + "Prices.db"] = fs->files.at(db + "AdvBlock.db");
    fs->files["AdvBlock.db"] = fs->files.at(db + "AdvBlock.db");
    fs->files["outside/AdvSetBlk.db"] = fs->files.at(db + "AdvSetBlk.db");
    return true;
}

paradox::Journal folderJournal(paradox::FileSystem& fs)
{
    return paradox::Journal(fs, kJournalFolder, kJournalName, {"AdvSetBlk.db", "AdvBlock.db"});
}

bool isTableFile(const std::string& path)
{
    const std::string db = kJournalFolder;
    if (path.compare(0, db.size(), db) != 0 || path.find('/', db.size()) != std::string::npos)
        return false;
    const std::string name = path.substr(db.size());
    const std::string stem = name.substr(0, name.find('.'));
    return (stem == "AdvSetBlk" || stem == "AdvBlock") && name != "AdvSetBlk.lck";
}

bool shiftTables(paradox::FileSystem* fs)
{
    paradox::Table::Options o;
    o.fileSystem = fs;
    std::unique_ptr<paradox::Table> grid, filling;
    const std::string db = kJournalFolder;
    if (!paradox::Table::open(db + "AdvSetBlk.db", o, &grid).isOk() ||
        !paradox::Table::open(db + "AdvBlock.db", o, &filling).isOk())
        return false;
    if (!moveQuarterPast(*grid) || !moveQuarterPast(*filling))
        return false;
    paradox::Transaction tx(*fs, kJournalName);
    tx.setNote("gridshift shift\nfrom 15\nto 50\ngrid 14\nfilling 6\nmade 2026-03-01 09:30\n");
    return tx.add(*grid).isOk() && tx.add(*filling).isOk() && tx.commit().isOk() && grid->close().isOk() &&
           filling->close().isOk();
}

std::uint32_t JournalFields::version() const
{
    return loadLE32(header.data() + kVersionAt);
}

void JournalFields::setVersion(std::uint32_t version)
{
    storeLE32(header.data() + kVersionAt, version);
}

bool parseJournal(std::span<const std::byte> j, JournalFields* out)
{
    *out = JournalFields{};
    if (j.size() < kHeader + kMark)
        return false;
    out->header.assign(j.begin(), j.begin() + kHeader);
    const std::uint32_t files = loadLE32(j.data() + kFilesAt), pieces = loadLE32(j.data() + kPiecesAt);
    const std::uint32_t noteLength = out->version() == 1 ? 0 : loadLE32(j.data() + kNoteLengthAt);
    std::size_t at = kHeader;
    const std::size_t end = j.size() - kMark;
    if (end - at < noteLength)
        return false;
    out->note.assign(reinterpret_cast<const char*>(j.data() + at), noteLength);
    at += noteLength;
    for (std::uint32_t i = 0; i < files; ++i) {
        if (end - at < 4 || end - at - 4 < std::uint64_t{loadLE32(j.data() + at)} + 8)
            return false;
        const std::uint32_t n = loadLE32(j.data() + at);
        out->files.push_back({std::string(reinterpret_cast<const char*>(j.data() + at + 4), n),
                              loadLE64(j.data() + at + 4 + n)});
        at += 4 + n + 8;
    }
    for (std::uint32_t i = 0; i < pieces; ++i) {
        if (end - at < 16 || (end - at - 16) / 2 < loadLE32(j.data() + at + 4))
            return false;
        const std::size_t images = 2 * std::size_t{loadLE32(j.data() + at + 4)};
        out->pieces.push_back({loadLE32(j.data() + at), loadLE64(j.data() + at + 8),
                               std::vector<std::byte>(j.begin() + static_cast<long>(at + 16),
                                                      j.begin() + static_cast<long>(at + 16 + images))});
        at += 16 + images;
    }
    return true;
}

std::vector<std::byte> layOutJournal(const JournalFields& f)
{
    std::vector<std::byte> j = f.header;
    auto put = [&](std::uint64_t v, int bytes) {
        std::byte b[8];
        bytes == 4 ? storeLE32(b, static_cast<std::uint32_t>(v)) : storeLE64(b, v);
        j.insert(j.end(), b, b + bytes);
    };
    const bool noted = f.version() != 1;
    if (noted) {
        const auto* note = reinterpret_cast<const std::byte*>(f.note.data());
        j.insert(j.end(), note, note + f.note.size());
    }
    for (const JournalFields::FileEntry& e : f.files) {
        put(e.name.size(), 4);
        const auto* name = reinterpret_cast<const std::byte*>(e.name.data());
        j.insert(j.end(), name, name + e.name.size());
        put(e.size, 8);
    }
    for (const JournalFields::Piece& p : f.pieces) {
        put(p.file, 4);
        put(p.images.size() / 2, 4);
        put(p.offset, 8);
        j.insert(j.end(), p.images.begin(), p.images.end());
    }
    storeLE32(j.data() + kFilesAt, static_cast<std::uint32_t>(f.files.size()));
    storeLE32(j.data() + kPiecesAt, static_cast<std::uint32_t>(f.pieces.size()));
    storeLE32(j.data() + kNoteLengthAt, noted ? static_cast<std::uint32_t>(f.note.size()) : 0);
    j.resize(j.size() + kMark);
    return j;
}

bool journalFinished(std::span<const std::byte> j)
{
    if (j.size() < kHeader + kMark ||
        loadLE64(j.data() + kHeaderSumAt) != paradox::journalChecksum(j.data(), kHeaderSumAt))
        return false;
    const std::byte* mark = j.data() + j.size() - kMark;
    return std::memcmp(mark, "COMMITTD", 8) == 0 &&
           loadLE64(mark + 8) == paradox::journalChecksum(j.data(), kHeader, 0x6D61726B);
}

void sealJournal(std::vector<std::byte>& j, bool mark)
{
    if (j.size() < kHeader + kMark)
        return;
    const std::size_t body = j.size() - kHeader - kMark;
    storeLE64(j.data() + kBodyLengthAt, body);
    storeLE64(j.data() + kBodySumAt, paradox::journalChecksum(j.data() + kHeader, body));
    storeLE64(j.data() + kHeaderSumAt, paradox::journalChecksum(j.data(), kHeaderSumAt));
    if (mark) {
        std::memcpy(j.data() + j.size() - kMark, "COMMITTD", 8);
        storeLE64(j.data() + j.size() - 8, paradox::journalChecksum(j.data(), kHeader, 0x6D61726B));
    }
}

} // namespace fuzzing
