#include "paradox/validity.h"

#include "paradox/codepage.h"
#include "paradox/coding.h"

namespace paradox {
namespace {

// .VAL layout: byte 0 = the table's structure stamp, byte 2 = number of field
// checks, u32 at 0x09 = footer, u32 at 0x0D = referential-integrity section
// (0 = none). Field checks start at 0x35: a 28-byte head (field position,
// picture length, required flag, lookup flags, six value pointers) followed
// by the data the pointers announce.
constexpr std::size_t kValChecks = 0x02;
constexpr std::size_t kValFooter = 0x09;
constexpr std::size_t kValReferential = 0x0D;
constexpr std::size_t kValFirstCheck = 0x35;
constexpr std::size_t kCheckHead = 0x1C;
constexpr std::size_t kLookupTableName = 80;

} // namespace

void describeSecondaryIndex(FileSystem* fs, const format::Header& table,
                            const std::vector<std::string>& foldedFieldNames, SecondaryIndex* index)
{
    const std::size_t n = table.fields.size();
    index->holdsField.assign(n, true);
    index->maintained = true;
    index->readable = false;

    std::unique_ptr<File> file;
    if (!fs->open(index->path, OpenMode::ReadOnly, &file).isOk())
        return;
    format::Header h;
    const bool parsed = format::parseHeader(file->contents(), &h).isOk();
    (void)file->close();
    if (!parsed || !format::isSecondaryIndexType(h.fileType))
        return;

    index->readable = true;
    index->maintained = format::isMaintainedIndexType(h.fileType);
    index->holdsField.assign(n, false);
    // Every index of a keyed table carries the primary key.
    for (std::size_t i = 0; i < table.keyFields && i < n; ++i)
        index->holdsField[i] = true;
    // The leading field numbers name the indexed fields of the table.
    const int trailing = table.fileType == format::kKeyedTable ? table.keyFields : 2;
    const int indexed = std::max(1, static_cast<int>(h.keyFields) - trailing);
    for (int i = 0; i < indexed && i < static_cast<int>(h.fieldNumbers.size()); ++i) {
        const unsigned number = h.fieldNumbers[static_cast<std::size_t>(i)] & 0x7FFF;
        if (number >= 1 && number <= n)
            index->holdsField[number - 1] = true;
    }
    // Names as well, in case the numbers are read wrongly.
    const int cp = h.codePage == 0 && h.sortOrderName.empty() ? table.textCodePage : h.textCodePage;
    for (const auto& d : h.fields) {
        const std::string folded = foldCase(toUtf8(d.rawName, cp));
        for (std::size_t i = 0; i < n; ++i)
            if (foldedFieldNames[i] == folded)
                index->holdsField[i] = true;
    }
}

void readValidityRules(FileSystem* fs, const std::string& path, const format::Header& table, ValidityRules* rules)
{
    const std::size_t n = table.fields.size();
    rules->present = true;
    rules->readable = false;
    rules->checkedField.assign(n, true);

    std::unique_ptr<File> file;
    if (!fs->open(path, OpenMode::ReadOnly, &file).isOk())
        return;
    const std::vector<std::byte> bytes(file->contents().begin(), file->contents().end());
    (void)file->close();
    if (bytes.size() < kValFirstCheck)
        return;
    const std::byte* p = bytes.data();
    // The structure stamp must match, or the checks describe another layout.
    if (coding::u8(p) != table.structureStamp)
        return;
    const unsigned checks = coding::u8(p + kValChecks);
    const std::uint32_t footer = coding::loadLE32(p + kValFooter);
    const std::uint32_t referential = coding::loadLE32(p + kValReferential);
    rules->referentialIntegrity = referential != 0;
    if (footer > bytes.size() || footer < kValFirstCheck || referential > footer)
        return;

    std::vector<bool> checked(n, false);
    std::size_t pos = kValFirstCheck;
    for (unsigned c = 0; c < checks; ++c) {
        if (pos + kCheckHead > footer)
            return;
        const std::byte* e = p + pos;
        const unsigned field = coding::u8(e);
        const unsigned pictureLength = coding::u8(e + 1);
        const unsigned lookupFlags = coding::u8(e + 3);
        if (field >= n)
            return;
        std::size_t data = pictureLength;
        bool onlyRequired = pictureLength == 0 && lookupFlags == 0;
        if (coding::loadLE32(e + 4) != 0) {
            data += kLookupTableName;
            onlyRequired = false;
        }
        for (std::size_t ptr = 8; ptr < kCheckHead; ptr += 4) {
            if (coding::loadLE32(e + ptr) != 0) {
                data += table.fields[field].length;
                onlyRequired = false;
            }
        }
        // "Required" alone cannot be broken by this writer, which never
        // stores a blank date or time.
        if (!onlyRequired)
            checked[field] = true;
        pos += kCheckHead + data;
    }
    const std::size_t expectedEnd = referential != 0 ? referential : footer;
    if (pos != expectedEnd)
        return;
    if (footer + 2 > bytes.size() || coding::loadLE16(p + footer) != n)
        return;
    rules->readable = true;
    rules->checkedField = std::move(checked);
}

} // namespace paradox
