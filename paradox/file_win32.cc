#include "paradox/file.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>

namespace paradox {
namespace {

std::wstring widen(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string errorText(const std::string& path, DWORD err)
{
    char* msg = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, 0, reinterpret_cast<char*>(&msg), 0, nullptr);
    std::string text = msg ? msg : ("error " + std::to_string(err));
    LocalFree(msg);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return path + ": " + text;
}

HANDLE openHandle(const std::string& path, bool write, DWORD share, DWORD flags = FILE_ATTRIBUTE_NORMAL)
{
    return CreateFileW(widen(path).c_str(), GENERIC_READ | (write ? GENERIC_WRITE : 0), share, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

// Why a file could not be opened. A program that opened it without letting
// others write (or at all) holds it; the file itself may well be writable.
Status openFailure(const std::string& path, bool write, DWORD err)
{
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return Status::notFound(errorText(path, err));
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION)
        return Status::inUse(path + ": the file is in use by another program");
    if (write && (err == ERROR_ACCESS_DENIED || err == ERROR_WRITE_PROTECT))
        return Status::readOnly(errorText(path, err));
    return Status::ioError(errorText(path, err));
}

// Opens the folder's own regular file at `path` and nothing it leads to: the
// reparse point itself is opened, not followed, and refused by its attributes.
Status openEntryHandle(const std::string& path, bool write, DWORD flags, HANDLE* out)
{
    const Status notRegular = Status::notSupported(path + ": not a regular file of the folder");
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return Status::notFound(errorText(path, err));
        return Status::ioError(errorText(path, err));
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return notRegular;
    HANDLE h = openHandle(path, write, FILE_SHARE_READ | FILE_SHARE_WRITE, flags | FILE_FLAG_OPEN_REPARSE_POINT);
    if (h == INVALID_HANDLE_VALUE)
        return openFailure(path, write, GetLastError());
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))) {
        CloseHandle(h);
        return notRegular;
    }
    *out = h;
    return Status::ok();
}

Status readAll(HANDLE h, const std::string& path, std::vector<std::byte>* out)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size))
        return Status::ioError(errorText(path, GetLastError()));
    out->resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < out->size()) {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(done);
        ov.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(done) >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out->size() - done, 1 << 20));
        if (!ReadFile(h, out->data() + done, want, &got, &ov)) {
            // Bytes another program has locked cannot be read at all.
            const DWORD err = GetLastError();
            if (err == ERROR_LOCK_VIOLATION)
                return Status::inUse(path + ": the file is in use by another program");
            return Status::ioError(errorText(path, err));
        }
        if (got == 0)
            return Status::ioError(path + ": file shrank while being read");
        done += got;
    }
    return Status::ok();
}

// Windows keeps a copy of the file and writes through; the engine's programs
// see each write at once, as they read through the same cache.
class WinFile final : public File {
public:
    WinFile(std::string path, HANDLE h, bool writable, DWORD flags = FILE_ATTRIBUTE_NORMAL)
        : m_path(std::move(path)), m_handle(h), m_writable(writable), m_flags(flags)
    {
    }
    ~WinFile() override { (void)close(); }

    Status load() { return readAll(m_handle, m_path, &m_bytes); }

