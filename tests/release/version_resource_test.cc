// The version resource of both Windows programs, read back as Explorer's
// Properties read it: the fixed version numbers and the strings of the
// language the resource names.

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Program {
    const wchar_t* path;
    std::string fileName;
    std::string description;
};

void PrintTo(const Program& program, std::ostream* os)
{
    *os << program.fileName;
}

std::wstring widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// "0.1" as the four numbers of a fixed version, the missing ones 0.
std::vector<WORD> versionNumbers(const std::string& version)
{
    std::vector<WORD> numbers;
    std::istringstream in(version);
    for (std::string part; std::getline(in, part, '.');)
        numbers.push_back(static_cast<WORD>(std::stoi(part)));
    numbers.resize(4, 0);
    return numbers;
}

class VersionResource : public testing::TestWithParam<Program> {};

TEST_P(VersionResource, NamesTheProjectVersion)
{
    const Program& program = GetParam();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.path, &ignored);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.path, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const std::vector<WORD> expected = versionNumbers(GRIDSHIFT_VERSION);
    const std::vector<WORD> file = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                    HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)};
    const std::vector<WORD> product = {HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                                       HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS)};
    EXPECT_EQ(file, expected);
    EXPECT_EQ(product, expected);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    auto value = [&](const wchar_t* name) -> std::wstring {
        wchar_t* text = nullptr;
        UINT chars = 0;
        const std::wstring key = std::wstring(block) + name;
        if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &chars) || !text)
            return L"(none)";
        return text;
    };
    EXPECT_EQ(value(L"FileVersion"), widen(GRIDSHIFT_VERSION));
    EXPECT_EQ(value(L"ProductVersion"), widen(GRIDSHIFT_VERSION));
    EXPECT_EQ(value(L"ProductName"), L"gridshift");
    EXPECT_EQ(value(L"FileDescription"), widen(program.description));
    EXPECT_EQ(value(L"OriginalFilename"), widen(program.fileName));
    EXPECT_EQ(value(L"LegalCopyright"), L"Copyright (c) 2026 the gridshift authors, MIT License");
}

INSTANTIATE_TEST_SUITE_P(Programs, VersionResource,
                         testing::Values(Program{GRIDSHIFT_CLI, "gridshift-cli.exe", "gridshift command line"},
                                         Program{GRIDSHIFT_WINDOW, "gridshift.exe", "gridshift window"}),
                         [](const testing::TestParamInfo<Program>& info) {
                             return info.index == 0 ? std::string("CommandLine") : std::string("Window");
                         });

} // namespace
