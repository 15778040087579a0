#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/paths.h"
#include "paradox/table_impl.h"

#include <algorithm>
#include <bit>

namespace paradox {

using coding::sameBytes;

// ---- FileWrites ----

void FileWrites::add(std::uint64_t offset, const std::byte* data, std::size_t length)
{
    if (length == 0)
        return;
    if (!pieces.empty()) {
        Piece& last = pieces.back();
        if (last.offset + last.length == offset && last.data + last.length == bytes.size()) {
            last.length += static_cast<std::uint32_t>(length);
            const std::size_t at = bytes.size();
            bytes.resize(at + length);
            coding::copyBytes(bytes.data() + at, data, length);
            return;
        }
    }
    const std::size_t at = bytes.size();
    pieces.push_back({offset, static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(at)});
    bytes.resize(at + length);
    coding::copyBytes(bytes.data() + at, data, length);
}

void FileWrites::prepend(std::uint64_t offset, const std::byte* data, std::size_t length)
{
    if (length == 0)
        return;
    const std::size_t at = bytes.size();
    bytes.resize(at + length);
    coding::copyBytes(bytes.data() + at, data, length);
    pieces.insert(pieces.begin(), {offset, static_cast<std::uint32_t>(length), static_cast<std::uint32_t>(at)});
}

void FileWrites::reserve(std::size_t pieceCount, std::size_t byteCount)
{
    pieces.reserve(pieceCount);
    bytes.reserve(byteCount);
}

Status FileWrites::finish()
{
    auto byOffset = [](const Piece& a, const Piece& b) { return a.offset < b.offset; };
    bool ordered = std::is_sorted(pieces.begin(), pieces.end(), byOffset);
    for (std::size_t i = 1; ordered && i < pieces.size(); ++i)
        ordered = pieces[i - 1].offset + pieces[i - 1].length < pieces[i].offset;
    if (ordered)
        return Status::ok();
    std::sort(pieces.begin(), pieces.end(), byOffset);
    FileWrites joined;
    for (const Piece& p : pieces) {
        if (!joined.pieces.empty() && joined.pieces.back().offset + joined.pieces.back().length > p.offset)
            return Status::invalidArgument(name + ": two changes overlap at byte " + std::to_string(p.offset));
        joined.add(p.offset, dataOf(p), p.length);
    }
    pieces = std::move(joined.pieces);
    bytes = std::move(joined.bytes);
    return Status::ok();
}

// ---- StagedRecords ----

void StagedRecords::put(std::uint32_t slot, const std::byte* record, std::uint64_t changedFields,
                        std::uint32_t recordCount, std::size_t recordSize)
{
    if (m_ordinalOfSlot.empty()) {
        m_ordinalOfSlot.assign(recordCount, kNone);
        m_recordSize = recordSize;
    }
    std::uint32_t ordinal = m_ordinalOfSlot[slot];
    if (ordinal == kNone) {
        ordinal = size();
        if (ordinal % kChunkRecords == 0)
            m_chunks.push_back(std::make_unique_for_overwrite<std::byte[]>(kChunkRecords * recordSize));
        m_slots.push_back(slot);
        m_changed.push_back(0);
        m_ordinalOfSlot[slot] = ordinal;
    }
    m_changed[ordinal] = changedFields;
    std::memcpy(const_cast<std::byte*>(image(ordinal)), record, recordSize);
}

void StagedRecords::clear()
{
    m_ordinalOfSlot.clear();
    m_slots.clear();
    m_changed.clear();
    m_chunks.clear();
}

// ---- Table::Impl ----

Status Table::Impl::checkWritable()
{
    if (halfWritten)
        return refuseHalfWritten(path, *halfWritten);
    if (header.writeProtected)
        return error("the table is write-protected");
    if (header.auxPasswords != 0)
        return error("the table is password-protected");
    if (header.needsRebuild)
        return error("the table is marked as needing a rebuild; repair it with the database tools first");
    if (validity.present && validity.referentialIntegrity)
        return error("referential integrity rules are defined for the table; it is not changed outside the "
                     "database engine");
    if (header.fileType == format::kKeyedTable && pxPath.empty())
        return error("its primary index (.PX file) is missing");
    for (const SecondaryIndex& si : secondary)
        if (!si.readable)
            return error("its secondary index " + fileNameOf(si.path) + " cannot be read");

    // Another program using the table shows through the engine's lock files
    // or a lock on the table itself.
    for (const std::string* lck : {&lckPath, &folderLckPath}) {
        if (lck->empty())
            continue;
        bool locked = false;
        Status st = fs->probeLock(*lck, &locked);
        if (!st.isOk())
            return st;
        if (locked)
            return Status::inUse(path + ": the table is in use by another program (" + fileNameOf(*lck) +
                                 " is locked)");
    }
    Status st = db->lockExclusive();
    if (!st.isOk())
        return st.code() == Status::Code::InUse ? Status::inUse(path + ": the table is in use by another program")
                                                : st;

    auto openCompanion = [this](const std::string& companion, std::unique_ptr<File>* out) {
        Status s = fs->open(companion, OpenMode::ReadWrite, out);
        if (s.code() == Status::Code::ReadOnly)
            return error("its index " + fileNameOf(companion) + " cannot be written");
        if (!s.isOk())
            return s;
        s = (*out)->lockExclusive();
        if (s.code() == Status::Code::InUse)
            return Status::inUse(path + ": the table is in use by another program (" + fileNameOf(companion) +
                                 " is locked)");
        return s;
    };
    if (!pxPath.empty()) {
        st = openCompanion(pxPath, &px);
        if (!st.isOk()) {
            px.reset();
            return st;
        }
        if (px->contents().size() <= format::kIndexStamp) {
            px.reset();
            return error("its primary index " + fileNameOf(pxPath) + " is damaged");
        }
        // Every write moves the index's stamp along with the table's counter,
        // which tells other programs the index is current: so it must be.
        st = PrimaryIndex::load(px.get(), header, bytes(), chain, &primary);
        if (!st.isOk()) {
            primary.reset();
            px.reset();
            return error("its primary index " + fileNameOf(pxPath) + " does not match the table (" + st.message() +
                         ")");
        }
    }
    for (SecondaryIndex& si : secondary) {
        if (!si.maintained)
            continue;
        const std::string name = fileNameOf(si.path);
        st = openCompanion(si.path, &si.file);
        if (st.isOk() && si.file->contents().size() <= format::kTableStamp)
            st = error("its secondary index " + name + " is damaged");
        // Its .Y moves with it, so both are kept right or the table is not
        // written at all.
        if (st.isOk() && si.blocksPath.empty()) {
            std::string y = name;
            y[y.size() - 3] = y[y.size() - 3] == 'X' ? 'Y' : 'y';
            st = error("its secondary index " + name + " is missing its companion " + y);
        }
        if (st.isOk())
            st = openCompanion(si.blocksPath, &si.blocksFile);
        if (st.isOk()) {
            const Status understood = MaintainedIndex::open(si.file.get(), si.blocksFile.get(), header, &si.kept);
            if (!understood.isOk())
                st = error("its secondary index " + name + " cannot be kept up to date (" + understood.message() +
                           ")");
        }
        if (!st.isOk()) {
            for (SecondaryIndex& other : secondary) {
                other.kept.reset();
                other.blocksFile.reset();
                other.file.reset();
            }
            primary.reset();
            px.reset();
            return st;
        }
    }
    writeChecked = true;
    return Status::ok();
}

Status Table::Impl::checkFieldWritable(int field)
{
    const Field& f = fields[static_cast<std::size_t>(field)];
    if (validity.present && validity.checkedField[static_cast<std::size_t>(field)])
        return error(validity.readable ? "field '" + f.name + "' has a validity check"
                                       : "the validity checks of the table cannot be read");
    for (SecondaryIndex& si : secondary) {
        if (!si.maintained || !si.holdsField[static_cast<std::size_t>(field)])
            continue;
        if (si.kept && si.kept->checked())
            continue;
        Status st = prepareIndex(si, "field '" + f.name + "' is part of the secondary index " + fileNameOf(si.path));
        if (!st.isOk())
            return st;
    }
    return Status::ok();
}

// An index whose entries will move is checked against the table first: the
// writes keep a right index right, and would hide a wrong one behind fresh
// stamps.
Status Table::Impl::prepareIndex(SecondaryIndex& si, const std::string& cause)
{
    const std::string name = fileNameOf(si.path);
    if (!si.kept)
        return error("its secondary index " + name + " is not open for writing");
    if (si.kept->checked())
        return Status::ok();
    const std::string& problem = si.kept->layout().orderProblem();
    if (!problem.empty())
        return error(cause + ", which " + problem + "; gridshift cannot reproduce that order");
    const Status st = si.kept->check(*this);
    if (st.code() == Status::Code::NotSupported)
        return error("its secondary index " + name + " cannot be kept up to date (" + st.message() + ")");
    if (!st.isOk())
        return error("its secondary index " + name + " does not match the table (" + st.message() +
                     "); rebuild it with the database tools");
    return Status::ok();
}

Status Table::Impl::prepareKeyChanges()
{
    if (keyChangesChecked)
        return Status::ok();
    // 3.x tables name no sort order; their code 0 is the byte order.
    const bool asciiOrder = header.sortOrderName.empty() && !header.hasExtension()
                                ? header.sortOrderCode == 0
                                : foldCase(header.sortOrderName) == "ascii";
    for (std::size_t i = 0; i < header.keyFields; ++i)
        if (header.fields[i].type == 0x01 && !asciiOrder)
            return error("its key holds text in sort order '" +
                         (header.sortOrderName.empty() ? "code " + std::to_string(header.sortOrderCode)
                                                       : header.sortOrderName) +
                         "', whose order gridshift cannot reproduce");
    // Moves rely on the records being in strict key order.
    const std::size_t keyLen = keyLength();
    for (std::uint32_t s = 1; s < recordCount; ++s)
        if (std::memcmp(record(s - 1), record(s), keyLen) >= 0)
            return error("its records are not in key order; rebuild the table with the database tools");
    if (!primary)
        return error("its primary index (.PX file) is missing");
    // Every secondary index holds the key, and the block of each record.
    for (SecondaryIndex& si : secondary) {
        if (!si.maintained)
            continue;
        Status st = prepareIndex(si, "the key is part of the secondary index " + fileNameOf(si.path));
        if (!st.isOk())
            return st;
    }
    keyChangesChecked = true;
    return Status::ok();
}

// The key a post gives `slot` must stay unique in the table as every earlier
// post left it, as it would were each post written at once.
Status Table::Impl::checkNewKey(std::uint32_t slot, const std::byte* newRecord) const
{
    const std::size_t keyLen = keyLength();
    std::uint32_t lo = 0, hi = recordCount;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (std::memcmp(record(mid), newRecord, keyLen) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < recordCount && lo != slot && std::memcmp(record(lo), newRecord, keyLen) == 0) {
        const std::byte* posted = staged.find(lo);
        if (!posted || std::memcmp(posted, record(lo), keyLen) == 0)
            return Status::keyViolation("Key violation"); // that record keeps the key
    }
    if (movedKeys.count(std::string(reinterpret_cast<const char*>(newRecord), keyLen))) {
        const std::byte* mine = staged.find(slot);
        if (!mine || std::memcmp(mine, newRecord, keyLen) != 0)
            return Status::keyViolation("Key violation"); // another posted record moved there
    }
    return Status::ok();
}

void Table::Impl::diffRecord(std::uint32_t slot, const std::byte* now, FileWrites* out) const
{
    const std::byte* old = record(slot);
    std::size_t base = 0;
    for (const Field& f : fields) {
        const auto off = static_cast<std::size_t>(f.offset);
        const auto len = static_cast<std::size_t>(f.length);
        if (sameBytes(old + off, now + off, len))
            continue;
        if (base == 0)
            base = recordOffset(slot);
        out->add(base + off, now + off, len);
    }
}

// The fields that differ were noted when each record was posted, while it
// was at hand: a record is not read again here.
Status Table::Impl::planRecordsInPlace(FileWrites* out) const
{
    // Most posts change one or two fields next to each other.
    out->reserve(staged.size() + 1, static_cast<std::size_t>(staged.size()) * 8 + 1);
    const bool fewFields = fields.size() <= 64;
    for (std::uint32_t i = 0; i < staged.size(); ++i) {
        if (!fewFields) {
            diffRecord(staged.slot(i), staged.image(i), out);
            continue;
        }
        std::uint64_t changed = staged.changedFields(i);
        if (changed == 0)
            continue;
        const std::size_t base = recordOffset(staged.slot(i));
        const std::byte* image = staged.image(i);
        for (; changed != 0; changed &= changed - 1) {
            const Field& f = fields[static_cast<std::size_t>(std::countr_zero(changed))];
            out->add(base + static_cast<std::size_t>(f.offset), image + f.offset,
                     static_cast<std::size_t>(f.length));
        }
    }
    return Status::ok();
}

std::uint64_t Table::Impl::changedFields(std::uint32_t slot, const std::byte* edited) const
{
    if (fields.size() > 64)
        return ~std::uint64_t{0};
    const std::byte* original = record(slot);
    std::uint64_t changed = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto off = static_cast<std::size_t>(fields[i].offset);
        if (!sameBytes(original + off, edited + off, static_cast<std::size_t>(fields[i].length)))
            changed |= std::uint64_t{1} << i;
    }
    return changed;
}

