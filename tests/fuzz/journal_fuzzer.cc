// libFuzzer target for the journal's reader.
//
// Each input is a journal put into a folder of small tables and other files
// (see journal_folder.h); the folder is then opened as the next gridshift
// would, recovering it, and its last change undone. Besides the sanitizers'
// checks, these rules are enforced whatever the journal says: only the two
// tables' files and the journal's own names are ever written, created,
// renamed or removed, and every write into a table is a run of bytes that
// the journal holds, or that a journal written since holds (undoing writes
// pieces joined, as its own journal records them).
//
// The first byte of an input says how to use the rest:
//   bit 0  seal it: set the body length and both checksums as a journal of
//          format 1 has them, so that a changed body is read, not set aside;
//   bit 1  seal it and give it a valid commit mark, so that it reads as finished;
//   bit 2  another program holds AdvSetBlk.lck: no AdvSetBlk file may change;
//   bit 3  the tables are as after the seeds' shift, not as before it.
//
// A checksum and length-prefixed names leave plain byte mutations almost
// nothing to try but torn journals, so half of the mutations are made on a
// journal's fields (a name, a size, an offset, a count), which are then laid
// out again and sealed.

#include "journal_folder.h"

#include "paradox/coding.h"
#include "paradox/journal.h"

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

bool isJournalName(const std::string& path)
{
    const std::string journal = std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName;
    return path.compare(0, journal.size(), journal) == 0 && path.find('/', journal.size()) == std::string::npos;
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
        if (isJournalName(path))
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
    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        const std::string p = resolve(path);
        if (!isJournalName(p))
            fail("only the journal's names are created", p);
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
        if (!isJournalName(resolve(from)) || !isJournalName(resolve(to)))
            fail("only the journal's names are renamed", resolve(from) + " to " + resolve(to));
        return m_inner.rename(resolve(from), resolve(to));
    }
    Status remove(const std::string& path) override
    {
        if (!isJournalName(resolve(path)))
            fail("only the journal's names are removed", resolve(path));
        return m_inner.remove(resolve(path));
    }
    Status syncDirectory(const std::string& dir) override { return m_inner.syncDirectory(resolve(dir)); }

private:
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

// Format 1 of the journal: a 64-byte header (body length at 16, body checksum
// at 24, header checksum at 56 over the bytes before it), the body, and a
// 16-byte commit mark ("COMMITTD", then a checksum of the header).
constexpr std::size_t kHeader = 64, kMark = 16;

