// The version resource of both Windows programs, read back as Explorer's
// Properties read it: the fixed numbers and the strings of the language the
// resource names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

TEST(VersionResource, OfBothProgramsNamesTheProjectVersion)
{
    const std::wstring version = L"" GRIDSHIFT_VERSION;
    std::wstring numbers = version; // as the four of a fixed version
    for (auto dots = std::count(numbers.begin(), numbers.end(), L'.'); dots < 3; ++dots)
        numbers += L".0";
    for (const wchar_t* path : {GRIDSHIFT_CLI, GRIDSHIFT_WINDOW}) {
        SCOPED_TRACE(path);
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

        WORD* language = nullptr; // then its code page
        ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&language),
                                   &length));
        swprintf(text, 64, L"\\StringFileInfo\\%04x%04x\\", language[0], language[1]);
        for (const std::wstring name : {L"FileVersion", L"ProductVersion"}) {
            wchar_t* value = nullptr;
            const bool found = VerQueryValueW(info.data(), (text + name).c_str(), reinterpret_cast<void**>(&value),
                                              &length);
            EXPECT_EQ(found && value ? value : L"(none)", version) << name;
        }
    }
}
