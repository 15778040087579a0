// libFuzzer target for the journal's reader: each input is a journal put
// into a folder of two small tables and files no journal may write, which is
// then opened as the next gridshift would, recovering it, and its last
// change undone; Guard checks the folder's rules whatever the journal says.
// The input's first byte says how: bit 0 seal the journal (body length and
// checksums set as a writer sets them, so that a changed body is read, not
// set aside), bit 1 with a commit mark; bit 2 another program holds
// AdvSetBlk.lck; bit 3 the tables are as after the shift, not before it.
//
// Checksums and length-prefixed fields leave byte mutations little to try
// but torn journals, so half of the mutations edit one field of a journal
// and seal it, starting from the journals of a real shift and its undoing.

#include "memory_file_system.h"

#include "paradox/coding.h"
#include "paradox/journal.h"
#include "paradox/table_builder.h"
#include "paradox/transaction.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <regex>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using paradox::Status;
using paradox::Value;
using paradox::coding::loadLE32;
using paradox::coding::loadLE64;
using paradox::coding::storeLE32;
using paradox::coding::storeLE64;
using Bytes = std::vector<std::byte>;
using Files = std::map<std::string, Bytes>;

const std::string kDb = "db/", kJournal = kDb + "gridshift.jnl", kTemporary = kJournal + ".tmp";
constexpr std::size_t kHeader = 64, kMark = 16;
constexpr std::int64_t kMinute = 60'000;

[[noreturn]] void fail(const char* rule, const std::string& detail)
{
    std::fprintf(stderr, "broken rule: %s (%s)\n", rule, detail.c_str());
    std::abort();
}

paradox::Journal folderJournal(paradox::FileSystem& fs)
{
    return paradox::Journal(fs, kDb, "gridshift.jnl", {"AdvSetBlk.db", "AdvBlock.db"});
}

struct Folder {
    Files before, after;          // the tables as before and as after a shift
    std::set<std::string> tables; // the tables' files
    Bytes change, undo;           // the journals of the shift and of its undoing
};

