// The progress bar on a real console: a pseudo console, on which
// console_progress.exe (beside the test) draws and reads the screen back.
#define NTDDI_VERSION 0x0A000006  // pseudo consoles

#include "foreign_holder_win32.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

std::wstring besideTest(const wchar_t* name)
{
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

TEST(ConsoleProgress, DrawsWithEscapesSwitchedOnForTheRunOnly)
{
    testsupport::TempDir dir;
    const std::string result = dir.path() + "\\console.txt";
    HANDLE inRead, inWrite, outRead, outWrite;
    ASSERT_TRUE(CreatePipe(&inRead, &inWrite, nullptr, 0));
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, nullptr, 0));
    HPCON console;
    ASSERT_EQ(CreatePseudoConsole(COORD{80, 25}, inRead, outWrite, 0, &console), S_OK);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> listBytes(size);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    ASSERT_TRUE(InitializeProcThreadAttributeList(list, 1, 0, &size));
    ASSERT_TRUE(UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console, sizeof console,
                                          nullptr, nullptr));
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.lpAttributeList = list;
    std::wstring command = L"\"" + besideTest(L"console_progress.exe") + L"\" \"" +
                           testsupport::win32::widen(result) + L"\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT,
                               nullptr, nullptr, &si.StartupInfo, &pi));
    // What the console shows comes out of the pipe, which must be read for
    // the console to go on.
    std::thread drain([outRead] {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(outRead, buf, sizeof buf, &n, nullptr) && n > 0) {
        }
    });
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    ClosePseudoConsole(console);
    drain.join();
    CloseHandle(outRead);
    CloseHandle(inWrite);
    DeleteProcThreadAttributeList(list);
    ASSERT_EQ(exitCode, 0u);

    std::ifstream in(result);
    std::string row;
    unsigned long before = 0, during = 0, after = 0;
    std::getline(in, row);
    in >> before >> during >> after;
    // Wine's console takes the mode but shows the erase sequence as text,
    // which Windows' does not: only the bar itself is looked for.
    EXPECT_NE(row.find("[###############...............]  50% Load"), std::string::npos) << row;
    EXPECT_TRUE(during & ENABLE_VIRTUAL_TERMINAL_PROCESSING) << during;
    EXPECT_EQ(after, before);
}

} // namespace
