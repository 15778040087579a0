#include "paradox/table.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"
#include "paradox/paths.h"
#include "paradox/table_impl.h"
#include "paradox/validity.h"

#include <algorithm>
#include <cmath>

namespace paradox {
namespace {

using coding::decodeDouble;
using coding::decodeInt;
using coding::isBlank;

// Splits "dir/NAME.ext" into the folder with its separator and the file name.
void splitPath(const std::string& path, std::string* folder, std::string* name)
{
    std::size_t cut = path.find_last_of('/');
#if defined(_WIN32)
    const std::size_t back = path.find_last_of("\\:");
    if (back != std::string::npos && (cut == std::string::npos || back > cut))
        cut = back;
#endif
    if (cut == std::string::npos) {
        folder->clear();
        *name = path;
    } else {
        *folder = path.substr(0, cut + 1);
        *name = path.substr(cut + 1);
    }
}

// BCD: sign and decimals in byte 0, then 32 packed digits; a negative value
// has its digits inverted. Digits that are not decimal are noise left by the
// writing engine, so the value ends before the first of them.
std::string bcdText(const std::byte* p, int decimals)
{
    const unsigned b0 = coding::u8(p);
    const bool negative = (b0 & 0x80) == 0;
    std::string digits;
    for (int i = 0; i < 32; ++i) {
        unsigned nib = coding::u8(p + 1 + i / 2);
        nib = (i % 2 == 0) ? nib >> 4 : nib & 0x0F;
        if (negative)
            nib = 15 - nib;
        if (nib > 9) {
            digits.resize(static_cast<std::size_t>(i));
            break;
        }
        digits.push_back(static_cast<char>('0' + nib));
    }
    const std::size_t validDigits = digits.size();
    digits.resize(32, '0');
    const std::size_t intDigits = 32 - static_cast<std::size_t>(decimals);
    std::string whole = digits.substr(0, intDigits);
    const std::size_t nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? "0" : whole.substr(nz);
    std::string frac = digits.substr(intDigits);
    if (validDigits < 32 && validDigits > intDigits)
        frac.resize(validDigits - intDigits);
    std::string out = negative ? "-" : "";
    out += whole;
    if (!frac.empty())
        out += "." + frac;
    return out;
}

// Rounds a decimal text to the nearest whole number, halves to even.
bool roundDecimalText(const std::string& text, std::int64_t* out)
{
    const bool negative = !text.empty() && text[0] == '-';
    const std::string body = negative ? text.substr(1) : text;
    const std::size_t dot = body.find('.');
    const std::string whole = body.substr(0, dot);
    const std::string frac = dot == std::string::npos ? std::string() : body.substr(dot + 1);
    std::uint64_t v = 0;
    for (char c : whole) {
        if (v > (std::uint64_t{1} << 62) / 10)
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (!frac.empty()) {
        const bool restNonZero = frac.find_first_not_of('0', 1) != std::string::npos;
        if (frac[0] > '5' || (frac[0] == '5' && (restNonZero || (v & 1))))
            ++v;
    }
    *out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
}

std::string counted(std::uint32_t n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

HalfWritten halfWrittenOf(std::size_t fileSize, const format::Header& header, const format::ChainOverrun& overrun)
{
    HalfWritten h;
    h.headerRecords = header.numRecords;
    h.blockRecords = overrun.blockRecords;
    h.headerBlocks = header.fileBlocks;
    h.fileBlocks = format::blocksInFile(fileSize, header);
    h.strayBlock = overrun.strayBlock;
    return h;
}

} // namespace

Status refuseHalfWritten(const std::string& path, const HalfWritten& table)
{
    return Status::notSupported(path + ": " + describe(table) +
                                "; the database's own table-repair tool must mend it before it can be changed");
}

std::string describe(const HalfWritten& t)
{
    std::vector<std::string> found{"the file holds " + counted(t.fileBlocks, "block")};
    if (t.strayBlock != 0)
        found.push_back("the chain goes on to block " + std::to_string(t.strayBlock));
    if (t.blockRecords > t.headerRecords)
        found.push_back("the chain's blocks hold " + counted(t.blockRecords, "record"));
    std::string text = "a writer left the table half-way: the header counts " + counted(t.headerRecords, "record") +
                       " in " + counted(t.headerBlocks, "block") + ", but ";
    for (std::size_t i = 0; i < found.size(); ++i)
        text += (i == 0 ? "" : i + 1 == found.size() ? " and " : ", ") + found[i];
    return text;
}

Status checkNotHalfWritten(std::span<const std::byte> file, const std::string& path)
{
    format::Header header;
    if (!format::parseHeader(file, &header).isOk() || !format::isTableType(header.fileType) ||
        header.encryptionKey != 0)
        return Status::ok();
    std::vector<ChainBlock> chain;
    std::uint32_t records = 0;
    format::ChainOverrun overrun;
    if (!format::readTableChain(file, header, &chain, &records, &overrun).isOk() || !overrun.found(header))
        return Status::ok();
    return refuseHalfWritten(path, halfWrittenOf(file.size(), header, overrun));
}

bool isDateTimeType(FieldType type)
{
    return type == FieldType::Date || type == FieldType::Time || type == FieldType::Timestamp;
}

bool isBlobType(FieldType type)
{
    const auto t = static_cast<unsigned>(type);
    return t >= 0x0C && t <= 0x10;
}

// ---- Impl ----

Status Table::Impl::error(const std::string& reason) const
{
    return Status::notSupported(path + ": " + reason);
}

std::size_t Table::Impl::chainIndexOfSlot(std::uint32_t slot) const
{
    if (chainHint < chain.size()) {
        const ChainBlock& b = chain[chainHint];
        if (slot >= b.firstSlot && slot < b.firstSlot + b.count)
            return chainHint;
        if (chainHint + 1 < chain.size()) {
            const ChainBlock& n = chain[chainHint + 1];
            if (slot >= n.firstSlot && slot < n.firstSlot + n.count)
                return ++chainHint;
        }
    }
    auto it = std::upper_bound(chain.begin(), chain.end(), slot,
                               [](std::uint32_t s, const ChainBlock& b) { return s < b.firstSlot; });
    chainHint = static_cast<std::size_t>(it - chain.begin()) - 1;
    return chainHint;
}

std::size_t Table::Impl::recordOffset(std::uint32_t slot) const
{
    const ChainBlock& b = chain[chainIndexOfSlot(slot)];
    return header.blockOffset(b.number) + format::kBlockHeaderSize +
           static_cast<std::size_t>(slot - b.firstSlot) * header.recordSize;
}

std::size_t Table::Impl::keyLength() const
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < header.keyFields; ++i)
        n += header.fields[i].length;
    return n;
}

Status Table::Impl::load()
{
    const std::span<const std::byte> data = bytes();
    // An index file has another header layout; say what it is rather than
    // which detail of that layout fails to add up.
    if (data.size() >= format::kFixedHeaderEnd) {
        const unsigned type = coding::u8(data.data() + format::kFileType);
        if (type <= format::kCompositeMaintained && !format::isTableType(static_cast<int>(type)))
            return Status::corruption(path + ": not a table (file type " + std::to_string(type) + ")");
    }
    Status st = format::parseHeader(data, &header);
    if (!st.isOk())
        return st.withContext(path);
    if (header.fileType == format::kTable && header.keyFields != 0)
        return Status::corruption(path + ": a table without a primary index has " +
                                  std::to_string(header.keyFields) + " key fields");
    if (header.encryptionKey != 0)
        return Status::notSupported(path + ": the table is encrypted (password-protected); it cannot be read");

    fields.reserve(header.fields.size());
    for (const auto& d : header.fields) {
        Field f;
        f.name = toUtf8(d.rawName, header.textCodePage);
        f.type = static_cast<FieldType>(d.type);
        f.size = d.size;
        f.length = d.length;
        f.offset = static_cast<int>(d.offset);
        foldedNames.push_back(foldCase(f.name));
        fields.push_back(std::move(f));
    }

    // Walk the chain once: it gives the table's order and proves the blocks sound.
    format::ChainOverrun overrun;
    st = format::readTableChain(data, header, &chain, &recordCount, &overrun);
    if (!st.isOk())
        return st.withContext(path);
    if (overrun.found(header))
        halfWritten = halfWrittenOf(data.size(), header, overrun);
    if (recordCount != header.numRecords)
        return Status::corruption(path + ": the header counts " + std::to_string(header.numRecords) +
                                  " records but the blocks hold " + std::to_string(recordCount));
    findCompanions();
    return Status::ok();
}

void Table::Impl::findCompanions()
{
    std::string folderName, fileName;
    splitPath(path, &folderName, &fileName);
    folder = folderName;
    const std::string stem = foldCase(stemOf(fileName));
    std::vector<std::string> names;
    if (!fs->listDirectory(folder, &names).isOk())
        names.clear();
    std::vector<std::string> valFiles;
    std::vector<std::string> blockIndexes;
    for (const std::string& name : names) {
        const std::string ext = extensionOf(name);
        if (foldCase(name) == "pdoxusrs.lck")
            folderLckPath = folder + name;
        if (foldCase(stemOf(name)) != stem)
            continue;
        if (ext == "px")
            pxPath = folder + name;
        else if (ext == "lck")
            lckPath = folder + name;
        else if (ext == "val")
            valFiles.push_back(folder + name);
        else if (isSecondaryIndexExtension(ext, 'x')) {
            SecondaryIndex si;
            si.path = folder + name;
            si.holdsField.assign(fields.size(), true);
            secondary.push_back(std::move(si));
        } else if (isSecondaryIndexExtension(ext, 'y')) {
            blockIndexes.push_back(name);
        }
    }
    // In the order of their names, whatever order the folder lists them in,
    // so that a change is planned and journaled the same way everywhere.
    std::sort(secondary.begin(), secondary.end(), [](const SecondaryIndex& a, const SecondaryIndex& b) {
        return foldCase(fileNameOf(a.path)) < foldCase(fileNameOf(b.path));
    });
    for (SecondaryIndex& si : secondary) {
        // NAME.X02 goes with NAME.Y02, NAME.XG0 with NAME.YG0.
        const std::string wanted = "y" + extensionOf(si.path).substr(1);
        for (const std::string& y : blockIndexes)
            if (extensionOf(y) == wanted)
                si.blocksPath = folder + y;
        describeSecondaryIndex(fs, header, foldedNames, &si);
    }
    if (!valFiles.empty())
        readValidityRules(fs, valFiles.front(), header, &validity);
}

// ---- Table ----

Table::Table(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Table::~Table()
{
    (void)close();
}

Status Table::open(const std::string& path, const Options& options, std::unique_ptr<Table>* out)
{
    auto impl = std::make_unique<Impl>();
    impl->fs = options.fileSystem ? options.fileSystem : &FileSystem::standard();
    impl->path = path;
    Status st = impl->fs->open(path, options.mode, &impl->db);
    if (st.code() == Status::Code::ReadOnly && options.mode == OpenMode::ReadWrite) {
        impl->readOnly = true;
        st = impl->fs->open(path, OpenMode::ReadOnly, &impl->db);
    } else {
        impl->readOnly = options.mode == OpenMode::ReadOnly;
    }
    if (!st.isOk())
        return st;
    st = impl->load();
    if (!st.isOk())
        return st;
    out->reset(new Table(std::move(impl)));
    (*out)->first();
    return Status::ok();
}

Status Table::close()
{
    if (!m_impl || !m_impl->db)
        return Status::ok();
    Impl& d = *m_impl;
    d.discardPosts();
    Status result;
    auto closeOne = [&result](std::unique_ptr<File>& f) {
        if (!f)
            return;
        Status st = f->close();
        if (result.isOk() && !st.isOk())
            result = st;
        f.reset();
    };
    for (SecondaryIndex& si : d.secondary) {
        si.kept.reset();
        closeOne(si.blocksFile);
        closeOne(si.file);
    }
    d.primary.reset();
    closeOne(d.px);
    closeOne(d.db);
    return result;
}

Status Table::checkUnchanged() const
{
    const Impl& d = *m_impl;
    Status st = d.db ? d.db->checkUnchanged() : Status::ok();
    if (st.isOk() && d.px)
        st = d.px->checkUnchanged();
    for (const SecondaryIndex& si : d.secondary) {
        if (st.isOk() && si.file)
            st = si.file->checkUnchanged();
        if (st.isOk() && si.blocksFile)
            st = si.blocksFile->checkUnchanged();
    }
    return st;
}

Status Table::checkSecondaryIndexes()
{
    Impl& d = *m_impl;
    for (SecondaryIndex& si : d.secondary) {
        if (!si.maintained)
            continue;
        const std::string name = fileNameOf(si.path);
        if (!si.readable)
            return Status::corruption(name + ": cannot be read");
        // The files open for writing when the table is; else opened here to read.
        std::unique_ptr<File> x, y;
        std::unique_ptr<MaintainedIndex> opened;
        MaintainedIndex* index = si.kept.get();
        if (!index) {
            if (si.blocksPath.empty())
                return Status::corruption(name + ": its .Y file is missing");
            Status st = d.fs->open(si.path, OpenMode::ReadOnly, &x);
            if (st.isOk())
                st = d.fs->open(si.blocksPath, OpenMode::ReadOnly, &y);
            if (st.isOk())
                st = MaintainedIndex::open(x.get(), y.get(), d.header, &opened);
            if (!st.isOk())
                return st.withContext(name);
            index = opened.get();
        }
        const Status st = index->check(d);
        if (!st.isOk())
            return st.withContext(name);
    }
    return Status::ok();
}

const std::string& Table::path() const
{
    return m_impl->path;
}
bool Table::readOnly() const
{
    return m_impl->readOnly;
}
bool Table::keyed() const
{
    return m_impl->header.fileType == format::kKeyedTable;
}
int Table::keyFieldCount() const
{
    return m_impl->header.keyFields;
}
int Table::version() const
{
    return m_impl->header.version;
}
int Table::blockSize() const
{
    return static_cast<int>(m_impl->header.blockSize);
}
int Table::codePage() const
{
    return m_impl->header.codePage;
}
std::uint32_t Table::recordCount() const
{
    return m_impl->recordCount;
}
const HalfWritten* Table::halfWritten() const
{
    return m_impl->halfWritten ? &*m_impl->halfWritten : nullptr;
}
const std::vector<Field>& Table::fields() const
{
    return m_impl->fields;
}
bool Table::editing() const
{
    return m_impl->editing;
}

int Table::fieldIndex(std::string_view name) const
{
    const std::string folded = foldCase(name);
    const auto& names = m_impl->foldedNames;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == folded)
            return static_cast<int>(i);
    return -1;
}

void Table::first()
{
    m_impl->editing = false;
    m_impl->walkPos = 0;
}

void Table::next()
{
    m_impl->editing = false;
    if (m_impl->walkPos < m_impl->recordCount)
        ++m_impl->walkPos;
}

bool Table::eof() const
{
    return m_impl->walkPos >= m_impl->recordCount;
}

bool Table::isNull(int field) const
{
    const Field& f = m_impl->fields[static_cast<std::size_t>(field)];
    return isBlank(m_impl->currentRecord() + f.offset, static_cast<std::size_t>(f.length));
}

Value Table::value(int field) const
{
    const Field& f = m_impl->fields[static_cast<std::size_t>(field)];
    const std::byte* p = m_impl->currentRecord() + f.offset;
    Value v;
    if (isBlobType(f.type)) {
        v.kind = Value::Kind::Blob;
        return v;
    }
    if (isBlank(p, static_cast<std::size_t>(f.length)))
        return v;
    switch (f.type) {
    case FieldType::Alpha: {
        std::size_t n = 0;
        while (n < static_cast<std::size_t>(f.length) && p[n] != std::byte{0})
            ++n;
        v.kind = Value::Kind::Text;
        v.text = toUtf8({reinterpret_cast<const char*>(p), n}, m_impl->header.textCodePage);
        break;
    }
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        v.kind = Value::Kind::Integer;
        v.integer = decodeInt(p, f.length);
        break;
    case FieldType::Date:
        v.kind = Value::Kind::Date;
        v.integer = decodeInt(p, 4);
        break;
    case FieldType::Time:
        v.kind = Value::Kind::Time;
        v.integer = decodeInt(p, 4);
        break;
    case FieldType::Timestamp:
        v.kind = Value::Kind::Timestamp;
        v.real = decodeDouble(p);
        break;
    case FieldType::Number:
    case FieldType::Currency:
        v.kind = Value::Kind::Float;
        v.real = decodeDouble(p);
        break;
    case FieldType::Logical:
        v.kind = Value::Kind::Logical;
        v.integer = (coding::u8(p) & 0x7F) != 0 ? 1 : 0;
        break;
    case FieldType::Bcd:
        v.kind = Value::Kind::Decimal;
        v.text = bcdText(p, f.size);
        break;
    case FieldType::Bytes:
        v.kind = Value::Kind::Bytes;
        v.text.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.length));
        break;
    default:
        break;
    }
    return v;
}