const Folder& folder()
{
    static const Folder built = [] {
        using K = Value::Kind;
        using T = paradox::FieldType;
        const std::string names[] = {"AdvSetBlk.db", "AdvBlock.db"};
        Folder f;
        testsupport::MemoryFileSystem fs;
        // The grid keyed, with two secondary indexes, the filling with one;
        // blocks at 0, 15 and 45 past 9 and 10 on four days.
        for (int grid : {1, 0}) {
            paradox::CreateOptions o;
            o.keyFields = 2 * grid;
            o.recordsPerBlock = 4;
            o.updateTime = 1700000000;
            o.fileSystem = &fs;
            o.indexes = {{.fields = {"FSize"}}, {.fields = {"FDay", "FSize"}, .name = "DayLength"}};
            o.indexes.resize(1 + grid);
            std::unique_ptr<paradox::TableBuilder> b;
            bool ok = paradox::TableBuilder::create(
                          {{"FDay", T::Short}, {"FTime", T::Time}, {"FSize", T::Time}, {"FName", T::Alpha, 20}}, o,
                          &b)
                          .isOk();
            for (int day = 0; day < 4; ++day)
                for (std::int64_t minute : {540, 555, 585, 600, 615, 645})
                    ok = ok && b->addRecord({{.kind = K::Integer, .integer = day},
                                             {.kind = K::Time, .integer = minute * kMinute},
                                             {.kind = K::Time, .integer = (2 + minute % 2) * kMinute},
                                             {.kind = K::Text, .text = "block"}})
                                   .isOk();
            if (!ok || !b->write(kDb + names[1 - grid]).isOk())
                fail("the folder builds", names[1 - grid]);
        }
        for (const auto& [path, bytes] : fs.files)
            f.tables.insert(path);
        // The engine's lock file, a note, a copy of a table under another
        // name, and copies outside the folder.
        fs.files[kDb + "AdvSetBlk.lck"] = Bytes(64);
        fs.files[kDb + "notes.txt"] = Bytes(30, std::byte{'n'});
        fs.files[kDb + "Prices.db"] = fs.files["AdvBlock.db"] = fs.files.at(kDb + "AdvBlock.db");
        fs.files["outside/AdvSetBlk.db"] = fs.files.at(kDb + "AdvSetBlk.db");
        f.before = fs.files;

        // A shift from 15 to 50 and its undoing.
        paradox::Table::Options o;
        o.fileSystem = &fs;
        paradox::Transaction tx(fs, "gridshift.jnl");
        tx.setNote("gridshift shift\nfrom 15\nto 50\n");
        std::unique_ptr<paradox::Table> t[2];
        bool ok = true;
        for (int i = 0; i < 2; ++i) {
            if (!paradox::Table::open(kDb + names[i], o, &t[i]).isOk())
                fail("the folder builds", names[i]);
            for (t[i]->first(); ok && !t[i]->eof(); t[i]->next()) {
                paradox::DateTime v = 0;
                ok = t[i]->readDateTime(1, &v).isOk();
                const std::int64_t ms = std::llround(v * 86'400'000.0);
                if (ok && ms / kMinute % 60 == 15)
                    ok = t[i]->edit().isOk() && t[i]->setDateTime(1, (ms + 35.0 * kMinute) / 86'400'000.0).isOk() &&
                         t[i]->post().isOk();
            }
            ok = ok && tx.add(*t[i]).isOk();
        }
        if (!ok || !tx.commit().isOk() || !t[0]->close().isOk() || !t[1]->close().isOk())
            fail("the folder builds", "the shift failed");
        f.change = fs.files.at(kJournal);
        f.after = fs.files;
        f.after.erase(kJournal);
        std::vector<std::string> undone;
        if (!folderJournal(fs).undoLast(&undone).isOk())
            fail("the folder builds", "the undo failed");
        f.undo = fs.files.at(kJournal);
        return f;
    }();
    return built;
}

// A journal taken apart (docs/journal.md has the format): its header, its
// note, and each file's entry and each piece as its bytes.
struct Parts {
    Bytes header, note;
    std::vector<Bytes> files, pieces;
};

bool split(std::span<const std::byte> j, Parts* out)
{
    *out = {};
    if (j.size() < kHeader + kMark)
        return false;
    std::size_t at = kHeader;
    const std::size_t end = j.size() - kMark;
    auto take = [&](std::uint64_t n, Bytes* to) {
        if (n > end - at)
            return false;
        to->assign(j.begin() + static_cast<long>(at), j.begin() + static_cast<long>(at + n));
        at += n;
        return true;
    };
    // A length that a part gives `offset` bytes into it; too long when cut.
    auto length = [&](std::size_t offset) {
        return end - at < offset + 4 ? std::uint64_t{1} << 40 : std::uint64_t{loadLE32(j.data() + at + offset)};
    };
    out->header.assign(j.begin(), j.begin() + kHeader);
    if (!take(loadLE32(j.data() + 8) == 1 ? 0 : loadLE32(j.data() + 40), &out->note))
        return false;
    for (std::uint32_t i = loadLE32(j.data() + 32); i > 0; --i)
        if (!take(4 + length(0) + 8, &out->files.emplace_back()))
            return false;
    for (std::uint32_t i = loadLE32(j.data() + 36); i > 0; --i)
        if (!take(16 + 2 * length(4), &out->pieces.emplace_back()))
            return false;
    return true;
}

