#include "paradox/journal.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/paths.h"
#include "paradox/table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

namespace paradox {
namespace {

using coding::loadLE32;
using coding::loadLE64;
using coding::storeLE32;
using coding::storeLE64;
using Kind = JournalProblem::Kind;

// Layout, little-endian throughout (docs/journal.md):
//   header, 64 bytes: magic, format version, kind, body length, body
//     checksum, file count, piece count, note length (0 in version 1),
//     reserved, header checksum;
//   body: the note; per file its name (u32 length, UTF-8) and size (u64);
//     per piece its file (u32), length (u32), offset (u64), the bytes
//     before, the bytes after;
//   commit mark, 16 bytes: zeros until the change is complete, then a
//     magic and a checksum of the header, which holds the body's checksum.
constexpr std::array<char, 8> kMagic = {'G', 'S', 'J', 'O', 'U', 'R', 'N', 'L'};
constexpr std::array<char, 8> kCommitMagic = {'C', 'O', 'M', 'M', 'I', 'T', 'T', 'D'};
constexpr std::uint32_t kFirstVersion = 1; // as release 0.1 wrote it: no note
constexpr std::uint32_t kFormatVersion = 2;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kMarkSize = 16;
constexpr std::size_t kVersionAt = 8, kKindAt = 12, kBodyLengthAt = 16, kBodySumAt = 24, kFilesAt = 32,
                      kPiecesAt = 36, kNoteLengthAt = 40, kHeaderSumAt = 56;
constexpr std::uint64_t kMarkSeed = 0x6D61726B;
constexpr std::size_t kPieceHeadSize = 16;
// No file system takes longer names; notes are a line or two.
constexpr std::uint32_t kMaxNameLength = 255, kMaxNoteLength = 64 * 1024;
// What a journal is read by: enough to stream it fast, never more.
constexpr std::size_t kChunk = 1 << 20;
// Before-images gathered for one writeRuns() call at most.
constexpr std::size_t kRunBatch = 32 << 20;

constexpr std::uint64_t kMul1 = 0x9E3779B97F4A7C15ull, kMul2 = 0xBF58476D1CE4E5B9ull;

// journalChecksum() over bytes that arrive a piece at a time.
class ChecksumStream {
public:
    ChecksumStream(std::uint64_t size, std::uint64_t seed) : m_h(seed ^ (size * kMul1)) {}

    void update(const std::byte* p, std::size_t n)
    {
        while (m_pending > 0 && m_pending < 8 && n > 0) {
            m_word[m_pending++] = *p++;
            --n;
        }
        if (m_pending == 8) {
            mix(loadLE64(m_word.data()));
            m_pending = 0;
        }
        for (; n >= 8; p += 8, n -= 8)
            mix(loadLE64(p));
        for (; n > 0; --n)
            m_word[m_pending++] = *p++;
    }

    std::uint64_t finish() const
    {
        std::uint64_t tail = 0;
        for (std::size_t k = 0; k < m_pending; ++k)
            tail |= static_cast<std::uint64_t>(std::to_integer<unsigned>(m_word[k])) << (8 * k);
        std::uint64_t h = (m_h ^ tail) * kMul1;
        h ^= h >> 32;
        h *= kMul2;
        return h ^ (h >> 29);
    }

private:
    void mix(std::uint64_t word)
    {
        m_h = (m_h ^ word) * kMul2;
        m_h ^= m_h >> 29;
    }

    std::uint64_t m_h;
    std::array<std::byte, 8> m_word{};
    std::size_t m_pending = 0;
};

std::array<std::byte, kMarkSize> commitMark(const std::byte* header)
{
    std::array<std::byte, kMarkSize> mark{};
    std::memcpy(mark.data(), kCommitMagic.data(), kCommitMagic.size());
    storeLE64(mark.data() + 8, journalChecksum(header, kHeaderSize, kMarkSeed));
    return mark;
}

// A journal's bytes, not zeroed first: a journal can run to megabytes.
struct Image {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t size = 0;
    std::span<const std::byte> span() const { return {bytes.get(), size}; }
};

// Lays out a journal of the files and of the pieces that `eachPiece(emit)`
// hands to `emit(file, offset, length, before, after)`; it is called twice,
// to measure and to write.
template <class EachPiece>
Image encode(JournalKind kind, std::string_view note, const std::vector<std::string>& names,
             const std::vector<std::uint64_t>& sizes, EachPiece eachPiece)
{
    std::size_t bodyLength = note.size(), pieces = 0;
    for (const std::string& n : names)
        bodyLength += 4 + n.size() + 8;
    eachPiece([&](std::uint32_t, std::uint64_t, std::uint32_t length, const std::byte*, const std::byte*) {
        bodyLength += kPieceHeadSize + 2 * static_cast<std::size_t>(length);
        ++pieces;
    });
    Image out;
    out.size = kHeaderSize + bodyLength + kMarkSize;
    out.bytes = std::make_unique_for_overwrite<std::byte[]>(out.size);
    std::byte* p = out.bytes.get() + kHeaderSize;
    std::memcpy(p, note.data(), note.size());
    p += note.size();
    for (std::size_t i = 0; i < names.size(); ++i) {
        storeLE32(p, static_cast<std::uint32_t>(names[i].size()));
        std::memcpy(p + 4, names[i].data(), names[i].size());
        p += 4 + names[i].size();
        storeLE64(p, sizes[i]);
        p += 8;
    }
    eachPiece([&](std::uint32_t file, std::uint64_t offset, std::uint32_t length, const std::byte* before,
                  const std::byte* after) {
        storeLE32(p, file);
        storeLE32(p + 4, length);
        storeLE64(p + 8, offset);
        coding::copyBytes(p + kPieceHeadSize, before, length);
        coding::copyBytes(p + kPieceHeadSize + length, after, length);
        p += kPieceHeadSize + 2 * static_cast<std::size_t>(length);
    });
    std::byte* h = out.bytes.get();
    std::memset(h, 0, kHeaderSize);
    std::memset(h + kHeaderSize + bodyLength, 0, kMarkSize);
    std::memcpy(h, kMagic.data(), kMagic.size());
    storeLE32(h + kVersionAt, kFormatVersion);
    storeLE32(h + kKindAt, static_cast<std::uint32_t>(kind));
    storeLE64(h + kBodyLengthAt, bodyLength);
    storeLE64(h + kBodySumAt, journalChecksum(h + kHeaderSize, bodyLength));
    storeLE32(h + kFilesAt, static_cast<std::uint32_t>(names.size()));
    storeLE32(h + kPiecesAt, static_cast<std::uint32_t>(pieces));
    storeLE32(h + kNoteLengthAt, static_cast<std::uint32_t>(note.size()));
    storeLE64(h + kHeaderSumAt, journalChecksum(h, kHeaderSumAt));
    return out;
}

// ---- Reading a journal in fixed memory ----

// Reads a span of a file front to back through one buffer.
class Cursor {
public:
    Cursor(FileReader& reader, std::uint64_t begin, std::uint64_t end)
        : m_reader(reader),
          m_pos(begin),
          m_end(end),
          m_capacity(static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - begin))),
          m_buffer(std::make_unique_for_overwrite<std::byte[]>(m_capacity))
    {
    }