DateTime dateTimeIn(const Field& f, const std::byte* record)
{
    const std::byte* p = record + f.offset;
    if (isBlank(p, static_cast<std::size_t>(f.length)))
        return 0;
    switch (f.type) {
    case FieldType::Date:
        return dateTimeFromDayNumber(static_cast<std::int32_t>(decodeInt(p, 4)));
    case FieldType::Time:
        // A corrupt negative count of milliseconds still gives a finite value.
        return static_cast<double>(decodeInt(p, 4)) / static_cast<double>(kMsPerDay);
    case FieldType::Timestamp:
        return dateTimeFromTimestampMs(decodeDouble(p));
    default:
        return 0;
    }
}

Status Table::readDateTime(int field, DateTime* out) const
{
    const Field& f = m_impl->fields[static_cast<std::size_t>(field)];
    if (!isDateTimeType(f.type))
        return Status::invalidArgument("Cannot access field '" + f.name + "' as type DateTime");
    *out = dateTimeIn(f, m_impl->currentRecord());
    return Status::ok();
}

Table::Run Table::currentRun() const
{
    const Impl& d = *m_impl;
    Run run;
    run.slot = d.walkPos;
    run.stride = d.header.recordSize;
    if (d.walkPos >= d.recordCount)
        return run;
    const ChainBlock& b = d.chain[d.chainIndexOfSlot(d.walkPos)];
    run.first = d.record(d.walkPos);
    run.count = b.firstSlot + b.count - d.walkPos;
    return run;
}

