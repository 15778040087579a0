// Windows' own file handling: tables held by another process through sharing
// modes and byte-range locks. Folder names in other scripts and in any letter
// case are tested with the grid's operations (tests/grid/engine_win32_test.cc).
#include "table_fixtures.h"

#include "paradox/file.h"

#include <gtest/gtest.h>

#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

using fixtures::buildFilling;
using fixtures::FillingShape;
using paradox::FileSystem;
using paradox::OpenMode;
using paradox::Status;
using testsupport::readFile;
using testsupport::TempDir;

std::wstring widen(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// lock_holder.exe, built beside this test.
std::wstring helperPath()
{
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"lock_holder.exe";
}

// Another process holding `path` in one of lock_holder's modes for the life
// of the object.
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
        std::wstring command = L"\"" + helperPath() + L"\" " + widen(mode) + L" \"" + widen(path) + L"\"";
        PROCESS_INFORMATION pi{};
        const BOOL started =
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
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
        CloseHandle(m_release);
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

class WindowsSharing : public ::testing::Test {
protected:
    void SetUp() override { buildFilling(db, FillingShape{}); }

    // Posts a new FSize into the first record; the first step that fails.
    Status tryPost()
    {
        std::unique_ptr<paradox::Table> table;
        paradox::Table::Options o;
        Status st = paradox::Table::open(db, o, &table);
        if (!st.isOk())
            return st;
        st = table->edit();
        if (st.isOk())
            st = table->setDateTime(table->fieldIndex("FSize"), 0.25);
        if (st.isOk())
            st = table->post();
        table->cancel();
        const Status closed = table->close();
        EXPECT_TRUE(closed.isOk()) << closed.message();
        return st;
    }

    void expectInUse(const std::string& reasonPart)
    {
        const std::vector<std::byte> before = readFile(db);
        const Status st = tryPost();
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        EXPECT_NE(st.message().find(reasonPart), std::string::npos) << st.message();
        EXPECT_EQ(readFile(db), before);
    }

    FileSystem& fs = FileSystem::standard();
    TempDir dir;
    std::string db = dir.path() + "\\AdvBlock.db";
};

TEST_F(WindowsSharing, AProgramWithTheTableOpenHoldsOffWritersButNotReaders)
{
    const std::vector<std::byte> bytes = readFile(db);
    for (const char* mode : {"shared", "range-lock"}) {
        SCOPED_TRACE(mode);
        ForeignHolder holder(mode, db);
        std::unique_ptr<paradox::File> reader;
        ASSERT_TRUE(fs.open(db, OpenMode::ReadOnly, &reader).isOk());
        EXPECT_TRUE(std::ranges::equal(reader->contents(), bytes));
        bool locked = false;
        ASSERT_TRUE(fs.probeLock(db, &locked).isOk());
        EXPECT_TRUE(locked);

        std::unique_ptr<paradox::File> writer;
        ASSERT_TRUE(fs.open(db, OpenMode::ReadWrite, &writer).isOk());
        EXPECT_EQ(writer->lockExclusive().code(), Status::Code::InUse);
        // A refused lock leaves the file open for reading as before.
        EXPECT_TRUE(std::ranges::equal(writer->contents(), bytes));
        reader.reset();
        writer.reset();
        expectInUse("in use by another program");
    }
    bool locked = true;
    ASSERT_TRUE(fs.probeLock(db, &locked).isOk());
    EXPECT_FALSE(locked);
    EXPECT_TRUE(tryPost().isOk());
}

TEST_F(WindowsSharing, ATableWhoseBytesOrWritesAnotherProgramDeniesIsInUse)
{
    {
        // Windows refuses reads of locked bytes (Wine lets them through).
        ForeignHolder holder("data-lock", db);
        std::unique_ptr<paradox::File> file;
        const Status st = fs.open(db, OpenMode::ReadOnly, &file);
        if (!st.isOk()) {
            EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        }
        expectInUse("in use by another program");
    }
    {
        // Opened letting others only read: readers go on, writers are told why.
        ForeignHolder holder("deny-write", db);
        std::unique_ptr<paradox::File> file;
        EXPECT_TRUE(fs.open(db, OpenMode::ReadOnly, &file).isOk());
        const Status st = fs.open(db, OpenMode::ReadWrite, &file);
        EXPECT_EQ(st.code(), Status::Code::InUse) << st.message();
        expectInUse("in use by another program");
    }
    EXPECT_TRUE(tryPost().isOk());
}

TEST_F(WindowsSharing, LockFilesHeldByAnotherProgramStopWrites)
{
    for (const char* lockFile : {"AdvBlock.lck", "PDOXUSRS.LCK"}) {
        SCOPED_TRACE(lockFile);
        const std::string lck = dir.path() + "\\" + lockFile;
        testsupport::writeFile(lck, std::vector<std::byte>(16));
        {
            ForeignHolder holder("range-lock", lck);
            expectInUse(std::string(lockFile) + " is locked");
        }
        // A lock file nobody holds is left over from an earlier session.
        EXPECT_TRUE(tryPost().isOk());
    }
}

} // namespace