    std::uint64_t left() const { return m_end - m_pos + (m_have - m_at); }
    // Where in the file the next byte comes from.
    std::uint64_t position() const { return m_end - left(); }
    FileReader& reader() const { return m_reader; }

    // Hands the next `n` bytes to `f(data, size)`, a buffer at a time.
    template <class F>
    Status chunks(std::uint64_t n, F f)
    {
        if (n > left())
            return Status::corruption("the journal ends early");
        while (n > 0) {
            if (m_at == m_have) {
                const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(m_capacity,
                                                                                          m_end - m_pos));
                Status st = m_reader.readAt(m_pos, {m_buffer.get(), size});
                if (!st.isOk())
                    return st;
                m_pos += size;
                m_at = 0;
                m_have = size;
            }
            const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_have - m_at));
            f(m_buffer.get() + m_at, k);
            m_at += k;
            n -= k;
        }
        return Status::ok();
    }

    Status read(std::byte* out, std::size_t n)
    {
        return chunks(n, [&](const std::byte* p, std::size_t k) {
            std::memcpy(out, p, k);
            out += k;
        });
    }

    // Whether the next `n` bytes are those at `with`.
    Status same(const std::byte* with, std::uint64_t n, bool* equal)
    {
        *equal = true;
        return chunks(n, [&](const std::byte* p, std::size_t k) {
            *equal = *equal && std::memcmp(p, with, k) == 0;
            with += k;
        });
    }

private:
    FileReader& m_reader;
    std::uint64_t m_pos, m_end;
    std::size_t m_capacity;
    std::unique_ptr<std::byte[]> m_buffer;
    std::size_t m_at = 0, m_have = 0;
};

// What a journal's header and mark say.
struct Header {
    enum class State { Hot, Committed, Damaged, Newer };
    State state = State::Damaged;
    std::uint32_t version = 0;
    JournalKind kind = JournalKind::Change;
    std::uint64_t bodyLength = 0, bodySum = 0;
    std::uint32_t files = 0, pieces = 0, noteLength = 0;
};

Status readHeader(FileReader& reader, Header* out)
{
    *out = Header{};
    const std::uint64_t size = reader.size();
    if (size < kHeaderSize + kMarkSize)
        return Status::ok();
    std::array<std::byte, kHeaderSize> h;
    std::array<std::byte, kMarkSize> mark;
    Status st = reader.readAt(0, h);
    if (st.isOk())
        st = reader.readAt(size - kMarkSize, mark);
    if (!st.isOk())
        return st;
    if (std::memcmp(h.data(), kMagic.data(), kMagic.size()) != 0)
        return Status::ok();
    out->version = loadLE32(h.data() + kVersionAt);
    if (out->version > kFormatVersion) {
        out->state = Header::State::Newer;
        return Status::ok();
    }
    const std::uint32_t kind = loadLE32(h.data() + kKindAt);
    out->bodyLength = loadLE64(h.data() + kBodyLengthAt);
    out->bodySum = loadLE64(h.data() + kBodySumAt);
    out->files = loadLE32(h.data() + kFilesAt);
    out->pieces = loadLE32(h.data() + kPiecesAt);
    out->noteLength = out->version == kFirstVersion ? 0 : loadLE32(h.data() + kNoteLengthAt);
    if (out->version < kFirstVersion ||
        loadLE64(h.data() + kHeaderSumAt) != journalChecksum(h.data(), kHeaderSumAt) ||
        out->bodyLength != size - kHeaderSize - kMarkSize || out->noteLength > out->bodyLength ||
        (kind != static_cast<std::uint32_t>(JournalKind::Change) &&
         kind != static_cast<std::uint32_t>(JournalKind::Undo)))
        return Status::ok();
    out->kind = static_cast<JournalKind>(kind);
    out->state = mark == commitMark(h.data()) ? Header::State::Committed : Header::State::Hot;
    return Status::ok();
}

Status bodyChecksumMatches(FileReader& reader, const Header& h, bool* matches)
{
    Cursor c(reader, kHeaderSize, kHeaderSize + h.bodyLength);
    ChecksumStream sum(h.bodyLength, 0);
    Status st = c.chunks(h.bodyLength, [&](const std::byte* p, std::size_t n) { sum.update(p, n); });
    *matches = st.isOk() && sum.finish() == h.bodySum;
    return st;
}

