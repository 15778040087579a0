// libFuzzer target for the journal's reader.
//
// Each input is a journal put into a folder of small tables and other files
// (see journal_folder.h); the folder is then opened as the next gridshift
// would, recovering it, and its last change undone. Besides the sanitizers'
// checks, these rules are enforced whatever the journal says: only the two
// tables' files are written; the journal's names alone are created, renamed
// or removed, and in the writer's steps only (a journal written under its
// temporary name and renamed into place, or set aside under a new name and
// never removed or replaced there); a journal in place goes only once its
// change finished or its files hold its before-images; and every write into a
// table is a run of bytes that the journal holds, or that a journal written
// since holds (undoing writes pieces joined, as its own journal records them).
//
// The first byte of an input says how to use the rest:
//   bit 0  seal it: set the body length and the checksums as a writer would,
//          so that a changed body is read, not set aside;
//   bit 1  seal it and give it a valid commit mark, so that it reads as finished;
//   bit 2  another program holds AdvSetBlk.lck: no AdvSetBlk file may change;
//   bit 3  the tables are as after the seeds' shift, not as before it.
//
// Checksums and length-prefixed fields leave plain byte mutations almost
// nothing to try but torn journals, so half of the mutations are made on a
// journal's fields (its note, a name, a size, an offset, a length, a count,
// the order of its pieces), which are then laid out again and sealed.

#include "journal_folder.h"

#include "paradox/coding.h"
#include "paradox/journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using paradox::Status;
using testsupport::MemoryFileSystem;

[[noreturn]] void fail(const char* rule, const std::string& detail)
{
    std::fprintf(stderr, "broken rule: %s (%s)\n", rule, detail.c_str());
    std::abort();
}

// The file a path reaches as a system would resolve it: either separator,
// "." and ".." followed, and a NUL ending the name as it ends a C string.
std::string resolve(const std::string& path)
{
    const std::string cut = path.substr(0, path.find('\0'));
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 0; i <= cut.size(); ++i) {
        if (i < cut.size() && cut[i] != '/' && cut[i] != '\\') {
            part += cut[i];
            continue;
        }
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    }
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

const std::string kJournalPath = std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName;
const std::string kTemporaryPath = kJournalPath + ".tmp";

// gridshift.jnl.damaged, .damaged.2, ...
bool isSetAsideName(const std::string& path)
{
    const std::string damaged = kJournalPath + ".damaged";
    if (path == damaged)
        return true;
    if (path.compare(0, damaged.size() + 1, damaged + ".") != 0 || path.size() == damaged.size() + 1)
        return false;
    return path.find_first_not_of("0123456789", damaged.size() + 1) == std::string::npos;
}

// The folder's files behind the rules above.
class Guard : public paradox::FileSystem {
public:
    Guard(MemoryFileSystem& inner, std::vector<std::byte> journal, bool gridLocked)
        : m_inner(inner), m_gridLocked(gridLocked)
    {
        m_journals.push_back(std::move(journal));
    }

    void checkWrite(const std::string& path, std::span<const std::byte> data) const
    {
        if (path == kJournalPath) // its commit mark
            return;
        if (!fuzzing::isTableFile(path))
            fail("only the tables are written", path);
        if (m_gridLocked && path.rfind(std::string(fuzzing::kJournalFolder) + "AdvSetBlk.", 0) == 0)
            fail("a table whose lock file is held is not written", path);
        for (const std::vector<std::byte>& j : m_journals)
            if (data.empty() || memmem(j.data(), j.size(), data.data(), data.size()))
                return;
        fail("a table gets only bytes from a journal", path + " at a write of " + std::to_string(data.size()));
    }