// Posts that change keys leave the same records in the same blocks, in the
// order of their new keys: each slot takes the next record of that order.
// So no block grows, splits or empties, and the primary index keeps its
// shape; only the first keys of blocks can change.
Status Table::Impl::planKeyOrder(FileWrites* dbOut, FileWrites* pxOut, std::vector<std::uint32_t>* order) const
{
    const std::size_t keyLen = keyLength();
    auto keyLess = [keyLen](const std::byte* a, const std::byte* b) { return std::memcmp(a, b, keyLen) < 0; };

    struct Moved {
        const std::byte* image;
        std::uint32_t slot;
    };
    std::vector<Moved> moved;
    std::vector<bool> leaves(recordCount, false);
    for (std::uint32_t i = 0; i < staged.size(); ++i) {
        const std::byte* image = staged.image(i);
        if (std::memcmp(image, record(staged.slot(i)), keyLen) != 0) {
            moved.push_back({image, staged.slot(i)});
            leaves[staged.slot(i)] = true;
        }
    }
    std::sort(moved.begin(), moved.end(), [&](const Moved& a, const Moved& b) { return keyLess(a.image, b.image); });
    for (std::size_t i = 1; i < moved.size(); ++i)
        if (!keyLess(moved[i - 1].image, moved[i].image))
            return Status::keyViolation("Key violation");

    order->resize(recordCount);
    std::size_t m = 0;
    std::uint32_t stay = 0;
    std::size_t block = 0;
    for (std::uint32_t slot = 0; slot < recordCount; ++slot) {
        while (stay < recordCount && leaves[stay])
            ++stay;
        const std::byte* staying = stay < recordCount ? view(stay) : nullptr;
        const std::byte* next = nullptr;
        if (m < moved.size() && (!staying || keyLess(moved[m].image, staying))) {
            (*order)[slot] = moved[m].slot;
            next = moved[m++].image;
        } else {
            if (!staying)
                return Status::corruption(path + ": records went missing while planning the new key order");
            if (m < moved.size() && !keyLess(staying, moved[m].image))
                return Status::keyViolation("Key violation");
            (*order)[slot] = stay;
            next = staying;
            ++stay;
        }
        diffRecord(slot, next, dbOut);
        while (block < chain.size() && (chain[block].count == 0 || chain[block].firstSlot < slot))
            ++block;
        if (block < chain.size() && chain[block].firstSlot == slot) {
            Status st = primary->planFirstKey(chain[block].number, next, pxOut);
            if (!st.isOk())
                return st.withContext(pxPath);
        }
    }
    return Status::ok();
}