    const std::string& path() const override { return m_path; }
    bool writable() const override { return m_writable; }
    std::span<const std::byte> contents() const override { return {m_bytes.data(), m_bytes.size()}; }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        Status st = checkWrite(offset, data.size());
        if (st.isOk())
            st = writeThrough(offset, data);
        if (st.isOk())
            std::memcpy(m_bytes.data() + offset, data.data(), data.size());
        return st;
    }

    // Each WriteFile is a trip to the kernel (under Wine, to its server too),
    // and a shift changes a few bytes in every few records: runs less than a
    // page apart go out as one write, the bytes between them as the file
    // holds them. A gap that small holds no whole page, so the joined write
    // touches no page that the runs alone would not. The file is ours alone
    // while a change is written, so those bytes are still what is on disk.
    Status writeRuns(std::span<const Run> runs) override
    {
        for (const Run& r : runs) {
            Status st = checkWrite(r.offset, r.data.size());
            if (!st.isOk())
                return st;
        }
        std::size_t i = 0;
        while (i < runs.size()) {
            const std::uint64_t begin = runs[i].offset;
            std::uint64_t end = begin + runs[i].data.size();
            std::size_t j = i + 1;
            for (; j < runs.size(); ++j) {
                const std::uint64_t at = runs[j].offset, until = at + runs[j].data.size();
                if (at < begin || at >= end + kJoinGap || std::max(end, until) - begin > kMostJoined)
                    break;
                end = std::max(end, until);
            }
            Status st;
            if (j == i + 1) {
                st = writeAt(runs[i].offset, runs[i].data);
            } else {
                // Laid over the file's bytes in the order given, so that even
                // runs out of order or overlapping end as writeAt() would leave them.
                m_joined.assign(m_bytes.begin() + static_cast<std::ptrdiff_t>(begin),
                                m_bytes.begin() + static_cast<std::ptrdiff_t>(end));
                for (std::size_t k = i; k < j; ++k)
                    std::memcpy(m_joined.data() + (runs[k].offset - begin), runs[k].data.data(),
                                runs[k].data.size());
                st = writeThrough(begin, m_joined);
                if (st.isOk())
                    std::memcpy(m_bytes.data() + begin, m_joined.data(), m_joined.size());
            }
            if (!st.isOk())
                return st;
            i = j;
        }
        return Status::ok();
    }

    Status sync() override
    {
        if (m_handle != INVALID_HANDLE_VALUE && m_writable && !FlushFileBuffers(m_handle))
            return Status::ioError(errorText(m_path, GetLastError()));
        return Status::ok();
    }

    // Windows has no advisory lock that the engine's programs honour; owning
    // the only handle to the file is the lock. The file is opened again
    // without sharing, which fails while any other program has it open.
    Status lockExclusive() override
    {
        if (m_locked)
            return Status::ok();
        const HANDLE shared = m_handle;
        CloseHandle(shared);
        HANDLE h = openHandle(m_path, m_writable, 0, m_flags);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = GetLastError();
            m_handle = openHandle(m_path, m_writable, FILE_SHARE_READ | FILE_SHARE_WRITE, m_flags);
            if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION)
                return Status::inUse(m_path + ": the file is in use by another program");
            return Status::ioError(errorText(m_path, err));
        }
        m_handle = h;
        m_locked = true;
        // Another program may have written between the first open and now.
        std::vector<std::byte> now;
        Status st = readAll(m_handle, m_path, &now);
        if (!st.isOk())
            return st;
        if (now != m_bytes)
            return Status::inUse(m_path + ": the file was changed by another program");
        return Status::ok();
    }

    // While open here no other program can rename or delete the file (it is
    // not shared for deletion), but one that shares it may still resize it.
    Status checkUnchanged() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return Status::ok();
        LARGE_INTEGER size;
        if (!GetFileSizeEx(m_handle, &size))
            return Status::ioError(errorText(m_path, GetLastError()));
        if (static_cast<std::uint64_t>(size.QuadPart) != m_bytes.size())
            return Status::ioError(m_path + ": the file was changed by another program (it now holds " +
                                   std::to_string(size.QuadPart) + " bytes, not " + std::to_string(m_bytes.size()) +
                                   ")");
        return Status::ok();
    }

    Status close() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return Status::ok();
        Status st = sync();
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        m_bytes.clear();
        return st;
    }

private:
    static constexpr std::uint64_t kJoinGap = 4096;       // a page: see writeRuns()
    static constexpr std::uint64_t kMostJoined = 1 << 20; // bytes in one joined write

    Status checkWrite(std::uint64_t offset, std::size_t size) const
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return Status::ioError(m_path + ": file is closed");
        if (!m_writable)
            return Status::readOnly(m_path + ": opened read-only");
        if (offset > m_bytes.size() || size > m_bytes.size() - offset)
            return Status::invalidArgument(m_path + ": write past the end of the file");
        return Status::ok();
    }

    Status writeThrough(std::uint64_t offset, std::span<const std::byte> data)
    {
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(m_handle, data.data(), static_cast<DWORD>(data.size()), &written, &ov) ||
            written != data.size())
            return Status::ioError(errorText(m_path, GetLastError()));
        return Status::ok();
    }

    std::string m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_writable = false;
    DWORD m_flags;
    bool m_locked = false;
    std::vector<std::byte> m_bytes;
    std::vector<std::byte> m_joined; // a joined write's bytes, kept for the next
};

