#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// The program's arguments, argv[0] included, in UTF-8 like every path and
// text inside the program. Windows hands main() its arguments in the ANSI
// code page, which cannot hold every folder name (Cyrillic ones on a
// Western system, say), so there they are read again from the UTF-16
// command line.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Whether `f` is a terminal, or on Windows a console: Windows' C runtime
// calls any character device a terminal, the null device included.
bool isConsole(std::FILE* f);

// Shows the program's UTF-8 messages as text in a Windows console, which
// otherwise prints them in its own code page; puts the console back as it
// was when the object goes. Standard output on the null device gets a
// buffer. Elsewhere it does nothing.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned m_previous = 0;
};

} // namespace cli