// Windows finds a file whatever the letter case of its name; elsewhere a
// name is the folder's entry only as the folder spells it.
std::string entryKey(const std::string& name)
{
#if defined(_WIN32)
    return foldCase(name);
#else
    return name;
#endif
}

// The note and the files of a journal, read with every length checked
// against what is left of it before anything is kept.
struct Directory {
    std::string note;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
};

bool readDirectory(Cursor& c, const Header& h, Directory* out)
{
    if (h.noteLength > kMaxNoteLength)
        return false;
    out->note.resize(h.noteLength);
    if (!c.read(reinterpret_cast<std::byte*>(out->note.data()), h.noteLength).isOk())
        return false;
    for (std::uint32_t i = 0; i < h.files; ++i) {
        std::array<std::byte, 8> word;
        if (!c.read(word.data(), 4).isOk())
            return false;
        const std::uint32_t length = loadLE32(word.data());
        if (length > kMaxNameLength || c.left() < length + std::uint64_t{8})
            return false;
        std::string name(length, '\0');
        if (!c.read(reinterpret_cast<std::byte*>(name.data()), length).isOk() || !c.read(word.data(), 8).isOk())
            return false;
        out->names.push_back(std::move(name));
        out->sizes.push_back(loadLE64(word.data()));
    }
    // A file listed twice could take two pieces over the same bytes.
    std::vector<std::string> keys;
    keys.reserve(out->names.size());
    for (const std::string& name : out->names)
        keys.push_back(entryKey(name));
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) != keys.end())
        return false;
    return c.left() / kPieceHeadSize >= h.pieces;
}

struct Piece {
    std::uint32_t file = 0;
    std::uint32_t length = 0;
    std::uint64_t offset = 0;
};

// Walks the pieces after the directory; `f(piece, cursor)` must take both
// images from the cursor. Pieces come file by file, each file's ascending
// and apart, as commit() writes them: anything else is not a journal of ours.
template <class F>
bool forEachPiece(Cursor& c, const Header& h, const Directory& d, F f)
{
    std::uint64_t fileEnd = 0;
    std::uint32_t lastFile = 0;
    for (std::uint32_t i = 0; i < h.pieces; ++i) {
        std::array<std::byte, kPieceHeadSize> head;
        if (!c.read(head.data(), head.size()).isOk())
            return false;
        Piece p;
        p.file = loadLE32(head.data());
        p.length = loadLE32(head.data() + 4);
        p.offset = loadLE64(head.data() + 8);
        if (p.file >= d.names.size() || p.file < lastFile || p.length == 0 || p.offset > d.sizes[p.file] ||
            p.length > d.sizes[p.file] - p.offset || c.left() / 2 < p.length)
            return false;
        if (p.file == lastFile && i > 0 && p.offset < fileEnd)
            return false;
        lastFile = p.file;
        fileEnd = p.offset + p.length;
        if (!f(p, c))
            return false;
    }
    return c.left() == 0;
}

// A name of the folder's own: no folder, drive, stream, parent or control
// character in it.
bool isPlainName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

bool sameEntry(const std::string& a, const std::string& b)
{
    return entryKey(a) == entryKey(b);
}

Status refuse(JournalProblem* why, Kind kind, std::string name, Status st)
{
    why->kind = kind;
    why->name = std::move(name);
    return st;
}

// The journal's bytes under a temporary name first, so the journal's own
// name only ever holds a complete journal.
Status placeJournal(FileSystem& fs, const std::string& folder, const std::string& path, const Image& image)
{
    const std::string temporary = path + ".tmp";
    Status st = fs.remove(temporary);
    if (st.isOk())
        st = fs.createFile(temporary, image.span());
    if (st.isOk())
        st = fs.rename(temporary, path);
    if (st.isOk())
        st = fs.syncDirectory(folder);
    if (!st.isOk())
        (void)fs.remove(temporary);
    return st;
}

