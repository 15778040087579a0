#include "test_support.h"

#include "paradox/datetime.h"
#include "paradox/transaction.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

// Paths are UTF-8 throughout; a plain string means the ANSI code page on Windows.
fs::path fromUtf8(const std::string& path)
{
    return fs::path(std::u8string(path.begin(), path.end()));
}

} // namespace

TempDir::TempDir()
{
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p = fs::temp_directory_path() / ("gridshift-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::vector<std::byte> readFile(const std::string& path)
{
    std::ifstream in(fromUtf8(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i)
        bytes[i] = std::byte(static_cast<unsigned char>(chars[i]));
    return bytes;
}

void writeFile(const std::string& path, const std::vector<std::byte>& bytes)
{
    std::ofstream out(fromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path)
{
    return fs::exists(fromUtf8(path));
}

std::string samplesDir()
{
#ifdef GRIDSHIFT_SAMPLES_DIR
    const std::string dir = GRIDSHIFT_SAMPLES_DIR;
    std::error_code ec;
    if (fs::is_directory(dir + "/fields", ec))
        return dir;
#endif
    return {};
}

int copyFamily(const std::string& folder, const std::string& stem, const std::string& to)
{
    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    int copied = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (lower(name).rfind(lower(stem) + ".", 0) != 0)
            continue;
        fs::copy_file(entry.path(), fs::path(to) / name, fs::copy_options::overwrite_existing);
        fs::permissions(fs::path(to) / name, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        ++copied;
    }
    return copied;
}

paradox::Status commitPosts(paradox::Table& table, paradox::FileSystem* fs)
{
    paradox::Transaction tx(fs ? *fs : paradox::FileSystem::standard(), kTestJournal);
    paradox::Status st = tx.add(table);
    return st.isOk() ? tx.commit() : st;
}

paradox::Value integer(std::int64_t v)
{
    paradox::Value x;
    x.kind = paradox::Value::Kind::Integer;
    x.integer = v;
    return x;
}

paradox::Value timeOfDay(int hour, int minute, int second, int msec)
{
    paradox::Value x;
    x.kind = paradox::Value::Kind::Time;
    x.integer = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
    return x;
}

paradox::Value date(int year, int month, int day)
{
    paradox::Value x;
    x.kind = paradox::Value::Kind::Date;
    x.integer = paradox::dayNumberFromCivil({year, month, day});
    return x;
}

paradox::Value text(const std::string& s)
{
    paradox::Value x;
    x.kind = paradox::Value::Kind::Text;
    x.text = s;
    return x;
}

paradox::Value null()
{
    return {};
}

} // namespace testsupport
