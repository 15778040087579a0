#pragma once

#include "paradox/status.h"

#include <string>
#include <string_view>

namespace paradox {

// HP Roman-8 has no DOS or Windows code page; IBM's number for it stands in.
inline constexpr int kHpRoman8 = 1051;

// Text of a table (Alpha values, field names) is single-byte text in the
// table's code page. These convert it at the boundary. Code pages 437, 850,
// 852, 866, 1250, 1251, 1252 and HP Roman-8 are built in; others go through
// the system's converter where there is one, and bytes it cannot convert
// become U+FFFD.
std::string toUtf8(std::string_view bytes, int codePage);

// Fails when the text holds a character the code page lacks.
Status fromUtf8(std::string_view utf8, int codePage, std::string* out);

// The code page a sort order (the name in a table's header) implies, for
// tables whose header gives no code page; 0 for a name not known here.
// Letter case is ignored.
int codePageOfSortOrder(std::string_view sortOrderName);

// The code page a sort-order byte (header offset 0x29) implies, for 3.x
// tables, which give neither a code page nor a sort-order name; 0 when the
// byte says nothing beyond the default.
int codePageOfSortOrderCode(int code);

// Case folding for names compared "without regard to letter case": ASCII,
// Latin-1 and Cyrillic letters.
std::string foldCase(std::string_view utf8);

} // namespace paradox