// A test's way to hold a change between its table writes and its commit
// mark: with GRIDSHIFT_PAUSE_BEFORE_MARK naming a file, the change makes a
// file of that name with ".paused" added, then waits while the named one is
// there.
void pauseBeforeMark(FileSystem& fs)
{
    const char* gate = std::getenv("GRIDSHIFT_PAUSE_BEFORE_MARK");
    if (!gate || !*gate)
        return;
    (void)fs.createFile(std::string(gate) + ".paused", {});
    std::unique_ptr<FileReader> open;
    while (fs.openReader(gate, &open).code() != Status::Code::NotFound) {
        open.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string setAsideName(const std::string& journalName)
{
    return journalName + ".damaged";
}

// The first journal set aside in the folder, if any.
std::string setAsideIn(FileSystem& fs, const std::string& folder, const std::string& journalName)
{
    std::vector<std::string> entries;
    if (!fs.listDirectory(folder, &entries).isOk())
        return {};
    const std::string prefix = foldCase(setAsideName(journalName));
    std::string found;
    for (const std::string& e : entries)
        if (foldCase(e).compare(0, prefix.size(), prefix) == 0 && (found.empty() || e < found))
            found = e;
    return found;
}

} // namespace

std::uint64_t journalChecksum(const std::byte* data, std::size_t size, std::uint64_t seed)
{
    ChecksumStream sum(size, seed);
    sum.update(data, size);
    return sum.finish();
}

// A journal judged under its tables' locks: the tables' files, opened without
// following links and locked as their writers lock them, and the journal as
// it stands once they are.
class Journal::Judge {
public:
    Judge(const Journal& journal, JournalProblem* why) : m_j(journal), m_why(why) {}

    ~Judge()
    {
        m_reader.reset();
        for (auto& [name, file] : m_files)
            (void)file->close();
    }

    // The tables' locks, in the order given: the engine's lock files must be
    // free, and each table ours alone. A table that is not there has nothing
    // to guard.
    Status lockTables()
    {
        Status st = m_j.m_fs.listDirectory(m_j.m_folder, &m_entries);
        if (!st.isOk())
            return refuse(m_why, Kind::Failed, {}, st);
        for (const std::string& table : m_j.m_tables) {
            const std::string lck = foldCase(stemOf(table)) + ".lck";
            for (const std::string& e : m_entries) {
                if (foldCase(e) != lck && foldCase(e) != "pdoxusrs.lck")
                    continue;
                bool locked = false;
                if (m_j.m_fs.probeLock(m_j.m_folder + e, &locked).isOk() && locked)
                    return refuse(m_why, Kind::InUse, table,
                                  Status::inUse(m_j.m_folder + table + ": the table is in use by another program (" +
                                                e + " is locked)"));
            }
            std::string entry;
            for (const std::string& e : m_entries)
                if (e == table || (entry.empty() && foldCase(e) == foldCase(table)))
                    entry = e;
            if (entry.empty())
                continue;
            JournalProblem ignored;
            JournalProblem* why = std::exchange(m_why, &ignored);
            st = open(entry, nullptr);
            m_why = why;
            // A table that is not the folder's own file is not locked here:
            // a journal that names it is refused when it is opened.
            if (st.code() == Status::Code::NotFound || ignored.kind == Kind::NotOurs)
                continue;
            if (!st.isOk())
                return refuse(m_why, ignored.kind, ignored.name, st);
        }
        return Status::ok();
    }

    // The journal as it stands now.
    Status readJournal(Header* header)
    {
        m_reader.reset();
        Status st = m_j.m_fs.openReader(m_j.path(), &m_reader);
        if (st.isOk())
            st = readHeader(*m_reader, header);
        return st;
    }
    FileReader& reader() { return *m_reader; }
    void closeJournal() { m_reader.reset(); }
    const std::vector<std::string>& entries() const { return m_entries; }

    // The first name of the journal that a writer of the tables never
    // writes, if any.
    const std::string* foreignName(const Directory& d) const
    {
        for (const std::string& name : d.names)
            if (!allowed(name))
                return &name;
        return nullptr;
    }

    // The named file, opened for writing and locked.
    Status file(const Directory& d, std::uint32_t index, File** out)
    {
        Status st = open(d.names[index], out);
        if (st.code() == Status::Code::NotFound)
            return refuse(m_why, Kind::Missing, d.names[index],
                          Status::notFound(m_j.m_folder + d.names[index] + ": the file is missing"));
        if (!st.isOk())
            return st;
        if ((*out)->contents().size() != d.sizes[index])
            return refuse(m_why, Kind::Changed, d.names[index],
                          Status::corruption(m_j.m_folder + d.names[index] + ": the file changed size since (" +
                                             std::to_string((*out)->contents().size()) + " bytes, not " +
                                             std::to_string(d.sizes[index]) + ")"));
        return Status::ok();
    }

    // Every named file, in the journal's order.
    Status files(const Directory& d, std::vector<File*>* out)
    {
        out->assign(d.names.size(), nullptr);
        for (std::uint32_t i = 0; i < d.names.size(); ++i) {
            Status st = file(d, i, &(*out)[i]);
            if (!st.isOk())
                return st;
        }
        return Status::ok();
    }

    // The longest body a journal of the files now in the folder can have:
    // within a file pieces are apart, so they hold at most its size in bytes,
    // twice, and one piece head per byte. A longer one is not read at all.
    std::uint64_t longestBody() const
    {
        std::uint64_t longest = kMaxNoteLength;
        for (const std::string& e : m_entries) {
            std::unique_ptr<FileReader> f;
            if (allowed(e) && m_j.m_fs.openReader(m_j.m_folder + e, &f).isOk())
                longest += 4 + kMaxNameLength + 8 + (2 + kPieceHeadSize) * f->size();
        }
        return longest;
    }

private:
    bool allowed(const std::string& name) const
    {
        if (!isPlainName(name))
            return false;
        const bool listed = std::any_of(m_entries.begin(), m_entries.end(),
                                        [&](const std::string& e) { return sameEntry(e, name); });
        if (!listed)
            return false;
        const std::string stem = foldCase(stemOf(name)), ext = extensionOf(name);
        for (const std::string& table : m_j.m_tables)
            if (foldCase(stemOf(table)) == stem &&
                (ext == extensionOf(table) || ext == "px" || isSecondaryIndexExtension(ext)))
                return true;
        return false;
    }

    // Opens and locks a file of the folder once. Every file is vetted here
    // before anything is written to it.
    Status open(const std::string& name, File** out)
    {
        for (auto& [known, file] : m_files)
            if (sameEntry(known, name)) {
                if (out)
                    *out = file.get();
                return Status::ok();
            }
        const std::string path = m_j.m_folder + name;
        std::unique_ptr<File> file;
        Status st = m_j.m_fs.openEntry(path, OpenMode::ReadWrite, &file);
        if (st.code() == Status::Code::NotFound)
            return st;
        if (st.code() == Status::Code::NotSupported)
            return refuse(m_why, Kind::NotOurs, name, st);
        if (st.code() == Status::Code::InUse)
            return refuse(m_why, Kind::InUse, name, st);
        if (!st.isOk())
            return refuse(m_why, Kind::Failed, name, st);
        st = file->lockExclusive();
        if (st.code() == Status::Code::InUse)
            return refuse(m_why, Kind::InUse, name, Status::inUse(path + ": the file is in use by another program"));
        if (!st.isOk())
            return refuse(m_why, Kind::Failed, name, st);
        // A table another writer left half-way is the engine's to repair:
        // putting our bytes back into it would only hide the fault.
        if (extensionOf(name) == "db") {
            st = checkNotHalfWritten(file->contents(), path);
            if (!st.isOk())
                return refuse(m_why, Kind::Failed, name, Status::corruption(st.message()));
        }
        if (out)
            *out = file.get();
        m_files.emplace_back(name, std::move(file));
        return Status::ok();
    }

    const Journal& m_j;
    JournalProblem* m_why;
    std::vector<std::string> m_entries;
    std::vector<std::pair<std::string, std::unique_ptr<File>>> m_files;
    std::unique_ptr<FileReader> m_reader;
};

namespace {

// Where each piece stands in its file: what the journal says was there
// before, what the change wrote, some bytes of each, or neither.
struct Tally {
    std::uint64_t before = 0, after = 0, torn = 0, neither = 0;
    std::uint32_t firstNeither = 0, firstNotAfter = 0; // their files
};

// Whether every byte at `now` holds the before- or the after-image's byte,
// the images lying from `at` in the journal. A power cut can tear a piece's
// write at any sector boundary inside it and keep only some of its sectors.
bool eachByteOfEither(FileReader& reader, std::uint64_t at, std::uint32_t length, const std::byte* now, bool* either)
{
    Cursor before(reader, at, at + length), after(reader, at + length, at + 2 * std::uint64_t{length});
    *either = true;
    Status read;
    Status st = before.chunks(length, [&](const std::byte* b, std::size_t n) {
        std::size_t i = 0;
        if (read.isOk())
            read = after.chunks(n, [&](const std::byte* a, std::size_t k) {
                for (std::size_t j = 0; j < k; ++i, ++j)
                    *either = *either && (now[i] == b[i] || now[i] == a[j]);
            });
        now += n;
    });
    return st.isOk() && read.isOk();
}

bool tallyPieces(Cursor& c, const Header& h, const Directory& d, const std::vector<File*>& files, Tally* t)
{
    return forEachPiece(c, h, d, [&](const Piece& p, Cursor& cur) {
        const std::byte* now = files[p.file]->contents().data() + p.offset;
        const std::uint64_t images = cur.position();
        bool isBefore = false, isAfter = false, torn = false;
        if (!cur.same(now, p.length, &isBefore).isOk() || !cur.same(now, p.length, &isAfter).isOk())
            return false;
        if (!isBefore && !isAfter && !eachByteOfEither(cur.reader(), images, p.length, now, &torn))
            return false;
        if (!isAfter && t->before + t->torn + t->neither == 0)
            t->firstNotAfter = p.file;
        if (isBefore && !isAfter)
            ++t->before;
        else if (isAfter && !isBefore)
            ++t->after;
        else if (torn)
            ++t->torn;
        else if (!isBefore && !isAfter && t->neither++ == 0)
            t->firstNeither = p.file;
        return true;
    });
}

// Writes every piece's before-image back, a file's pieces in one request
// where memory allows, and flushes the files.
Status writeBeforeImages(Cursor& c, const Header& h, const Directory& d, const std::vector<File*>& files)
{
    std::vector<std::byte> batch;
    struct Pending {
        std::uint64_t offset;
        std::size_t at, length;
    };
    std::vector<Pending> pending;
    std::uint32_t pendingFile = 0;
    Status st;
    auto flush = [&] {
        if (pending.empty() || !st.isOk())
            return;
        std::vector<File::Run> runs;
        runs.reserve(pending.size());
        for (const Pending& p : pending)
            runs.push_back({p.offset, {batch.data() + p.at, p.length}});
        st = files[pendingFile]->writeRuns(runs);
        pending.clear();
        batch.clear();
    };
    const bool walked = forEachPiece(c, h, d, [&](const Piece& p, Cursor& cur) {
        if (p.file != pendingFile || batch.size() + p.length > kRunBatch)
            flush();
        pendingFile = p.file;
        const std::size_t at = batch.size();
        batch.resize(at + p.length);
        Status read = cur.read(batch.data() + at, p.length);
        if (read.isOk())
            read = cur.chunks(p.length, [](const std::byte*, std::size_t) {});
        if (!read.isOk() && st.isOk())
            st = read;
        pending.push_back({p.offset, at, p.length});
        return st.isOk();
    });
    flush();
    if (st.isOk() && !walked)
        st = Status::corruption("the journal changed while it was read");
    for (File* f : files)
        if (st.isOk())
            st = f->sync();
    return st;
}

// The record of the change that an interrupted undoing was undoing, as it
// was before: the undoing's images swapped, its mark set.
Status changeRecordOf(Cursor& c, const Header& h, const Directory& d, Image* out)
{
    struct Stored {
        Piece piece;
        std::size_t at;
    };
    std::vector<Stored> stored;
    std::vector<std::byte> bytes;
    const bool walked = forEachPiece(c, h, d, [&](const Piece& p, Cursor& cur) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 2 * static_cast<std::size_t>(p.length));
        stored.push_back({p, at});
        return cur.read(bytes.data() + at, 2 * static_cast<std::size_t>(p.length)).isOk();
    });
    if (!walked)
        return Status::corruption("the journal changed while it was read");
    *out = encode(JournalKind::Change, d.note, d.names, d.sizes, [&](auto emit) {
        for (const Stored& s : stored)
            emit(s.piece.file, s.piece.offset, s.piece.length, bytes.data() + s.at + s.piece.length,
                 bytes.data() + s.at);
    });
    const auto mark = commitMark(out->bytes.get());
    std::memcpy(out->bytes.get() + out->size - kMarkSize, mark.data(), kMarkSize);
    return Status::ok();
}

} // namespace

