#include "paradox/journal.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/paths.h"

#include <array>
#include <cstring>
#include <memory>

namespace paradox {
namespace {

using coding::loadLE32;
using coding::loadLE64;
using coding::storeLE32;
using coding::storeLE64;

// Layout, little-endian throughout:
//   header, 64 bytes: magic, format version, kind, body length, body
//     checksum, file count, piece count, reserved, header checksum;
//   body: per file its name (u32 length, UTF-8) and size (u64); per piece
//     its file (u32), length (u32), offset (u64), the bytes before, the
//     bytes after;
//   commit mark, 16 bytes: zeros until the change is complete.
constexpr std::array<char, 8> kMagic = {'G', 'S', 'J', 'O', 'U', 'R', 'N', 'L'};
constexpr std::array<char, 8> kCommitMagic = {'C', 'O', 'M', 'M', 'I', 'T', 'T', 'D'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kMarkSize = 16;
constexpr std::size_t kVersionAt = 8, kKindAt = 12, kBodyLengthAt = 16, kBodySumAt = 24, kFilesAt = 32,
                      kPiecesAt = 36, kHeaderSumAt = 56;
constexpr std::uint64_t kMarkSeed = 0x6D61726B;

struct Entry {
    std::uint32_t file = 0;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    const std::byte* before = nullptr;
    const std::byte* after = nullptr;
};

struct Contents {
    enum class State { Torn, Hot, Committed };
    State state = State::Torn;
    JournalKind kind = JournalKind::Change;
    std::vector<std::string> names;
    std::vector<std::uint64_t> sizes;
    std::vector<Entry> entries;
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
Image encode(JournalKind kind, const std::vector<std::string>& names, const std::vector<std::uint64_t>& sizes,
             EachPiece eachPiece)
{
    std::size_t bodyLength = 0, pieces = 0;
    for (const std::string& n : names)
        bodyLength += 4 + n.size() + 8;
    eachPiece([&](std::uint32_t, std::uint64_t, std::uint32_t length, const std::byte*, const std::byte*) {
        bodyLength += 16 + 2 * static_cast<std::size_t>(length);
        ++pieces;
    });
    Image out;
    out.size = kHeaderSize + bodyLength + kMarkSize;
    out.bytes = std::make_unique_for_overwrite<std::byte[]>(out.size);
    std::byte* p = out.bytes.get() + kHeaderSize;
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
        coding::copyBytes(p + 16, before, length);
        coding::copyBytes(p + 16 + length, after, length);
        p += 16 + 2 * static_cast<std::size_t>(length);
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
    storeLE64(h + kHeaderSumAt, journalChecksum(h, kHeaderSumAt));
    return out;
}

Image encode(JournalKind kind, const Contents& c, bool swapped)
{
    return encode(kind, c.names, c.sizes, [&](auto emit) {
        for (const Entry& e : c.entries)
            emit(e.file, e.offset, e.length, swapped ? e.after : e.before, swapped ? e.before : e.after);
    });
}

// What a journal's header and mark alone say, without reading its body:
// whether it is whole and, if so, whether it carries its commit mark.
bool headerSound(std::span<const std::byte> bytes)
{
    if (bytes.size() < kHeaderSize + kMarkSize)
        return false;
    const std::byte* h = bytes.data();
    return std::memcmp(h, kMagic.data(), kMagic.size()) == 0 && loadLE32(h + kVersionAt) == kFormatVersion &&
           loadLE64(h + kHeaderSumAt) == journalChecksum(h, kHeaderSumAt) &&
           loadLE64(h + kBodyLengthAt) == bytes.size() - kHeaderSize - kMarkSize;
}

bool marked(std::span<const std::byte> bytes)
{
    return std::memcmp(bytes.data() + bytes.size() - kMarkSize, commitMark(bytes.data()).data(), kMarkSize) == 0;
}

bool looksHot(std::span<const std::byte> bytes) { return headerSound(bytes) && !marked(bytes); }
bool looksCommitted(std::span<const std::byte> bytes) { return headerSound(bytes) && marked(bytes); }

// Anything that does not add up reads as torn: a journal is trusted only
// when every byte of it is as it was written.
Contents decode(std::span<const std::byte> bytes)
{
    Contents c;
    if (bytes.size() < kHeaderSize + kMarkSize)
        return c;
    const std::byte* h = bytes.data();
    if (std::memcmp(h, kMagic.data(), kMagic.size()) != 0 || loadLE32(h + kVersionAt) != kFormatVersion ||
        loadLE64(h + kHeaderSumAt) != journalChecksum(h, kHeaderSumAt))
        return c;
    const std::uint64_t bodyLength = loadLE64(h + kBodyLengthAt);
    if (bodyLength != bytes.size() - kHeaderSize - kMarkSize ||
        loadLE64(h + kBodySumAt) != journalChecksum(h + kHeaderSize, bodyLength))
        return c;
    const std::uint32_t kind = loadLE32(h + kKindAt);
    if (kind != static_cast<std::uint32_t>(JournalKind::Change) && kind != static_cast<std::uint32_t>(JournalKind::Undo))
        return c;
    const std::byte* p = h + kHeaderSize;
    const std::byte* end = p + bodyLength;
    auto left = [&] { return static_cast<std::size_t>(end - p); };
    const std::uint32_t files = loadLE32(h + kFilesAt), pieces = loadLE32(h + kPiecesAt);
    for (std::uint32_t i = 0; i < files; ++i) {
        if (left() < 4 || left() - 4 < loadLE32(p) || left() - 4 - loadLE32(p) < 8)
            return c;
        const std::uint32_t n = loadLE32(p);
        c.names.emplace_back(reinterpret_cast<const char*>(p + 4), n);
        c.sizes.push_back(loadLE64(p + 4 + n));
        p += 4 + n + 8;
    }
    for (std::uint32_t i = 0; i < pieces; ++i) {
        if (left() < 16)
            return c;
        Entry e;
        e.file = loadLE32(p);
        e.length = loadLE32(p + 4);
        e.offset = loadLE64(p + 8);
        if (e.file >= files || (left() - 16) / 2 < e.length || e.offset > c.sizes[e.file] ||
            e.length > c.sizes[e.file] - e.offset)
            return c;
        e.before = p + 16;
        e.after = p + 16 + e.length;
        c.entries.push_back(e);
        p += 16 + 2 * static_cast<std::size_t>(e.length);
    }
    if (p != end)
        return c;
    c.kind = static_cast<JournalKind>(kind);
    const auto mark = commitMark(h);
    c.state = std::memcmp(end, mark.data(), kMarkSize) == 0 ? Contents::State::Committed : Contents::State::Hot;
    return c;
}

std::string extensionOf(const std::string& name)
{
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : foldCase(name.substr(dot + 1));
}

// The files of a journal, opened for writing and locked as a table's writer
// locks them: the engine's lock files of a table must be free, and each file
// must be ours alone.
// `resized` gets the first file whose size is not the one the journal
// recorded, if any.
Status lockFiles(FileSystem& fs, const std::string& folder, const Contents& journal,
                 std::vector<std::unique_ptr<File>>* out, const File** resized)
{
    const std::vector<std::string>& names = journal.names;
    *resized = nullptr;
    std::vector<std::string> entries;
    if (!fs.listDirectory(folder, &entries).isOk())
        entries.clear();
    auto present = [&](const std::string& wanted) {
        for (const std::string& e : entries)
            if (foldCase(e) == foldCase(wanted))
                return e;
        return std::string();
    };
    out->clear();
    for (const std::string& name : names) {
        const std::string path = folder + name;
        if (extensionOf(name) == "db") {
            for (const std::string& lck : {stemOf(name) + ".lck", std::string("pdoxusrs.lck")}) {
                const std::string found = present(lck);
                bool locked = false;
                if (!found.empty() && fs.probeLock(folder + found, &locked).isOk() && locked)
                    return Status::inUse(path + ": the table is in use by another program (" + found + " is locked)");
            }
        }
        std::unique_ptr<File> file;
        Status st = fs.open(path, OpenMode::ReadWrite, &file);
        if (st.code() == Status::Code::NotFound)
            return Status::notFound(path + ": the file is missing");
        if (st.code() == Status::Code::ReadOnly)
            return Status::readOnly(path + ": the file cannot be written");
        if (!st.isOk())
            return st;
        st = file->lockExclusive();
        if (st.code() == Status::Code::InUse)
            return Status::inUse(path + ": the file is in use by another program");
        if (!st.isOk())
            return st;
        if (!*resized && file->contents().size() != journal.sizes[out->size()])
            *resized = file.get();
        out->push_back(std::move(file));
    }
    return Status::ok();
}

// Writes the entries' before-images, each file's in one request; `fileOf`
// gives the file of an entry's file number.
template <class FileOf>
Status writeBefore(const std::vector<Entry>& entries, FileOf fileOf)
{
    std::vector<File::Run> runs;
    for (std::size_t i = 0; i < entries.size();) {
        const std::uint32_t f = entries[i].file;
        runs.clear();
        for (; i < entries.size() && entries[i].file == f; ++i)
            runs.push_back({entries[i].offset, {entries[i].before, entries[i].length}});
        Status st = fileOf(f)->writeRuns(runs);
        if (!st.isOk())
            return st;
    }
    return Status::ok();
}

// Writes every piece's before-image back and flushes.
Status putBack(const std::vector<std::unique_ptr<File>>& files, const Contents& c)
{
    Status st = writeBefore(c.entries, [&](std::uint32_t f) { return files[f].get(); });
    if (!st.isOk())
        return st;
    for (const auto& f : files) {
        Status st = f->sync();
        if (!st.isOk())
            return st;
    }
    return Status::ok();
}

} // namespace

std::uint64_t journalChecksum(const std::byte* data, std::size_t size, std::uint64_t seed)
{
    constexpr std::uint64_t kMul1 = 0x9E3779B97F4A7C15ull, kMul2 = 0xBF58476D1CE4E5B9ull;
    std::uint64_t h = seed ^ (static_cast<std::uint64_t>(size) * kMul1);
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        h = (h ^ loadLE64(data + i)) * kMul2;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    for (std::size_t k = 0; i + k < size; ++k)
        tail |= static_cast<std::uint64_t>(std::to_integer<unsigned>(data[i + k])) << (8 * k);
    h = (h ^ tail) * kMul1;
    h ^= h >> 32;
    h *= kMul2;
    return h ^ (h >> 29);
}

Journal::Journal(FileSystem& fs, std::string folder, std::string journalName)
    : m_fs(fs), m_folder(std::move(folder)), m_name(std::move(journalName))
{
}

namespace {

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

Status readJournal(FileSystem& fs, const std::string& path, std::unique_ptr<File>* file, Contents* out)
{
    Status st = fs.open(path, OpenMode::ReadOnly, file);
    if (!st.isOk())
        return st;
    *out = decode((*file)->contents());
    return Status::ok();
}

} // namespace

Status Journal::commit(JournalKind kind, std::vector<FileWrites>& writes) const
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

    // A hot journal here is a change that nobody rolled back yet: replacing
    // it would lose the only way back.
    {
        std::unique_ptr<File> old;
        if (m_fs.open(path(), OpenMode::ReadOnly, &old).isOk() && looksHot(old->contents()))
            return Status::invalidArgument(path() + ": an interrupted change must be rolled back first");
    }
    // From here on the journal's copy is the before-image: the files' own
    // bytes change under it.
    // The pieces lie scattered over files of many megabytes: asking for the
    // bytes a few pieces ahead hides most of the wait for memory.
    constexpr std::size_t kAhead = 16;
    const Image image = encode(kind, names, sizes, [&](auto emit) {
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
    st = m_fs.open(path(), OpenMode::ReadWrite, &journal);
    std::vector<File::Run> runs;
    for (std::size_t f = 0; st.isOk() && f < changed.size(); ++f) {
        const FileWrites& w = *changed[f];
        runs.clear();
        runs.reserve(w.pieces.size());
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
            return Status::ioError(st.message() +
                                   "; the change is either complete or will be undone when the folder is next opened");
    }
    if (journal)
        (void)journal->close();
    const Contents recorded = decode(image.span());
    back = writeBefore(recorded.entries, [&](std::uint32_t f) { return changed[f]->file; });
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
    std::unique_ptr<File> file;
    Status st = m_fs.open(path(), OpenMode::ReadOnly, &file);
    if (st.code() == Status::Code::NotFound)
        return Status::ok();
    if (!st.isOk())
        return st;
    // A finished change needs nothing, and every open of the folder asks:
    // its header and mark tell, without reading megabytes of it.
    if (looksCommitted(file->contents()))
        return Status::ok();
    const Contents c = decode(file->contents());
    if (c.state == Contents::State::Committed)
        return Status::ok();
    if (c.state == Contents::State::Torn) {
        (void)file->close();
        st = m_fs.remove(path());
        if (st.isOk())
            st = m_fs.syncDirectory(m_folder);
        if (st.isOk())
            out->outcome = Recovery::Outcome::RemovedTorn;
        return st;
    }

    std::vector<std::unique_ptr<File>> files;
    const File* resized = nullptr;
    st = lockFiles(m_fs, m_folder, c, &files, &resized);
    if (!st.isOk())
        return st;
    if (resized)
        return Status::corruption(resized->path() + ": the file changed size since the interrupted change (" +
                                  std::to_string(resized->contents().size()) + " bytes); it cannot be put back");
    st = putBack(files, c);
    if (!st.isOk())
        return st;
    if (c.kind == JournalKind::Undo) {
        // The change that the interrupted undoing was undoing stands again,
        // and so does its record.
        const Image image = encode(JournalKind::Change, c, true);
        const auto mark = commitMark(image.bytes.get());
        std::memcpy(image.bytes.get() + image.size - kMarkSize, mark.data(), kMarkSize);
        (void)file->close();
        st = placeJournal(m_fs, m_folder, path(), image);
    } else {
        (void)file->close();
        st = m_fs.remove(path());
        if (st.isOk())
            st = m_fs.syncDirectory(m_folder);
    }
    if (!st.isOk())
        return st;
    out->outcome = Recovery::Outcome::RolledBack;
    out->files = c.names;
    return Status::ok();
}

Status Journal::undoLast(std::vector<std::string>* undone) const
{
    undone->clear();
    std::unique_ptr<File> file;
    Contents c;
    Status st = readJournal(m_fs, path(), &file, &c);
    if (st.code() == Status::Code::NotFound)
        return Status::notFound(path() + ": no finished change is recorded here, so there is nothing to undo");
    if (!st.isOk())
        return st;
    if (c.state == Contents::State::Torn)
        return Status::corruption(path() + ": the record of the last change is damaged; nothing can be undone");
    if (c.state == Contents::State::Hot)
        return Status::invalidArgument(path() + ": an interrupted change must be rolled back first");
    if (c.kind == JournalKind::Undo)
        return Status::invalidArgument(path() + ": the last change has already been undone");

    std::vector<std::unique_ptr<File>> files;
    const File* resized = nullptr;
    st = lockFiles(m_fs, m_folder, c, &files, &resized);
    if (!st.isOk())
        return st;
    if (resized)
        return Status::invalidArgument(resized->path() +
                                       ": the file has changed since the last change, which cannot be undone");
    for (const Entry& e : c.entries)
        if (std::memcmp(files[e.file]->contents().data() + e.offset, e.after, e.length) != 0)
            return Status::invalidArgument(files[e.file]->path() +
                                           ": the file has changed since the last change, which cannot be undone");

    std::vector<FileWrites> writes(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        writes[i].file = files[i].get();
        writes[i].name = c.names[i];
    }
    for (const Entry& e : c.entries)
        writes[e.file].add(e.offset, e.before, e.length);
    (void)file->close();
    st = commit(JournalKind::Undo, writes);
    if (st.isOk())
        *undone = c.names;
    return st;
}

} // namespace paradox