// The index's entries, and its stamps: the .X's own change counter and its
// .Y's stamp move once for each record whose entry changed, and the .X's
// stamp of the table follows the table's counter.
Status Table::Impl::planSecondaryIndex(const SecondaryIndex& si, const std::vector<std::uint32_t>* order,
                                       std::vector<FileWrites>* out) const
{
    FileWrites x;
    x.file = si.file.get();
    x.name = fileNameOf(si.path);
    FileWrites y;
    y.file = si.blocksFile.get();
    y.name = fileNameOf(si.blocksPath);
    std::uint32_t changes = 0;
    if (si.kept && si.kept->checked()) {
        const Status st = si.kept->plan(*this, order, &x, &y, &changes);
        if (st.code() == Status::Code::KeyViolation)
            return st;
        if (st.code() == Status::Code::NotSupported)
            return error("its secondary index " + x.name + " cannot be kept up to date: " + st.message());
        if (!st.isOk())
            return st.withContext(si.path);
    } else if (order) {
        return error("its secondary index " + x.name + " was not checked before the key changed");
    }
    // Known only now, the stamps go before the entries, so that the pieces
    // stay in order.
    auto bump = [](File* file, std::size_t offset, std::uint32_t amount, FileWrites* w) {
        const std::byte next{static_cast<unsigned char>(coding::u8(file->contents().data() + offset) + amount)};
        if (next != file->contents()[offset])
            w->prepend(offset, &next, 1);
    };
    bump(x.file, format::kTableStamp, posts, &x);
    bump(x.file, format::kChangeCounter, changes, &x);
    if (y.file)
        bump(y.file, format::kIndexStamp, changes, &y);
    for (FileWrites* w : {&x, &y}) {
        if (!w->file || w->pieces.empty())
            continue;
        Status st = w->finish();
        if (!st.isOk())
            return st;
        out->push_back(std::move(*w));
    }
    return Status::ok();
}