// The parts laid out with their counts and the note's length (none in the
// first format), the commit mark clear.
Bytes join(const Parts& p)
{
    Bytes j = p.header;
    const bool noted = loadLE32(j.data() + 8) != 1;
    storeLE32(j.data() + 32, static_cast<std::uint32_t>(p.files.size()));
    storeLE32(j.data() + 36, static_cast<std::uint32_t>(p.pieces.size()));
    storeLE32(j.data() + 40, noted ? static_cast<std::uint32_t>(p.note.size()) : 0);
    if (noted)
        j.insert(j.end(), p.note.begin(), p.note.end());
    for (const std::vector<Bytes>* list : {&p.files, &p.pieces})
        for (const Bytes& b : *list)
            j.insert(j.end(), b.begin(), b.end());
    j.resize(j.size() + kMark);
    return j;
}

// Sets the header's checksum as a writer would, with `body` the body's
// length and checksum first, with `mark` the commit mark that belongs to them.
void seal(Bytes& j, bool body, bool mark)
{
    if (j.size() < kHeader + kMark)
        return;
    if (body) {
        storeLE64(j.data() + 16, j.size() - kHeader - kMark);
        storeLE64(j.data() + 24, paradox::journalChecksum(j.data() + kHeader, j.size() - kHeader - kMark));
    }
    storeLE64(j.data() + 56, paradox::journalChecksum(j.data(), 56));
    if (mark) {
        std::memcpy(j.data() + j.size() - kMark, "COMMITTD", 8);
        storeLE64(j.data() + j.size() - 8, paradox::journalChecksum(j.data(), kHeader, 0x6D61726B));
    }
}

// Only the tables' files and the journal are opened for writing; only the
// journal's names are created, renamed or removed, in the writer's steps
// (written as .tmp and renamed into place, or set aside as .damaged* and
// never replaced there). A table is not written while another program holds
// its lock file, and only with a run of bytes that a journal in the folder
// holds (an undo writes pieces joined, as its own journal records them).
// The journal in place goes only once its change finished or every piece
// holds its before-image again: else it is the one way back.
class Guard : public testsupport::MemoryFileSystem {
public:
    Guard(const Files& start, const Bytes& journal, bool gridLocked) : m_journals{journal}, m_gridLocked(gridLocked)
    {
        files = start;
        files[kJournal] = journal;
        if (gridLocked)
            lockedFiles.insert(kDb + "AdvSetBlk.lck");
    }

    Status open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out) override
    {
        if (mode == paradox::OpenMode::ReadWrite && path != kJournal && !folder().tables.count(path))
            fail("only the tables and the journal are opened for writing", path);
        return MemoryFileSystem::open(path, mode, out);
    }
    void writing(const std::string& path, std::span<const std::byte> data) override
    {
        if (path == kJournal) // its commit mark
            return;
        if (m_gridLocked && path.starts_with(kDb + "AdvSetBlk."))
            fail("a table whose lock file is held is not written", path);
        for (const Bytes& j : m_journals)
            if (data.empty() || memmem(j.data(), j.size(), data.data(), data.size()))
                return;
        fail("a table gets only bytes from a journal", path + " at a write of " + std::to_string(data.size()));
    }
    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        if (path != kTemporary)
            fail("a journal is created under its temporary name only", path);
        m_journals.emplace_back(data.begin(), data.end());
        return MemoryFileSystem::createFile(path, data);
    }
    Status rename(const std::string& from, const std::string& to) override
    {
        static const std::regex setAside("db/gridshift\\.jnl\\.damaged(\\.[0-9]+)?");
        const bool placed = from == kTemporary && to == kJournal;
        if (!placed && !(from == kJournal && std::regex_match(to, setAside)))
            fail("a journal is renamed only into place or aside", from + " to " + to);
        if (!placed && files.count(to))
            fail("a journal set aside is never replaced", to);
        if (placed)
            checkJournalMayGo();
        return MemoryFileSystem::rename(from, to);
    }
    Status remove(const std::string& path) override
    {
        if (path != kJournal && path != kTemporary)
            fail("only the journal and its temporary file are removed", path);
        if (path == kJournal)
            checkJournalMayGo();
        return MemoryFileSystem::remove(path);
    }