class WinReader final : public FileReader {
public:
    WinReader(std::string path, HANDLE h, std::uint64_t size) : m_path(std::move(path)), m_handle(h), m_size(size) {}
    ~WinReader() override { CloseHandle(m_handle); }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            OVERLAPPED ov{};
            const std::uint64_t at = offset + done;
            ov.Offset = static_cast<DWORD>(at);
            ov.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1 << 20));
            if (!ReadFile(m_handle, out.data() + done, want, &got, &ov))
                return Status::ioError(errorText(m_path, GetLastError()));
            if (got == 0)
                return Status::ioError(m_path + ": file shrank while being read");
            done += got;
        }
        return Status::ok();
    }

private:
    std::string m_path;
    HANDLE m_handle;
    std::uint64_t m_size;
};

class WinFileSystem final : public FileSystem {
public:
    Status open(const std::string& path, OpenMode mode, std::unique_ptr<File>* out) override
    {
        const bool rw = mode == OpenMode::ReadWrite;
        HANDLE h = openHandle(path, rw, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (h == INVALID_HANDLE_VALUE)
            return openFailure(path, rw, GetLastError());
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return Status::ioError(path + ": not a regular file");
        }
        auto file = std::make_unique<WinFile>(path, h, rw);
        Status st = file->load();
        if (!st.isOk())
            return st;
        *out = std::move(file);
        return Status::ok();
    }

    Status openEntry(const std::string& path, OpenMode mode, std::unique_ptr<File>* out) override
    {
        const bool rw = mode == OpenMode::ReadWrite;
        HANDLE h = INVALID_HANDLE_VALUE;
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
        Status st = openEntryHandle(path, rw, flags, &h);
        if (!st.isOk())
            return st;
        auto file = std::make_unique<WinFile>(path, h, rw, flags);
        st = file->load();
        if (!st.isOk())
            return st;
        *out = std::move(file);
        return Status::ok();
    }

    Status openReader(const std::string& path, std::unique_ptr<FileReader>* out) override
    {
        HANDLE h = INVALID_HANDLE_VALUE;
        Status st = openEntryHandle(path, false, FILE_FLAG_SEQUENTIAL_SCAN, &h);
        if (!st.isOk())
            return st;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(h, &size)) {
            st = Status::ioError(errorText(path, GetLastError()));
            CloseHandle(h);
            return st;
        }
        *out = std::make_unique<WinReader>(path, h, static_cast<std::uint64_t>(size.QuadPart));
        return Status::ok();
    }

    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return Status::ioError(errorText(path, GetLastError()));
        Status st;
        std::size_t done = 0;
        while (st.isOk() && done < data.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
            if (!WriteFile(h, data.data() + done, chunk, &written, nullptr) || written == 0)
                st = Status::ioError(errorText(path, GetLastError()));
            done += written;
        }
        if (st.isOk() && !FlushFileBuffers(h))
            st = Status::ioError(errorText(path, GetLastError()));
        CloseHandle(h);
        if (!st.isOk())
            DeleteFileW(widen(path).c_str());
        return st;
    }

    // The rename reaches the disk before it returns, as a journal needs.
    Status rename(const std::string& from, const std::string& to) override
    {
        if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Status::ioError(errorText(to, GetLastError()));
        return Status::ok();
    }

    Status probeLock(const std::string& path, bool* locked) override
    {
        *locked = false;
        HANDLE h = openHandle(path, false, 0);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            return Status::ok();
        }
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return Status::ok();
        if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION) {
            *locked = true;
            return Status::ok();
        }
        return Status::ioError(errorText(path, err));
    }
};

} // namespace

FileSystem& FileSystem::standard()
{
    static WinFileSystem fs;
    return fs;
}

} // namespace paradox