Status Table::Impl::planWrites(std::vector<FileWrites>* out) const
{
    if (staged.empty() && posts == 0)
        return Status::ok();
    FileWrites dbOut;
    dbOut.file = db.get();
    dbOut.name = fileNameOf(path);
    FileWrites pxOut;
    if (px) {
        pxOut.file = px.get();
        pxOut.name = fileNameOf(pxPath);
    }
    // The table's change counter and every stamp that follows it move
    // together, once per post, so other programs see the change and keep
    // trusting the indexes. They come first in their files, so the pieces
    // stay in order as they are added.
    auto bump = [this](File* file, std::size_t offset, FileWrites* w) {
        const std::byte next{static_cast<unsigned char>(coding::u8(file->contents().data() + offset) + posts)};
        if (next != file->contents()[offset])
            w->add(offset, &next, 1);
    };
    bump(db.get(), format::kChangeCounter, &dbOut);
    if (px)
        bump(px.get(), format::kIndexStamp, &pxOut);
    std::vector<std::uint32_t> order;
    Status st = movedKeys.empty() ? planRecordsInPlace(&dbOut) : planKeyOrder(&dbOut, &pxOut, &order);
    if (!st.isOk())
        return st;
    std::vector<FileWrites> indexes;
    for (const SecondaryIndex& si : secondary) {
        if (!si.file)
            continue;
        st = planSecondaryIndex(si, movedKeys.empty() ? nullptr : &order, &indexes);
        if (!st.isOk())
            return st;
    }
    for (FileWrites* w : {&dbOut, &pxOut}) {
        if (!w->file || w->pieces.empty())
            continue;
        st = w->finish();
        if (!st.isOk())
            return st;
        out->push_back(std::move(*w));
    }
    for (FileWrites& w : indexes)
        out->push_back(std::move(w));
    return Status::ok();
}