    Status open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out) override;
    Status openEntry(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out) override;
    Status openReader(const std::string& path, std::unique_ptr<paradox::FileReader>* out) override
    {
        return m_inner.openReader(resolve(path), out);
    }
    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        const std::string p = resolve(path);
        if (p != kTemporaryPath)
            fail("a journal is created under its temporary name only", p);
        m_journals.emplace_back(data.begin(), data.end());
        return m_inner.createFile(p, data);
    }
    Status probeLock(const std::string& path, bool* locked) override
    {
        return m_inner.probeLock(resolve(path), locked);
    }
    Status listDirectory(const std::string& dir, std::vector<std::string>* names) override
    {
        return m_inner.listDirectory(resolve(dir), names);
    }
    Status rename(const std::string& from, const std::string& to) override
    {
        const std::string f = resolve(from), t = resolve(to);
        const bool placed = f == kTemporaryPath && t == kJournalPath;
        const bool setAside = f == kJournalPath && isSetAsideName(t);
        if (!placed && !setAside)
            fail("a journal is renamed only into place or aside", f + " to " + t);
        if (setAside && m_inner.files.count(t))
            fail("a journal set aside is never replaced", t);
        if (placed)
            checkJournalMayGo();
        return m_inner.rename(f, t);
    }
    Status remove(const std::string& path) override
    {
        const std::string p = resolve(path);
        if (p != kJournalPath && p != kTemporaryPath)
            fail("only the journal and its temporary file are removed", p);
        if (p == kJournalPath)
            checkJournalMayGo();
        return m_inner.remove(p);
    }
    Status syncDirectory(const std::string& dir) override { return m_inner.syncDirectory(resolve(dir)); }

private:
    // The journal in place is removed or replaced only when its change
    // finished or every piece's range holds its before-image again: else it
    // is the one way back to whole tables.
    void checkJournalMayGo() const
    {
        auto it = m_inner.files.find(kJournalPath);
        if (it == m_inner.files.end() || fuzzing::journalFinished(it->second))
            return;
        fuzzing::JournalFields f;
        bool back = fuzzing::parseJournal(it->second, &f);
        for (std::size_t i = 0; back && i < f.pieces.size(); ++i) {
            const fuzzing::JournalFields::Piece& p = f.pieces[i];
            const std::size_t length = p.images.size() / 2;
            auto file = p.file < f.files.size()
                            ? m_inner.files.find(std::string(fuzzing::kJournalFolder) + f.files[p.file].name)
                            : m_inner.files.end();
            back = file != m_inner.files.end() && p.offset <= file->second.size() &&
                   length <= file->second.size() - p.offset &&
                   std::equal(p.images.begin(), p.images.begin() + static_cast<long>(length),
                              file->second.begin() + static_cast<long>(p.offset));
        }
        if (!back)
            fail("a journal goes only once finished or rolled back", kJournalPath);
    }

    MemoryFileSystem& m_inner;
    std::vector<std::vector<std::byte>> m_journals;
    bool m_gridLocked;
};

class GuardedFile : public paradox::File {
public:
    GuardedFile(std::unique_ptr<paradox::File> inner, std::string path, const Guard& guard)
        : m_inner(std::move(inner)), m_path(std::move(path)), m_guard(guard)
    {
    }
    const std::string& path() const override { return m_inner->path(); }
    bool writable() const override { return m_inner->writable(); }
    std::span<const std::byte> contents() const override { return m_inner->contents(); }
    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        m_guard.checkWrite(m_path, data);
        return m_inner->writeAt(offset, data);
    }
    Status writeRuns(std::span<const Run> runs) override
    {
        for (const Run& r : runs)
            m_guard.checkWrite(m_path, r.data);
        return m_inner->writeRuns(runs);
    }
    Status sync() override { return m_inner->sync(); }
    Status lockExclusive() override { return m_inner->lockExclusive(); }
    Status checkUnchanged() override { return m_inner->checkUnchanged(); }
    Status close() override { return m_inner->close(); }

private:
    std::unique_ptr<paradox::File> m_inner;
    std::string m_path;
    const Guard& m_guard;
};

Status Guard::open(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out)
{
    const std::string p = resolve(path);
    std::unique_ptr<paradox::File> inner;
    Status st = m_inner.open(p, mode, &inner);
    if (st.isOk())
        *out = std::make_unique<GuardedFile>(std::move(inner), p, *this);
    return st;
}