private:
    void checkJournalMayGo() const
    {
        auto it = files.find(kJournal);
        Bytes sealed = it == files.end() ? Bytes() : it->second;
        seal(sealed, false, true);
        if (it == files.end() || (sealed.size() >= kHeader + kMark && sealed == it->second))
            return; // gone already, or its change finished
        Parts p;
        bool back = split(it->second, &p);
        for (std::size_t k = 0; back && k < p.pieces.size(); ++k) {
            const Bytes& piece = p.pieces[k];
            const std::uint32_t file = loadLE32(piece.data()), length = loadLE32(piece.data() + 4);
            const std::uint64_t offset = loadLE64(piece.data() + 8);
            auto f = file < p.files.size()
                         ? files.find(kDb + std::string(reinterpret_cast<const char*>(p.files[file].data() + 4),
                                                        p.files[file].size() - 12))
                         : files.end();
            back = f != files.end() && offset <= f->second.size() && length <= f->second.size() - offset &&
                   std::equal(piece.begin() + 16, piece.begin() + 16 + length, f->second.begin() + offset);
        }
        if (!back)
            fail("a journal goes only once finished or rolled back", kJournal);
    }

    std::vector<Bytes> m_journals; // the input's and those written since
    bool m_gridLocked;
};

// Names a journal must never reach through, the folder's other files, the
// journal's own, the tables' (one only as the journal spells it) and one
// differing from a table's by case alone.
// clang-format off
const char* const kNames[] = {
    "../AdvBlock.db", "..\\AdvBlock.db", "./AdvSetBlk.db", "/db/AdvBlock.db", "C:AdvBlock.db", "AdvBlock.db:x",
    "../outside/AdvSetBlk.db", "..", "", "Prices.db", "notes.txt", "AdvSetBlk.lck", "gridshift.jnl",
    "gridshift.jnl.tmp", "gridshift.jnl.damaged", "AdvSetBlk.db", "AdvSetBlk.px", "AdvSetBlk.x03", "AdvSetBlk.yg0",
    "AdvBlock.db", "AdvBlock.px", "AdvBlock.xg0", "AdvBlock.x99", "ADVBLOCK.DB"};
// clang-format on