void Table::seek(std::uint32_t slot)
{
    m_impl->editing = false;
    m_impl->walkPos = std::min(slot, m_impl->recordCount);
}

Status Table::readInteger(int field, std::int64_t* out) const
{
    const Field& f = m_impl->fields[static_cast<std::size_t>(field)];
    const std::byte* p = m_impl->currentRecord() + f.offset;
    const bool blank = isBlank(p, static_cast<std::size_t>(f.length));
    switch (f.type) {
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        *out = blank ? 0 : decodeInt(p, f.length);
        return Status::ok();
    case FieldType::Number:
    case FieldType::Currency: {
        if (blank) {
            *out = 0;
            return Status::ok();
        }
        const double r = std::nearbyint(decodeDouble(p));
        if (!(r >= -9.2e18 && r <= 9.2e18))
            return Status::invalidArgument("Field '" + f.name + "' holds a value too large for an integer");
        *out = static_cast<std::int64_t>(r);
        return Status::ok();
    }
    case FieldType::Bcd:
        if (blank) {
            *out = 0;
            return Status::ok();
        }
        if (!roundDecimalText(bcdText(p, f.size), out))
            return Status::invalidArgument("Field '" + f.name + "' holds a value too large for an integer");
        return Status::ok();
    default:
        return Status::invalidArgument("Cannot access field '" + f.name + "' as type Integer");
    }
}

} // namespace paradox