Journal::Journal(FileSystem& fs, std::string folder, std::string journalName, std::vector<std::string> tables)
    : m_fs(fs), m_folder(std::move(folder)), m_name(std::move(journalName)), m_tables(std::move(tables))
{
}

Status Journal::commit(JournalKind kind, std::vector<FileWrites>& writes, std::string_view note) const
{
    std::vector<FileWrites*> changed;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
    for (FileWrites& w : writes) {
        if (w.pieces.empty())
            continue;
        Status st = w.file->checkUnchanged();
        if (!st.isOk())
            return st;
        const std::uint64_t size = w.file->contents().size();
        for (const FileWrites::Piece& p : w.pieces)
            if (p.offset > size || p.length > size - p.offset)
                return Status::invalidArgument(w.file->path() + ": write past the end of the file");
        changed.push_back(&w);
        names.push_back(w.name);
        sizes.push_back(size);
    }
    if (changed.empty())
        return Status::ok();
    if (note.size() > kMaxNoteLength)
        return Status::invalidArgument(path() + ": the note is too long");

    // Only a finished change's record may be replaced: any other journal
    // here may be the only way back to whole tables.
    {
        const std::string waiting = setAsideIn(m_fs, m_folder, m_name);
        if (!waiting.empty())
            return Status::invalidArgument(
                m_folder + waiting + ": a damaged journal was set aside here; check the tables and remove it first");
        std::unique_ptr<FileReader> old;
        Status st = m_fs.openReader(path(), &old);
        if (st.code() == Status::Code::NotSupported)
            return st;
        if (st.isOk()) {
            Header h;
            st = readHeader(*old, &h);
            if (!st.isOk())
                return st;
            if (h.state == Header::State::Hot)
                return Status::invalidArgument(path() + ": an interrupted change must be rolled back first");
            if (h.state == Header::State::Newer)
                return Status::invalidArgument(path() + ": written by a newer program (journal format " +
                                               std::to_string(h.version) + ")");
            if (h.state == Header::State::Damaged)
                return Status::invalidArgument(path() + ": the journal is damaged and must be set aside first");
        } else if (st.code() != Status::Code::NotFound) {
            return st;
        }
    }
    // From here on the journal's copy is the before-image: the files' own
    // bytes change under it.
    // The pieces lie scattered over files of many megabytes: asking for the
    // bytes a few pieces ahead hides most of the wait for memory.
    constexpr std::size_t kAhead = 16;
    const Image image = encode(kind, note, names, sizes, [&](auto emit) {
        for (std::uint32_t f = 0; f < changed.size(); ++f) {
            const FileWrites& w = *changed[f];
            const std::byte* now = w.file->contents().data();
            for (std::size_t i = 0; i < w.pieces.size(); ++i) {
                if (i + kAhead < w.pieces.size())
                    __builtin_prefetch(now + w.pieces[i + kAhead].offset);
                const FileWrites::Piece& p = w.pieces[i];
                emit(f, p.offset, p.length, now + p.offset, w.dataOf(p));
            }
        }
    });
    Status st = placeJournal(m_fs, m_folder, path(), image);
    if (!st.isOk())
        return st;

    std::unique_ptr<File> journal;
    st = m_fs.openEntry(path(), OpenMode::ReadWrite, &journal);
    if (st.isOk() && journal->contents().size() != image.size)
        st = Status::ioError(path() + ": the journal was replaced by another program");
    std::vector<File::Run> runs;
    for (std::size_t f = 0; st.isOk() && f < changed.size(); ++f) {
        const FileWrites& w = *changed[f];
        runs.clear();
        for (const FileWrites::Piece& p : w.pieces)
            runs.push_back({p.offset, {w.dataOf(p), p.length}});
        st = w.file->writeRuns(runs);
    }
    for (std::size_t f = 0; st.isOk() && f < changed.size(); ++f)
        st = changed[f]->file->sync();
    for (std::size_t f = 0; st.isOk() && f < changed.size(); ++f)
        st = changed[f]->file->checkUnchanged();
    const std::size_t markAt = image.size - kMarkSize;
    bool marked = false;
    if (st.isOk())
        pauseBeforeMark(FileSystem::standard());
    if (st.isOk()) {
        const auto mark = commitMark(image.bytes.get());
        st = journal->writeAt(markAt, mark);
        marked = st.isOk();
        if (st.isOk())
            st = journal->sync();
    }
    if (st.isOk()) {
        st = journal->close();
        if (st.isOk())
            return st;
    }

    // Put back what was written, the commit mark first. Should that fail,
    // the journal decides at the next open of the folder.
    Status back;
    if (marked) {
        const std::array<std::byte, kMarkSize> unmarked{};
        back = journal->writeAt(markAt, unmarked);
        if (back.isOk())
            back = journal->sync();
        if (!back.isOk())
            return Status::ioError(
                st.message() + "; the change is either complete or will be undone when the folder is next opened");
    }
    if (journal)
        (void)journal->close();
    // The before-images, from the journal's copy, piece by piece as laid out.
    std::size_t at = kHeaderSize + note.size();
    for (const std::string& n : names)
        at += 4 + n.size() + 8;
    for (std::size_t f = 0; back.isOk() && f < changed.size(); ++f) {
        runs.clear();
        for (const FileWrites::Piece& p : changed[f]->pieces) {
            runs.push_back({p.offset, {image.bytes.get() + at + kPieceHeadSize, p.length}});
            at += kPieceHeadSize + 2 * static_cast<std::size_t>(p.length);
        }
        back = changed[f]->file->writeRuns(runs);
    }
    for (std::size_t f = 0; back.isOk() && f < changed.size(); ++f)
        back = changed[f]->file->sync();
    if (back.isOk())
        back = m_fs.remove(path());
    if (back.isOk())
        (void)m_fs.syncDirectory(m_folder);
    if (!back.isOk())
        return Status::ioError(st.message() + "; the files will be put back when the folder is next opened");
    return st;
}

