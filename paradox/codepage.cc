#include "paradox/codepage.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#if !defined(_WIN32)
#include <iconv.h>
#endif

namespace paradox {
namespace codepage_tables {
extern const std::uint16_t kCp437[128];
extern const std::uint16_t kCp850[128];
extern const std::uint16_t kCp852[128];
extern const std::uint16_t kCp866[128];
extern const std::uint16_t kCp1250[128];
extern const std::uint16_t kCp1251[128];
extern const std::uint16_t kCp1252[128];
extern const std::uint16_t kRoman8[128];
} // namespace codepage_tables

namespace {

const std::uint16_t* tableFor(int codePage)
{
    using namespace codepage_tables;
    switch (codePage) {
    case 437:
        return kCp437;
    case 850:
        return kCp850;
    case 852:
        return kCp852;
    case 866:
        return kCp866;
    case 1250:
        return kCp1250;
    case 1251:
        return kCp1251;
    case 1252:
        return kCp1252;
    case kHpRoman8:
        return kRoman8;
    default:
        return nullptr;
    }
}

void appendUtf8(std::string* out, char32_t c)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 character; malformed input yields U+FFFD and moves on.
char32_t nextUtf8(std::string_view s, std::size_t* i)
{
    const auto b0 = static_cast<unsigned char>(s[*i]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    if (len == 0 || *i + len > s.size()) {
        ++*i;
        return 0xFFFD;
    }
    char32_t c = len == 1 ? b0 : b0 & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[*i + k]);
        if ((b & 0xC0) != 0x80) {
            ++*i;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    *i += len;
    return c;
}

#if !defined(_WIN32)
bool convertWithIconv(std::string_view bytes, int codePage, std::string* out)
{
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = ::iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out->clear();
    std::vector<char> in(bytes.begin(), bytes.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buf[256];
    while (inLeft > 0) {
        char* outPtr = buf;
        std::size_t outLeft = sizeof buf;
        const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out->append(buf, static_cast<std::size_t>(outPtr - buf));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An unconvertible byte: mark it and go on after it.
            appendUtf8(out, 0xFFFD);
            ++inPtr;
            --inLeft;
        }
    }
    ::iconv_close(cd);
    return true;
}
#endif

} // namespace

std::string toUtf8(std::string_view bytes, int codePage)
{
    std::string out;
    out.reserve(bytes.size());
    const std::uint16_t* table = tableFor(codePage);
    if (!table) {
#if !defined(_WIN32)
        if (codePage > 0 && convertWithIconv(bytes, codePage, &out))
            return out;
#endif
        // Unknown code page: keep ASCII, mark the rest.
        for (char ch : bytes) {
            const auto b = static_cast<unsigned char>(ch);
            appendUtf8(&out, b < 0x80 ? b : 0xFFFD);
        }
        return out;
    }
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        appendUtf8(&out, b < 0x80 ? b : table[b - 0x80]);
    }
    return out;
}

Status fromUtf8(std::string_view utf8, int codePage, std::string* out)
{
    const std::uint16_t* table = tableFor(codePage);
    out->clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = nextUtf8(utf8, &i);
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        if (table) {
            for (int k = 0; k < 128; ++k) {
                if (table[k] == c && c != 0xFFFD) {
                    found = k;
                    break;
                }
            }
        }
        if (found < 0)
            return Status::invalidArgument("text cannot be written in code page " + std::to_string(codePage));
        out->push_back(static_cast<char>(0x80 + found));
    }
    return Status::ok();
}

int codePageOfSortOrder(std::string_view sortOrderName)
{
    // The orders seen on real tables, and the Cyrillic ones of Russian
    // installs. A DOS order goes with an OEM code page, a Windows one
    // ("ANSI...", "DBWIN...", "an...") with the Windows page of its language.
    static const struct {
        const char* name;
        int codePage;
    } kOrders[] = {
        {"ascii", 437},     {"intl", 437},      {"intl850", 850}, {"cyrr", 866},  {"ANSII850", 1252},
        {"DBWINUS0", 1252}, {"DBWINWE0", 1252}, {"ancyrr", 1251}, {"china", 936}, {"BLROM800", kHpRoman8},
    };
    const std::string folded = foldCase(sortOrderName);
    for (const auto& order : kOrders)
        if (foldCase(order.name) == folded)
            return order.codePage;
    return 0;
}

int codePageOfSortOrderCode(int code)
{
    // Bytes seen on real tables, beside the order names that tables of
    // later versions give with them: 0x00 ascii, 0x03 china, 0x11 ANSII850,
    // 0x14 BLROM800, 0x40 DBWINWE0, 0x4C DBWINUS0, 0xC0 cyrr (in 3.5 tables
    // as well, holding Russian text). Only the Cyrillic one is taken from
    // the byte; 3.x tables with any other byte keep reading as code page
    // 437, as they always have.
    return code == 0xC0 ? 866 : 0;
}

std::string foldCase(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = nextUtf8(utf8, &i);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F))
            c += 0x20;
        else if (c >= 0x400 && c <= 0x40F)
            c += 0x50;
        appendUtf8(&out, c);
    }
    return out;
}

} // namespace paradox