void Table::Impl::discardPosts()
{
    editing = false;
    staged.clear();
    posts = 0;
    movedKeys.clear();
}

void Table::Impl::afterCommit()
{
    discardPosts();
    keyChangesChecked = false;
    for (SecondaryIndex& si : secondary)
        if (si.kept)
            si.kept->forget();
}

// ---- Table ----

Status Table::lockForWriting()
{
    Impl& d = *m_impl;
    if (d.readOnly)
        return Status::readOnly("Cannot modify a read-only dataset");
    return d.writeChecked ? Status::ok() : d.checkWritable();
}

Status Table::edit()
{
    Impl& d = *m_impl;
    if (d.readOnly)
        return Status::readOnly("Cannot modify a read-only dataset");
    if (eof())
        return Status::invalidArgument(d.path + ": there is no current record to edit");
    if (d.editing)
        return Status::ok();
    if (!d.writeChecked) {
        Status st = d.checkWritable();
        if (!st.isOk())
            return st;
    }
    const std::byte* rec = d.view(d.walkPos);
    d.editRecord.assign(rec, rec + d.header.recordSize);
    d.editing = true;
    return Status::ok();
}

Status Table::setDateTime(int field, DateTime value)
{
    Impl& d = *m_impl;
    if (!d.editing)
        return Status::invalidArgument("Dataset not in edit or insert mode");
    const Field& f = d.fields[static_cast<std::size_t>(field)];
    std::byte encoded[8];
    switch (f.type) {
    case FieldType::Date: {
        std::int32_t day = 0;
        Status st = dayNumberFromDateTime(value, &day);
        if (!st.isOk())
            return Status::invalidArgument("Invalid value for field '" + f.name + "'");
        coding::encodeInt(encoded, day, 4);
        break;
    }
    case FieldType::Time:
        coding::encodeInt(encoded, timeMsFromDateTime(value), 4);
        break;
    case FieldType::Timestamp: {
        double ms = 0;
        Status st = timestampMsFromDateTime(value, &ms);
        if (!st.isOk())
            return Status::invalidArgument("Invalid value for field '" + f.name + "'");
        coding::encodeDouble(encoded, ms);
        break;
    }
    default:
        return Status::invalidArgument("Cannot access field '" + f.name + "' as type DateTime");
    }
    Status st = d.checkFieldWritable(field);
    if (!st.isOk())
        return st;
    std::memcpy(d.editRecord.data() + f.offset, encoded, static_cast<std::size_t>(f.length));
    return Status::ok();
}

