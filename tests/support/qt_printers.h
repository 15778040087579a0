#pragma once

// GoogleTest prints a QString as a list of two-byte objects; this prints its text.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
