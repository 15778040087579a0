#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/paths.h"
#include "paradox/table_impl.h"

#include <algorithm>

namespace paradox {
namespace {

Status bumpByte(File* file, std::size_t offset)
{
    const std::byte next = std::byte(static_cast<unsigned char>(coding::u8(file->contents().data() + offset) + 1));
    return file->writeAt(offset, {&next, 1});
}

} // namespace

Status Table::Impl::checkWritable()
{
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
        // Every post moves the index's stamp along with the table's counter,
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
        st = openCompanion(si.path, &si.file);
        if (st.isOk() && si.file->contents().size() <= format::kTableStamp)
            st = error("its secondary index " + fileNameOf(si.path) + " is damaged");
        if (!st.isOk()) {
            for (SecondaryIndex& other : secondary)
                other.file.reset();
            primary.reset();
            px.reset();
            return st;
        }
    }
    writeChecked = true;
    return Status::ok();
}

Status Table::Impl::checkFieldWritable(int field) const
{
    const Field& f = fields[static_cast<std::size_t>(field)];
    for (const SecondaryIndex& si : secondary)
        if (si.maintained && si.holdsField[static_cast<std::size_t>(field)])
            return error("field '" + f.name + "' is part of the secondary index " + fileNameOf(si.path) +
                         ", which gridshift cannot keep up to date");
    if (validity.present && validity.checkedField[static_cast<std::size_t>(field)])
        return error(validity.readable ? "field '" + f.name + "' has a validity check"
                                       : "the validity checks of the table cannot be read");
    return Status::ok();
}

Status Table::Impl::writeStamps()
{
    // The table's change counter and every stamp that follows it move
    // together, so other programs see the change and keep trusting the indexes.
    Status st = bumpByte(db.get(), format::kChangeCounter);
    if (st.isOk() && px)
        st = bumpByte(px.get(), format::kIndexStamp);
    for (const SecondaryIndex& si : secondary)
        if (st.isOk() && si.file)
            st = bumpByte(si.file.get(), format::kTableStamp);
    return st;
}

Status Table::Impl::postInPlace(std::uint32_t slot)
{
    const std::size_t base = recordOffset(slot);
    const std::byte* old = bytes().data() + base;
    for (const Field& f : fields) {
        const auto off = static_cast<std::size_t>(f.offset);
        const auto len = static_cast<std::size_t>(f.length);
        if (std::memcmp(old + off, editRecord.data() + off, len) == 0)
            continue;
        Status st = db->writeAt(base + off, {editRecord.data() + off, len});
        if (!st.isOk())
            return st;
    }
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
    for (const SecondaryIndex& si : secondary)
        if (si.maintained)
            return error("a key field cannot change while the secondary index " + fileNameOf(si.path) +
                         " must be kept up to date");
    // Moves rely on the records being in strict key order.
    const std::size_t keyLen = keyLength();
    for (std::uint32_t s = 1; s < recordCount; ++s)
        if (std::memcmp(record(s - 1), record(s), keyLen) >= 0)
            return error("its records are not in key order; rebuild the table with the database tools");
    if (!primary)
        return error("its primary index (.PX file) is missing");
    keyChangesChecked = true;
    return Status::ok();
}

Status Table::Impl::postKeyChange(std::uint32_t from)
{
    Status st = prepareKeyChanges();
    if (!st.isOk())
        return st;
    const std::size_t keyLen = keyLength();
    const std::byte* newKey = editRecord.data();

    // First slot whose key is not below the new key.
    std::uint32_t lo = 0, hi = recordCount;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (std::memcmp(record(mid), newKey, keyLen) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < recordCount && lo != from && std::memcmp(record(lo), newKey, keyLen) == 0)
        return Status::keyViolation("Key violation");
    const std::uint32_t to = lo > from ? lo - 1 : lo;

    // The records between the old and the new place each move one slot
    // toward the old place; block counts stay as they are, so no block is
    // split or freed and the index keeps its shape.
    const std::uint32_t first = std::min(from, to), last = std::max(from, to);
    const std::size_t rs = header.recordSize;
    std::vector<std::byte> moved(static_cast<std::size_t>(last - first + 1) * rs);
    for (std::uint32_t s = first; s <= last; ++s)
        std::memcpy(moved.data() + static_cast<std::size_t>(s - first) * rs, record(s), rs);
    if (to > from)
        std::rotate(moved.begin(), moved.begin() + static_cast<std::ptrdiff_t>(rs), moved.end());
    else
        std::rotate(moved.begin(), moved.end() - static_cast<std::ptrdiff_t>(rs), moved.end());
    std::memcpy(moved.data() + static_cast<std::size_t>(to - first) * rs, editRecord.data(), rs);

    for (std::uint32_t s = first; s <= last;) {
        const ChainBlock& b = chain[chainIndexOfSlot(s)];
        const std::uint32_t end = std::min<std::uint32_t>(last + 1, b.firstSlot + b.count);
        st = db->writeAt(recordOffset(s), {moved.data() + static_cast<std::size_t>(s - first) * rs,
                                           static_cast<std::size_t>(end - s) * rs});
        if (!st.isOk())
            return st;
        s = end;
    }
    // Blocks that now start with another record carry a new first key.
    for (std::size_t c = chainIndexOfSlot(first); c < chain.size() && chain[c].firstSlot <= last; ++c) {
        const ChainBlock& b = chain[c];
        if (b.count == 0 || b.firstSlot < first)
            continue;
        st = primary->setFirstKey(b.number, record(b.firstSlot));
        if (!st.isOk())
            return st;
    }

    // Keep the walk on the records it has not met yet.
    if (idToSlot.empty()) {
        idToSlot.resize(recordCount);
        slotToId.resize(recordCount);
        for (std::uint32_t s = 0; s < recordCount; ++s)
            idToSlot[s] = slotToId[s] = s;
    }
    auto begin = slotToId.begin() + first, end = slotToId.begin() + last + 1;
    if (to > from)
        std::rotate(begin, begin + 1, end);
    else
        std::rotate(begin, end - 1, end);
    for (std::uint32_t s = first; s <= last; ++s)
        idToSlot[slotToId[s]] = s;
    return Status::ok();
}

// ---- Table ----

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
    const std::byte* rec = d.record(d.currentSlot());
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

Status Table::post()
{
    Impl& d = *m_impl;
    if (!d.editing)
        return Status::invalidArgument("Dataset not in edit or insert mode");
    const std::uint32_t slot = d.currentSlot();
    const std::byte* old = d.record(slot);
    if (std::memcmp(old, d.editRecord.data(), d.header.recordSize) == 0) {
        d.editing = false;
        return Status::ok();
    }
    const bool keyChanged = d.header.fileType == format::kKeyedTable &&
                            std::memcmp(old, d.editRecord.data(), d.keyLength()) != 0;
    Status st = keyChanged ? d.postKeyChange(slot) : d.postInPlace(slot);
    if (st.isOk())
        st = d.writeStamps();
    if (st.isOk())
        d.editing = false;
    return st;
}

void Table::cancel()
{
    m_impl->editing = false;
}

} // namespace paradox
