// The version resource of both Windows programs, read back as Explorer's
// Properties read it: the fixed numbers and the strings of the language the
// resource names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(VersionResource, OfBothProgramsNamesTheProjectVersion)
{
    const std::wstring version = L"" GRIDSHIFT_VERSION;
    std::wstring numbers = version; // "0.1" as the four numbers of a fixed version
    for (auto dots = std::count(numbers.begin(), numbers.end(), L'.'); dots < 3; ++dots)
        numbers += L".0";
    const struct {
        const wchar_t* path;
        std::wstring fileName, description;
    } programs[] = {{GRIDSHIFT_CLI, L"gridshift-cli.exe", L"gridshift command line"},
                    {GRIDSHIFT_WINDOW, L"gridshift.exe", L"gridshift window"}};
    for (const auto& program : programs) {
        SCOPED_TRACE(program.path);
        std::vector<char> info(GetFileVersionInfoSizeW(program.path, nullptr));
        ASSERT_TRUE(!info.empty() && GetFileVersionInfoW(program.path, 0, info.size(), info.data()));
        UINT length = 0;
        VS_FIXEDFILEINFO* fixed = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        wchar_t shown[64];
        swprintf(shown, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                 HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(shown, numbers);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        WORD* language = nullptr; // and code page
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&language),
                                   &length) &&
                    length >= 4);
        swprintf(shown, 64, L"\\StringFileInfo\\%04x%04x\\", language[0], language[1]);
        for (const auto& [name, expected] :
             {std::pair<std::wstring, std::wstring>{L"FileVersion", version},
              {L"ProductVersion", version},
              {L"ProductName", L"gridshift"},
              {L"FileDescription", program.description},
              {L"OriginalFilename", program.fileName},
              {L"LegalCopyright", L"Copyright (c) 2026 the gridshift authors, MIT License"}}) {
            wchar_t* text = nullptr;
            const bool found = VerQueryValueW(info.data(), (shown + name).c_str(), reinterpret_cast<void**>(&text),
                                              &length);
            EXPECT_EQ(found && text ? text : L"(none)", expected) << name;
        }
    }
}