Status Journal::recover(Recovery* out) const
{
    *out = Recovery{};
    JournalProblem& why = out->problem;
    auto blocked = [&](Kind kind) {
        out->outcome = Recovery::Outcome::Blocked;
        why.kind = kind;
        return Status::ok();
    };
    why.setAside = setAsideIn(m_fs, m_folder, m_name);
    if (!why.setAside.empty())
        return blocked(Kind::SetAsideWaiting);
    // Every open of the folder asks, and a finished change needs nothing:
    // its header and mark tell, without the tables' locks (which the station
    // program may hold) and without reading megabytes. What the header
    // settles (no journal, not a file, a finished change, a newer format) is
    // asked again under the locks; `*answer` is then the outcome.
    auto settled = [&](const Status& read, const Header& header, Status* answer) {
        if (read.code() == Status::Code::NotFound || (read.isOk() && header.state == Header::State::Committed))
            *answer = Status::ok();
        else if (read.code() == Status::Code::NotSupported)
            *answer = blocked(Kind::NotAFile);
        else if (!read.isOk())
            *answer = refuse(&why, Kind::Failed, m_name, read);
        else if (header.state == Header::State::Newer) {
            why.version = header.version;
            *answer = blocked(Kind::NewerFormat);
        } else
            return false;
        return true;
    };
    Header h;
    Status answer;
    {
        std::unique_ptr<FileReader> reader;
        Status st = m_fs.openReader(path(), &reader);
        if (st.isOk())
            st = readHeader(*reader, &h);
        if (settled(st, h, &answer))
            return answer;
    }

    Judge judge(*this, &why);
    Status st = judge.lockTables();
    if (!st.isOk())
        return st;
    st = judge.readJournal(&h);
    if (settled(st, h, &answer))
        return answer;

    // A journal under its own name was written whole before it was renamed
    // there: if it does not add up now, it was damaged or is not ours, and
    // the tables may hold half a change. Set it aside, saying what its
    // readable pieces show.
    auto setAside = [&](Kind kind, std::string name) {
        JournalProblem::Tables tables = JournalProblem::Tables::Unknown;
        Directory d;
        Cursor c(judge.reader(), kHeaderSize, kHeaderSize + h.bodyLength);
        std::vector<File*> files;
        Tally t;
        if (h.state != Header::State::Damaged && readDirectory(c, h, &d) && !judge.foreignName(d) &&
            judge.files(d, &files).isOk()) {
            (void)tallyPieces(c, h, d, files, &t);
            if (t.torn > 0 || (t.before > 0 && t.after > 0))
                tables = JournalProblem::Tables::Mixed;
            else if (t.neither == 0 && t.after > 0)
                tables = JournalProblem::Tables::AsAfter;
            else if (t.neither == 0 && t.before > 0)
                tables = JournalProblem::Tables::AsBefore;
        }
        why = JournalProblem{};
        why.kind = kind;
        why.name = std::move(name);
        why.tables = tables;
        judge.closeJournal();
        std::string target = setAsideName(m_name);
        for (int n = 2; std::any_of(judge.entries().begin(), judge.entries().end(),
                                    [&](const std::string& e) { return foldCase(e) == foldCase(target); });
             ++n)
            target = setAsideName(m_name) + "." + std::to_string(n);
        Status moved = m_fs.rename(path(), m_folder + target);
        if (moved.isOk())
            moved = m_fs.syncDirectory(m_folder);
        if (!moved.isOk())
            return refuse(&why, Kind::Failed, m_name, moved);
        why.setAside = target;
        out->outcome = Recovery::Outcome::SetAside;
        return Status::ok();
    };
    if (h.state == Header::State::Damaged || h.bodyLength > judge.longestBody())
        return setAside(Kind::Damaged, {});
    bool sound = false;
    st = bodyChecksumMatches(judge.reader(), h, &sound);
    if (!st.isOk())
        return refuse(&why, Kind::Failed, m_name, st);
    if (!sound)
        return setAside(Kind::Damaged, {});
    Directory d;
    const std::uint64_t bodyEnd = kHeaderSize + h.bodyLength;
    std::uint64_t piecesAt = 0;
    {
        Cursor c(judge.reader(), kHeaderSize, bodyEnd);
        if (!readDirectory(c, h, &d))
            return setAside(Kind::Damaged, {});
        if (const std::string* foreign = judge.foreignName(d))
            return setAside(Kind::NotOurs, *foreign);
        piecesAt = bodyEnd - c.left();
        if (!forEachPiece(c, h, d, [](const Piece& p, Cursor& cur) {
                return cur.chunks(2 * std::uint64_t{p.length}, [](const std::byte*, std::size_t) {}).isOk();
            }))
            return setAside(Kind::Damaged, {});
    }

    // Roll back only what is the change's own: every piece must still hold
    // what was there before it or what it wrote.
    std::vector<File*> files;
    st = judge.files(d, &files);
    if (why.kind == Kind::NotOurs)
        return setAside(Kind::NotOurs, why.name);
    if (!st.isOk())
        return st;
    {
        Cursor c(judge.reader(), piecesAt, bodyEnd);
        Tally t;
        if (!tallyPieces(c, h, d, files, &t))
            return refuse(&why, Kind::Failed, m_name, Status::corruption(path() + ": changed while it was read"));
        if (t.neither > 0)
            return refuse(
                &why, Kind::Changed, d.names[t.firstNeither],
                Status::corruption(m_folder + d.names[t.firstNeither] +
                                   ": the file was changed after the interrupted change; it cannot be put back"));
    }
    {
        Cursor c(judge.reader(), piecesAt, bodyEnd);
        st = writeBeforeImages(c, h, d, files);
        if (!st.isOk())
            return refuse(&why, Kind::Failed, {}, st);
    }
    if (h.kind == JournalKind::Undo) {
        // The change that the interrupted undoing was undoing stands again,
        // and so does its record.
        Image image;
        Cursor c(judge.reader(), piecesAt, bodyEnd);
        st = changeRecordOf(c, h, d, &image);
        judge.closeJournal();
        if (st.isOk())
            st = placeJournal(m_fs, m_folder, path(), image);
    } else {
        judge.closeJournal();
        st = m_fs.remove(path());
        if (st.isOk())
            st = m_fs.syncDirectory(m_folder);
    }
    if (!st.isOk())
        return refuse(&why, Kind::Failed, m_name, st);
    out->outcome = Recovery::Outcome::RolledBack;
    out->files = d.names;
    return Status::ok();
}

