// The progress bar on a real console: console_progress.exe, from beside the
// test, draws on a pseudo console and checks what it shows.
#define NTDDI_VERSION 0x0A000006 // pseudo consoles

#include <gtest/gtest.h>

#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

TEST(ConsoleProgress, DrawsWithEscapesSwitchedOnForTheRunOnly)
{
    // What the console shows goes to the null device; its input stays open
    // (at its end the console would close).
    const HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE inRead, inWrite;
    ASSERT_TRUE(CreatePipe(&inRead, &inWrite, nullptr, 0));
    HPCON console;
    ASSERT_EQ(CreatePseudoConsole(COORD{80, 25}, inRead, null, 0, &console), S_OK);
    CloseHandle(inRead);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    InitializeProcThreadAttributeList(si.lpAttributeList, 1, 0, &size);
    UpdateProcThreadAttribute(si.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console, sizeof console,
                              nullptr, nullptr);
    std::wstring command(MAX_PATH, L'\0');
    command.resize(GetModuleFileNameW(nullptr, command.data(), MAX_PATH));
    command = command.substr(0, command.find_last_of(L"\\/") + 1) + L"console_progress.exe";
    PROCESS_INFORMATION pi{};
    DWORD exitCode = 1;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                       nullptr, &si.StartupInfo, &pi)) {
        WaitForSingleObject(pi.hProcess, 30000);
        GetExitCodeProcess(pi.hProcess, &exitCode);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    ClosePseudoConsole(console);
    CloseHandle(null);
    CloseHandle(inWrite);
    DeleteProcThreadAttributeList(si.lpAttributeList);
    EXPECT_EQ(exitCode, 0u) << "2: no console; 3: no bar on it; 4: escape sequences off; 5: mode not put back";
}

} // namespace
