// Holds a file the way another Windows program that has a table open does,
// for file_win32_test.cc:
//
//   lock_holder MODE PATH
//     shared      open for reading and writing, shared with every program
//     range-lock  the same, with an exclusive byte-range lock past the end of
//                 the data, as engines lock to tell each other what they use
//     data-lock   the same, with an exclusive lock over every byte of the file
//     deny-write  open for reading and writing, letting others only read
//
// Prints "ready" once it holds the file, or the system's error number, and
// keeps the file until its standard input closes.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string_view>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    const std::wstring_view mode = argv[1];
    const DWORD share = mode == L"deny-write" ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE h = CreateFileW(argv[2], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    BOOL held = h != INVALID_HANDLE_VALUE;
    if (held && (mode == L"range-lock" || mode == L"data-lock")) {
        OVERLAPPED at{};
        DWORD length = 1;
        if (mode == L"range-lock")
            at.Offset = 0x40000000; // far past the data, so reads are not blocked
        else
            length = GetFileSize(h, nullptr);
        held = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, length, 0, &at);
    }
    if (!held) {
        std::printf("error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char c;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got > 0) {
    }
    CloseHandle(h);
    return 0;
}