Status Guard::openEntry(const std::string& path, paradox::OpenMode mode, std::unique_ptr<paradox::File>* out)
{
    const std::string p = resolve(path);
    std::unique_ptr<paradox::File> inner;
    Status st = m_inner.openEntry(p, mode, &inner);
    if (st.isOk())
        *out = std::make_unique<GuardedFile>(std::move(inner), p, *this);
    return st;
}

struct Folders {
    MemoryFileSystem before, after;
};

const Folders& folders()
{
    static const Folders built = [] {
        Folders f;
        if (!fuzzing::buildJournalFolder(&f.before))
            fail("the folder builds", "TableBuilder failed");
        f.after = f.before;
        if (!fuzzing::shiftTables(&f.after))
            fail("the folder builds", "the shift failed");
        f.after.files.erase(std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName);
        return f;
    }();
    return built;
}

// Names a journal must never reach through, names of the folder's files and
// of the journal's own, and names that differ from a table's by case alone.
const char* const kNames[] = {"../AdvBlock.db",
                              "..\\AdvBlock.db",
                              "./AdvSetBlk.db",
                              ".\\AdvSetBlk.db",
                              "db/AdvSetBlk.db",
                              "/db/AdvBlock.db",
                              "C:AdvBlock.db",
                              "AdvBlock.db:x",
                              "../outside/AdvSetBlk.db",
                              "Prices.db",
                              "notes.txt",
                              "AdvSetBlk.lck",
                              "gridshift.jnl",
                              "gridshift.jnl.tmp",
                              "gridshift.jnl.damaged",
                              "AdvSetBlk.db",
                              "AdvSetBlk.px",
                              "AdvSetBlk.x03",
                              "AdvSetBlk.yg0",
                              "AdvBlock.db",
                              "AdvBlock.px",
                              "AdvBlock.xg0",
                              "ADVBLOCK.DB",
                              "AdvSetBlk.X03",
                              "AdvBlock.x99",
                              ".",
                              "..",
                              ""};