void seal(std::vector<std::byte>& j, bool mark)
{
    if (j.size() < kHeader + kMark)
        return;
    using paradox::coding::storeLE64;
    const std::size_t body = j.size() - kHeader - kMark;
    storeLE64(j.data() + 16, body);
    storeLE64(j.data() + 24, paradox::journalChecksum(j.data() + kHeader, body));
    storeLE64(j.data() + 56, paradox::journalChecksum(j.data(), 56));
    if (mark) {
        std::memcpy(j.data() + j.size() - kMark, "COMMITTD", 8);
        storeLE64(j.data() + j.size() - 8, paradox::journalChecksum(j.data(), kHeader, 0x6D61726B));
    }
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

// The fields of a journal of format 1: per file a name (u32 length, bytes)
// and a size (u64); per piece its file (u32), length (u32), offset (u64) and
// both images.
struct Fields {
    struct FileEntry {
        std::string name;
        std::uint64_t size = 0;
    };
    struct Piece {
        std::uint32_t file = 0;
        std::uint64_t offset = 0;
        std::vector<std::byte> images;  // before, then after
    };
    std::vector<std::byte> header;
    std::vector<FileEntry> files;
    std::vector<Piece> pieces;
};

bool parse(std::span<const std::byte> j, Fields* out)
{
    using paradox::coding::loadLE32;
    using paradox::coding::loadLE64;
    if (j.size() < kHeader + kMark)
        return false;
    out->header.assign(j.begin(), j.begin() + kHeader);
    const std::uint32_t files = loadLE32(j.data() + 32), pieces = loadLE32(j.data() + 36);
    std::size_t at = kHeader;
    const std::size_t end = j.size() - kMark;
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

std::vector<std::byte> layOut(const Fields& f)
{
    using paradox::coding::storeLE32;
    using paradox::coding::storeLE64;
    std::vector<std::byte> j = f.header;
    auto put = [&](std::uint64_t v, int bytes) {
        std::byte b[8];
        bytes == 4 ? storeLE32(b, static_cast<std::uint32_t>(v)) : storeLE64(b, v);
        j.insert(j.end(), b, b + bytes);
    };
    for (const Fields::FileEntry& e : f.files) {
        put(e.name.size(), 4);
        const auto* name = reinterpret_cast<const std::byte*>(e.name.data());
        j.insert(j.end(), name, name + e.name.size());
        put(e.size, 8);
    }
    for (const Fields::Piece& p : f.pieces) {
        put(p.file, 4);
        put(p.images.size() / 2, 4);
        put(p.offset, 8);
        j.insert(j.end(), p.images.begin(), p.images.end());
    }
    storeLE32(j.data() + 32, static_cast<std::uint32_t>(f.files.size()));
    storeLE32(j.data() + 36, static_cast<std::uint32_t>(f.pieces.size()));
    j.resize(j.size() + kMark);
    return j;
}

// Names a journal must never reach through, and names of the folder's files.
const char* const kNames[] = {"../AdvBlock.db", "..\\AdvBlock.db", "./AdvSetBlk.db", ".\\AdvSetBlk.db",
                              "db/AdvSetBlk.db", "/db/AdvBlock.db", "C:AdvBlock.db", "AdvBlock.db:x",
                              "../outside/AdvSetBlk.db", "Prices.db", "notes.txt", "AdvSetBlk.lck",
                              "gridshift.jnl", "AdvSetBlk.db", "AdvSetBlk.px", "AdvBlock.db", "AdvBlock.xg0", ""};

// Changes one field of the journal in `data`; false when it is not one.
bool mutateFields(std::vector<std::byte>& j, std::minstd_rand& random)
{
    Fields f;
    if (!parse(j, &f))
        return false;
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    std::vector<std::uint64_t> sizes = {0, std::numeric_limits<std::uint64_t>::max()};
    for (const auto& [path, bytes] : folders().before.files)
        sizes.push_back(bytes.size());
    switch (pick(6)) {
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
        Fields::Piece& p = f.pieces[pick(f.pieces.size())];
        const std::uint64_t length = p.images.size() / 2;
        const std::uint64_t offsets[] = {0, sizes[pick(sizes.size())], sizes[pick(sizes.size())] - length,
                                         std::uint64_t{1} << 32, std::uint64_t{1} << 63, 0 - length};
        p.offset = offsets[pick(std::size(offsets))];
        break;
    }
    case 3:
        if (f.pieces.empty())
            return false;
        f.pieces[pick(f.pieces.size())].file = static_cast<std::uint32_t>(pick(f.files.size() + 2));
        break;
    case 4:
        if (!f.pieces.empty() && random() % 2)
            f.pieces.push_back(f.pieces[pick(f.pieces.size())]);
        else if (!f.files.empty())
            f.files.push_back(f.files[pick(f.files.size())]);
        break;
    default: {
        const std::uint32_t values[] = {0, 1, 2, 3, 0xFFFFFFFF};
        paradox::coding::storeLE32(f.header.data() + (random() % 2 ? 8 : 12), values[pick(std::size(values))]);
        break;
    }
    }
    j = layOut(f);
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
        seal(journal, how & 2);

    MemoryFileSystem fs = (how & 8) ? folders().after : folders().before;
    const bool gridLocked = how & 4;
    if (gridLocked)
        fs.lockedFiles.insert(std::string(fuzzing::kJournalFolder) + "AdvSetBlk.lck");
    fs.files[std::string(fuzzing::kJournalFolder) + fuzzing::kJournalName] = journal;

    Guard guard(fs, journal, gridLocked);
    const paradox::Journal j(guard, fuzzing::kJournalFolder, fuzzing::kJournalName);
    paradox::Recovery recovery;
    (void)j.recover(&recovery);
    std::vector<std::string> undone;
    (void)j.undoLast(&undone);
    return 0;
}