Status Journal::undoable(std::string* note, JournalProblem* why) const
{
    return undo(nullptr, note, why, false);
}

Status Journal::undoLast(std::vector<std::string>* files, JournalProblem* why) const
{
    files->clear();
    return undo(files, nullptr, why, true);
}

Status Journal::undo(std::vector<std::string>* undone, std::string* note, JournalProblem* whyOut, bool write) const
{
    JournalProblem ignored;
    JournalProblem* why = whyOut ? whyOut : &ignored;
    *why = JournalProblem{};
    why->setAside = setAsideIn(m_fs, m_folder, m_name);
    if (!why->setAside.empty())
        return refuse(why, Kind::SetAsideWaiting, {},
                      Status::invalidArgument(m_folder + why->setAside +
                                              ": a damaged journal was set aside here; nothing can be undone"));
    const Status nothing = Status::notFound(path() +
                                            ": no finished change is recorded here, so there is nothing to undo");
    Judge judge(*this, why);
    Header h;
    Status st = judge.readJournal(&h);
    if (st.code() == Status::Code::NotFound)
        return refuse(why, Kind::NothingToUndo, {}, nothing);
    if (st.isOk())
        st = judge.lockTables();
    if (st.isOk())
        st = judge.readJournal(&h);
    if (st.code() == Status::Code::NotFound)
        return refuse(why, Kind::NothingToUndo, {}, nothing);
    if (st.code() == Status::Code::NotSupported)
        return refuse(why, Kind::NotAFile, m_name, st);
    if (!st.isOk())
        return why->kind == Kind::None ? refuse(why, Kind::Failed, m_name, st) : st;
    if (h.state == Header::State::Newer) {
        why->version = h.version;
        return refuse(why, Kind::NewerFormat, m_name,
                      Status::invalidArgument(path() + ": written by a newer program (journal format " +
                                              std::to_string(h.version) + ")"));
    }
    if (h.state == Header::State::Hot)
        return refuse(why, Kind::Interrupted, {},
                      Status::invalidArgument(path() + ": an interrupted change must be rolled back first"));
    const Status damaged = Status::corruption(path() +
                                              ": the record of the last change is damaged; nothing can be undone");
    if (h.state == Header::State::Damaged || h.bodyLength > judge.longestBody())
        return refuse(why, Kind::Damaged, {}, damaged);
    bool sound = false;
    st = bodyChecksumMatches(judge.reader(), h, &sound);
    if (!st.isOk())
        return refuse(why, Kind::Failed, m_name, st);
    if (!sound)
        return refuse(why, Kind::Damaged, {}, damaged);
    const std::uint64_t bodyEnd = kHeaderSize + h.bodyLength;
    Directory d;
    Cursor c(judge.reader(), kHeaderSize, bodyEnd);
    if (!readDirectory(c, h, &d))
        return refuse(why, Kind::Damaged, {}, damaged);
    if (h.kind == JournalKind::Undo)
        return refuse(why, Kind::AlreadyUndone, {},
                      Status::invalidArgument(path() + ": the last change has already been undone"));
    if (const std::string* foreign = judge.foreignName(d))
        return refuse(why, Kind::NotOurs, *foreign,
                      Status::invalidArgument(path() + ": the journal names a file that is not the tables' own"));
    const std::uint64_t piecesAt = bodyEnd - c.left();

    std::vector<File*> files;
    st = judge.files(d, &files);
    if (!st.isOk())
        return st;
    // Every byte the change wrote must still be there.
    Tally t;
    if (!tallyPieces(c, h, d, files, &t))
        return refuse(why, Kind::Damaged, {}, damaged);
    if (t.before + t.torn + t.neither > 0)
        return refuse(
            why, Kind::Changed, d.names[t.firstNotAfter],
            Status::invalidArgument(m_folder + d.names[t.firstNotAfter] +
                                    ": the file has changed since the last change, which cannot be undone"));
    if (!write) {
        if (note)
            *note = d.note;
        return Status::ok();
    }

    std::vector<FileWrites> writes(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        writes[i].file = files[i];
        writes[i].name = d.names[i];
    }
    Cursor images(judge.reader(), piecesAt, bodyEnd);
    std::vector<std::byte> before;
    const bool walked = forEachPiece(images, h, d, [&](const Piece& p, Cursor& cur) {
        before.resize(p.length);
        if (!cur.read(before.data(), p.length).isOk() ||
            !cur.chunks(p.length, [](const std::byte*, std::size_t) {}).isOk())
            return false;
        writes[p.file].add(p.offset, before.data(), p.length);
        return true;
    });
    judge.closeJournal();
    if (!walked)
        return refuse(why, Kind::Failed, m_name, Status::corruption(path() + ": changed while it was read"));
    st = commit(JournalKind::Undo, writes, d.note);
    if (!st.isOk())
        return refuse(why, Kind::Failed, {}, st);
    *undone = d.names;
    return Status::ok();
}

} // namespace paradox