Status Table::setInteger(int field, std::int64_t value)
{
    Impl& d = *m_impl;
    if (!d.editing)
        return Status::invalidArgument("Dataset not in edit or insert mode");
    const Field& f = d.fields[static_cast<std::size_t>(field)];
    if (f.type != FieldType::Short && f.type != FieldType::Long)
        return Status::invalidArgument("Cannot access field '" + f.name + "' as type Integer");
    // The most negative value of each width is the blank.
    const std::int64_t limit = f.type == FieldType::Short ? 32767 : 2147483647;
    if (value < -limit || value > limit)
        return Status::invalidArgument("Invalid value for field '" + f.name + "'");
    Status st = d.checkFieldWritable(field);
    if (!st.isOk())
        return st;
    coding::encodeInt(d.editRecord.data() + f.offset, value, f.length);
    return Status::ok();
}

Status Table::post()
{
    Impl& d = *m_impl;
    if (!d.editing)
        return Status::invalidArgument("Dataset not in edit or insert mode");
    const std::uint32_t slot = d.walkPos;
    const std::byte* now = d.view(slot);
    const std::byte* edited = d.editRecord.data();
    if (std::memcmp(now, edited, d.header.recordSize) == 0) {
        d.editing = false;
        return Status::ok();
    }
    const std::size_t keyLen = d.keyLength();
    if (d.header.fileType == format::kKeyedTable && std::memcmp(now, edited, keyLen) != 0) {
        Status st = d.prepareKeyChanges();
        if (st.isOk())
            st = d.checkNewKey(slot, edited);
        if (!st.isOk())
            return st;
        const std::byte* original = d.record(slot);
        if (std::memcmp(now, original, keyLen) != 0)
            d.movedKeys.erase(std::string(reinterpret_cast<const char*>(now), keyLen));
        if (std::memcmp(edited, original, keyLen) != 0)
            d.movedKeys.insert(std::string(reinterpret_cast<const char*>(edited), keyLen));
    }
    d.staged.put(slot, edited, d.changedFields(slot, edited), d.recordCount, d.header.recordSize);
    ++d.posts;
    d.editing = false;
    return Status::ok();
}

void Table::cancel()
{
    m_impl->editing = false;
}

void Table::discardPosts()
{
    m_impl->discardPosts();
}

} // namespace paradox