// Changes one field of the journal in `j`; false when it is not one.
bool mutateFields(std::vector<std::byte>& j, std::minstd_rand& random)
{
    fuzzing::JournalFields f;
    if (!fuzzing::parseJournal(j, &f))
        return false;
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    std::vector<std::uint64_t> sizes = {0, std::numeric_limits<std::uint64_t>::max()};
    for (const auto& [path, bytes] : folders().before.files)
        sizes.push_back(bytes.size());
    // A count or the note's length set against what the body holds.
    std::size_t pokeAt = 0;
    std::uint32_t pokeValue = 0;
    switch (pick(10)) {
    case 0:
        if (f.files.empty())
            return false;
        f.files[pick(f.files.size())].name = kNames[pick(std::size(kNames))];
        if (random() % 4 == 0)
            f.files[pick(f.files.size())].name += '\0';
        break;
    case 1:
        if (f.files.empty())
            return false;
        f.files[pick(f.files.size())].size = sizes[pick(sizes.size())];
        break;
    case 2: {
        if (f.pieces.empty())
            return false;
        fuzzing::JournalFields::Piece& p = f.pieces[pick(f.pieces.size())];
        const std::uint64_t length = p.images.size() / 2;
        const std::uint64_t offsets[] = {0,
                                         sizes[pick(sizes.size())],
                                         sizes[pick(sizes.size())] - length,
                                         std::uint64_t{1} << 32,
                                         std::uint64_t{1} << 63,
                                         0 - length};
        p.offset = offsets[pick(std::size(offsets))];
        break;
    }
    case 3:
        if (f.pieces.empty())
            return false;
        f.pieces[pick(f.pieces.size())].file = static_cast<std::uint32_t>(pick(f.files.size() + 2));
        break;
    case 4: {
        const bool pieces = !f.pieces.empty() && random() % 2;
        if (pieces && random() % 2)
            f.pieces.push_back(f.pieces[pick(f.pieces.size())]);
        else if (pieces)
            f.pieces.erase(f.pieces.begin() + static_cast<long>(pick(f.pieces.size())));
        else if (!f.files.empty() && random() % 2)
            f.files.push_back(f.files[pick(f.files.size())]);
        else if (!f.files.empty())
            f.files.erase(f.files.begin() + static_cast<long>(pick(f.files.size())));
        break;
    }
    case 5: {
        // Another length, both images cut or grown alike.
        if (f.pieces.empty())
            return false;
        fuzzing::JournalFields::Piece& p = f.pieces[pick(f.pieces.size())];
        const std::size_t old = p.images.size() / 2;
        const std::size_t lengths[] = {0, 1, old > 1 ? old - 1 : 1, old + 1, 2 * old + 1, 513};
        const std::size_t length = lengths[pick(std::size(lengths))];
        std::vector<std::byte> images(2 * length, std::byte{0});
        std::copy_n(p.images.begin(), std::min(old, length), images.begin());
        std::copy_n(p.images.begin() + static_cast<long>(old), std::min(old, length),
                    images.begin() + static_cast<long>(length));
        p.images = std::move(images);
        break;
    }
    case 6: {
        // Pieces out of order, or one moved onto its neighbour's end.
        if (f.pieces.size() < 2)
            return false;
        const std::size_t i = 1 + pick(f.pieces.size() - 1);
        fuzzing::JournalFields::Piece &p = f.pieces[i], &before = f.pieces[i - 1];
        if (random() % 2)
            std::swap(p, before);
        else
            p.offset = before.offset + before.images.size() / 2 - pick(2);
        break;
    }
    case 7: {
        const std::string notes[] = {"", "gridshift shift\nfrom 15\nto 50\n", std::string(1 + pick(4096), 'n'),
                                     std::string("\0\xff\xfe\n", 4)};
        f.note = notes[pick(std::size(notes))];
        break;
    }
    case 8:
        if (random() % 2)
            f.setVersion(static_cast<std::uint32_t>(pick(4)));
        else
            paradox::coding::storeLE32(f.header.data() + 12, static_cast<std::uint32_t>(pick(4)) - (random() % 2));
        break;
    default: {
        const std::size_t fields[] = {32, 36, 40};
        const std::uint32_t counts[] = {static_cast<std::uint32_t>(f.files.size()),
                                        static_cast<std::uint32_t>(f.pieces.size()),
                                        static_cast<std::uint32_t>(f.note.size())};
        const std::size_t which = pick(3);
        const std::uint32_t values[] = {0, 1, counts[which] - 1, counts[which] + 1, 0xFFFFFFFF, 65536, 65537};
        pokeAt = fields[which];
        pokeValue = values[pick(std::size(values))];
        break;
    }
    }
    j = fuzzing::layOutJournal(f);
    if (pokeAt)
        paradox::coding::storeLE32(j.data() + pokeAt, pokeValue);
    return true;
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed)
{
    std::minstd_rand random(seed);
    if (size > 1 && random() % 2) {
        std::vector<std::byte> j(reinterpret_cast<const std::byte*>(data) + 1,
                                 reinterpret_cast<const std::byte*>(data) + size);
        if (mutateFields(j, random) && j.size() + 1 <= maxSize) {
            data[0] = static_cast<std::uint8_t>((data[0] & ~3u) | (random() % 2 ? 1u : 3u));
            std::memcpy(data + 1, j.data(), j.size());
            return j.size() + 1;
        }
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned how = data[0];
    std::vector<std::byte> journal(reinterpret_cast<const std::byte*>(data) + 1,
                                   reinterpret_cast<const std::byte*>(data) + size);
    if (how & 3)
        fuzzing::sealJournal(journal, how & 2);

    MemoryFileSystem fs = (how & 8) ? folders().after : folders().before;
    const bool gridLocked = how & 4;
    if (gridLocked)
        fs.lockedFiles.insert(std::string(fuzzing::kJournalFolder) + "AdvSetBlk.lck");
    fs.files[std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName] = journal;

    Guard guard(fs, journal, gridLocked);
    const paradox::Journal j = fuzzing::folderJournal(guard);
    paradox::Recovery recovery;
    (void)j.recover(&recovery);
    std::vector<std::string> undone;
    (void)j.undoLast(&undone);
    return 0;
}
