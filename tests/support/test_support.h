#pragma once

// Helpers shared by the tests: scratch folders, file bytes, sample tables and
// values for building tables.

#include "paradox/table.h"

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::vector<std::byte> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::byte>& bytes);
bool fileExists(const std::string& path);

// The folder of real tables written by the original desktop tools, or empty
// when this clone does not have it.
std::string samplesDir();

// Copies every file of `folder` whose name starts with `stem` and a dot
// (letter case ignored) into `to`; returns how many were copied.
int copyFamily(const std::string& folder, const std::string& stem, const std::string& to);

// Writes a table's posts through a transaction of its own, journaled in the
// table's folder; the system's files unless `fs` is given.
paradox::Status commitPosts(paradox::Table& table, paradox::FileSystem* fs = nullptr);
inline constexpr const char* kTestJournal = "test.jnl";

paradox::Value integer(std::int64_t v);
paradox::Value timeOfDay(int hour, int minute, int second = 0, int msec = 0);
paradox::Value date(int year, int month, int day);
paradox::Value text(const std::string& s);
paradox::Value null();

} // namespace testsupport
