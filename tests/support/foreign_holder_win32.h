#pragma once

// Another Windows process holding a file: lock_holder.exe (tests/paradox),
// started from beside the test's executable, in one of its modes ("shared",
// "range-lock", "data-lock", "deny-write"). It holds the file for the life of
// the object.

#include <gtest/gtest.h>

#include <string>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace testsupport {

namespace win32 {

inline std::wstring widen(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

inline std::wstring lockHolderPath()
{
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"lock_holder.exe";
}

} // namespace win32

class ForeignHolder {
public:
    ForeignHolder(const std::string& mode, const std::string& path)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE outRead, outWrite, inRead;
        CreatePipe(&outRead, &outWrite, &inherit, 0);
        CreatePipe(&inRead, &m_release, &inherit, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_release, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = inRead;
        si.hStdOutput = outWrite;
        si.hStdError = outWrite;
        std::wstring command = L"\"" + win32::lockHolderPath() + L"\" " + win32::widen(mode) + L" \"" +
                               win32::widen(path) + L"\"";
        PROCESS_INFORMATION pi{};
        const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                            &si, &pi);
        const DWORD startError = GetLastError();
        CloseHandle(inRead);
        CloseHandle(outWrite);
        if (started) {
            m_process = pi.hProcess;
            CloseHandle(pi.hThread);
            std::string line;
            char c;
            DWORD got = 0;
            while (ReadFile(outRead, &c, 1, &got, nullptr) && got == 1 && c != '\n')
                if (c != '\r')
                    line += c;
            EXPECT_EQ(line, "ready") << "lock_holder " << mode << " " << path;
        } else {
            ADD_FAILURE() << "cannot start lock_holder.exe: error " << startError;
        }
        CloseHandle(outRead);
    }
    ~ForeignHolder()
    {
        CloseHandle(m_release); // the holder's standard input ends: it lets go
        if (m_process) {
            WaitForSingleObject(m_process, 30000);
            CloseHandle(m_process);
        }
    }
    ForeignHolder(const ForeignHolder&) = delete;
    ForeignHolder& operator=(const ForeignHolder&) = delete;

private:
    HANDLE m_process = nullptr;
    HANDLE m_release = nullptr;
};

// A program that has the file open and a byte-range lock on it, as the
// engine's programs hold their tables and lock files.
class ForeignLock : public ForeignHolder {
public:
    explicit ForeignLock(const std::string& path) : ForeignHolder("range-lock", path) {}
};

} // namespace testsupport