// Changes one field of the journal in `j`: false when it does not come apart.
bool editField(Bytes& j, std::minstd_rand& random)
{
    Parts p;
    if (!split(j, &p))
        return false;
    auto pick = [&](std::size_t n) { return n ? static_cast<std::size_t>(random() % n) : 0; };
    std::vector<Bytes>& list = random() % 2 || p.pieces.empty() ? p.files : p.pieces;
    const std::size_t i = pick(list.size());
    switch (pick(8)) {
    case 0: { // a name, perhaps cut short by a NUL
        if (p.files.empty())
            return false;
        Bytes& e = p.files[pick(p.files.size())];
        const std::string name = kNames[pick(std::size(kNames))] + std::string(random() % 4 ? 0 : 1, '\0');
        Bytes entry(4 + name.size());
        storeLE32(entry.data(), static_cast<std::uint32_t>(name.size()));
        std::memcpy(entry.data() + 4, name.data(), name.size());
        entry.insert(entry.end(), e.end() - 8, e.end());
        e = std::move(entry);
        break;
    }
    case 1: { // a piece's length, both images cut or grown alike
        if (p.pieces.empty())
            return false;
        Bytes& q = p.pieces[pick(p.pieces.size())];
        const std::size_t old = loadLE32(q.data() + 4);
        const std::size_t lengths[] = {0, 1, old ? old - 1 : 2, old + 1, 2 * old + 1, 513};
        const std::size_t length = lengths[pick(std::size(lengths))], kept = std::min(old, length);
        Bytes piece(q.begin(), q.begin() + 16);
        storeLE32(piece.data() + 4, static_cast<std::uint32_t>(length));
        piece.resize(16 + 2 * length);
        std::copy_n(q.begin() + 16, kept, piece.begin() + 16);
        std::copy_n(q.begin() + 16 + static_cast<long>(old), kept, piece.begin() + 16 + static_cast<long>(length));
        q = std::move(piece);
        break;
    }
    case 2: // a file or a piece twice, gone, or out of order
        if (list.empty())
            return false;
        if (random() % 3 == 0)
            std::swap(list[i], list[(i + 1) % list.size()]);
        else
            random() % 2 ? list.insert(list.begin() + static_cast<long>(i), Bytes(list[i]))
                         : list.erase(list.begin() + static_cast<long>(i));
        break;
    case 3: // the other format
        storeLE32(p.header.data() + 8, loadLE32(p.header.data() + 8) == 1 ? 2 : 1);
        break;
    default: {
        // A number (the version, the kind, a file's size, a piece's file,
        // length or offset) set to a bound, its own value, a file's size, or
        // where a piece starts or ends; as is, one off, or less a length.
        struct Field {
            Bytes* part;
            std::size_t at, width;
        };
        std::vector<Field> fields = {{&p.header, 8, 4}, {&p.header, 12, 4}};
        std::vector<std::uint64_t> values = {0, 65536, std::uint64_t{1} << 32, std::uint64_t{1} << 63},
                                   deltas = {0, 1, 0 - std::uint64_t{1}};
        for (const auto& [path, bytes] : folder().before)
            values.push_back(bytes.size());
        for (Bytes& e : p.files)
            fields.push_back({&e, e.size() - 8, 8});
        for (Bytes& q : p.pieces) {
            fields.insert(fields.end(), {{&q, 0, 4}, {&q, 4, 4}, {&q, 8, 8}});
            values.insert(values.end(), {loadLE64(q.data() + 8), loadLE64(q.data() + 8) + loadLE32(q.data() + 4)});
            deltas.push_back(0 - std::uint64_t{loadLE32(q.data() + 4)});
        }
        const Field f = fields[pick(fields.size())];
        std::byte* at = f.part->data() + f.at;
        values.push_back(f.width == 4 ? loadLE32(at) : loadLE64(at));
        const std::uint64_t v = values[pick(values.size())] + deltas[pick(deltas.size())];
        f.width == 4 ? storeLE32(at, static_cast<std::uint32_t>(v)) : storeLE64(at, v);
    }
    }
    j = join(p);
    return true;
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    std::minstd_rand random(seed);
    unsigned how = size ? data[0] : 0;
    Bytes j(reinterpret_cast<const std::byte*>(data) + (size ? 1 : 0),
            reinterpret_cast<const std::byte*>(data) + size);
    if (j.size() < kHeader + kMark || random() % 32 == 0) {
        // A real journal, finished or not, of the shift or of its undoing.
        j = random() % 2 ? folder().change : folder().undo;
        if (random() % 2)
            std::fill(j.end() - kMark, j.end(), std::byte{0});
        how = static_cast<unsigned>(random() % 16);
    } else if (random() % 2 && editField(j, random)) {
        how = (how & ~3u) | (random() % 2 ? 1u : 3u);
    } else {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    if (j.size() + 1 > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    data[0] = static_cast<std::uint8_t>(how);
    std::memcpy(data + 1, j.data(), j.size());
    return j.size() + 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned how = data[0];
    Bytes journal(reinterpret_cast<const std::byte*>(data) + 1, reinterpret_cast<const std::byte*>(data) + size);
    if (how & 3)
        seal(journal, true, how & 2);
    Guard fs(how & 8 ? folder().after : folder().before, journal, how & 4);
    const paradox::Journal j = folderJournal(fs);
    paradox::Recovery recovery;
    (void)j.recover(&recovery);
    std::vector<std::string> undone;
    (void)j.undoLast(&undone);
    return 0;
}
