// The version resource of both Windows programs, read back as Explorer's
// Properties read it: the fixed numbers and the strings of the language the
// resource names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

TEST(VersionResource, OfBothProgramsNamesTheProjectVersion)
{
    const std::wstring version = L"" GRIDSHIFT_VERSION;
    std::wstring numbers = version; // as the four of a fixed version
    for (auto dots = std::count(numbers.begin(), numbers.end(), L'.'); dots < 3; ++dots)
        numbers += L".0";
    for (const auto& [path, fileName, description] :
         {std::tuple<const wchar_t*, std::wstring, std::wstring>{GRIDSHIFT_CLI, L"gridshift-cli.exe",
                                                                 L"gridshift command line"},
          {GRIDSHIFT_WINDOW, L"gridshift.exe", L"gridshift window"}}) {
        SCOPED_TRACE(fileName);
        std::vector<char> info(GetFileVersionInfoSizeW(path, nullptr));
        ASSERT_TRUE(!info.empty() && GetFileVersionInfoW(path, 0, info.size(), info.data()));
        UINT length = 0;
        VS_FIXEDFILEINFO* fixed = nullptr;
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        wchar_t text[64];
        swprintf(text, 64, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                 HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(text, numbers);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        WORD* language = nullptr; // then its code page
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&language),
                                   &length));
        swprintf(text, 64, L"\\StringFileInfo\\%04x%04x\\", language[0], language[1]);
        for (const auto& [name, expected] :
             {std::pair<std::wstring, std::wstring>{L"FileVersion", version},
              {L"ProductVersion", version},
              {L"ProductName", L"gridshift"},
              {L"FileDescription", description},
              {L"OriginalFilename", fileName},
              {L"LegalCopyright", L"Copyright (c) 2026 the gridshift authors, MIT License"}}) {
            wchar_t* value = nullptr;
            const bool found = VerQueryValueW(info.data(), (text + name).c_str(), reinterpret_cast<void**>(&value),
                                              &length);
            EXPECT_EQ(found && value ? value : L"(none)", expected) << name;
        }
    }
}
