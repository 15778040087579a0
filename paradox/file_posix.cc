#include "paradox/file.h"

#include "paradox/coding.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paradox {
namespace {

std::string errorText(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

// Open-file-description locks, where the system has them, belong to the open
// file rather than the process: closing another descriptor of the same file
// in this process does not drop them, and a second open here conflicts too.
// Other processes see them exactly as classic fcntl locks.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

// Another program may truncate a file while it is mapped here; touching a
// page past the new end then raises SIGBUS. Such a fault in one of our
// mappings gets a page of zeros in place of the missing one and marks the
// mapping, so the read goes on and the file's next check reports the
// truncation instead of the program dying. Faults elsewhere keep their
// default effect.
struct MappedRegion {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};

constexpr int kMaxRegions = 256;
MappedRegion g_regions[kMaxRegions];
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previousSigbus;

void onSigbus(int sig, siginfo_t* info, void* context)
{
    const auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (MappedRegion& r : g_regions) {
        const std::uintptr_t begin = r.begin.load(std::memory_order_acquire);
        if (begin == 0 || addr < begin || addr >= r.end.load(std::memory_order_acquire))
            continue;
        void* page = reinterpret_cast<void*>(addr & ~(g_pageSize - 1));
        if (::mmap(page, g_pageSize, PROT_READ | PROT_WRITE, MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) !=
            MAP_FAILED) {
            r.faulted.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if ((g_previousSigbus.sa_flags & SA_SIGINFO) && g_previousSigbus.sa_sigaction) {
        g_previousSigbus.sa_sigaction(sig, info, context);
        return;
    }
    if (g_previousSigbus.sa_handler != SIG_DFL && g_previousSigbus.sa_handler != SIG_IGN) {
        g_previousSigbus.sa_handler(sig);
        return;
    }
    // Returning retries the access, which now takes the default action.
    ::signal(SIGBUS, SIG_DFL);
}

MappedRegion* registerMapping(const std::byte* begin, std::size_t size)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        if (page > 0)
            g_pageSize = static_cast<std::uintptr_t>(page);
        struct sigaction sa;
        std::memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = onSigbus;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previousSigbus);
    });
    for (MappedRegion& r : g_regions) {
        std::uintptr_t expected = 0;
        if (r.begin.load() != 0)
            continue;
        r.faulted.store(false);
        r.end.store(reinterpret_cast<std::uintptr_t>(begin) + size, std::memory_order_release);
        if (r.begin.compare_exchange_strong(expected, reinterpret_cast<std::uintptr_t>(begin)))
            return &r;
    }
    return nullptr;
}

void unregisterMapping(MappedRegion* r)
{
    if (r)
        r->begin.store(0, std::memory_order_release);
}

struct flock wholeFile(short type)
{
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return fl;
}

// Opens without blocking on FIFOs and the like, then insists on a regular file.
int openRegular(const std::string& path, int flags, int* err)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Status readAll(int fd, const std::string& path, std::vector<std::byte>* out)
{
    std::size_t done = 0;
    while (done < out->size()) {
        const ssize_t n = ::pread(fd, out->data() + done, out->size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Status::ioError(errorText(path, errno));
        if (n == 0)
            return Status::ioError(path + ": file shrank while being read");
        done += static_cast<std::size_t>(n);
    }
    return Status::ok();
}

Status writeAll(int fd, const std::string& path, const std::byte* data, std::size_t size, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Status::ioError(errorText(path, n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
    return Status::ok();
}

class PosixFile final : public File {
public:
    PosixFile(std::string path, int fd, bool writable) : m_path(std::move(path)), m_fd(fd), m_writable(writable) {}
    ~PosixFile() override { (void)close(); }

    Status load(std::size_t size)
    {
        m_size = size;
        if (size == 0)
            return Status::ok();
        const int prot = PROT_READ | (m_writable ? PROT_WRITE : 0);
        // Every page is read soon after the open (the block chain runs through
        // them all): mapping them in one call spares a fault per few pages.
#ifdef MAP_POPULATE
        constexpr int kPopulate = MAP_POPULATE;
#else
        constexpr int kPopulate = 0;
#endif
        void* map = ::mmap(nullptr, size, prot, MAP_SHARED | kPopulate, m_fd, 0);
        if (map != MAP_FAILED) {
            m_region = registerMapping(static_cast<std::byte*>(map), size);
            if (m_region) {
                m_map = static_cast<std::byte*>(map);
                return Status::ok();
            }
            ::munmap(map, size); // unguarded: read a copy instead
        }
        // Some file systems cannot map files; keep a copy and write through.
        m_buffer.resize(size);
        return readAll(m_fd, m_path, &m_buffer);
    }

    const std::string& path() const override
    {
        return m_path;
    }
    bool writable() const override
    {
        return m_writable;
    }

    std::span<const std::byte> contents() const override
    {
        if (m_map)
            return {m_map, m_size};
        return {m_buffer.data(), m_buffer.size()};
    }

    Status writeAt(std::uint64_t offset, std::span<const std::byte> data) override
    {
        if (m_fd < 0)
            return Status::ioError(m_path + ": file is closed");
        if (!m_writable)
            return Status::readOnly(m_path + ": opened read-only");
        if (offset > m_size || data.size() > m_size - offset)
            return Status::invalidArgument(m_path + ": write past the end of the file");
        if (m_map) {
            prepareForWrite(offset, data.size());
            coding::copyBytes(m_map + offset, data.data(), data.size());
            return Status::ok();
        }
        Status st = writeAll(m_fd, m_path, data.data(), data.size(), offset);
        if (st.isOk())
            std::memcpy(m_buffer.data() + offset, data.data(), data.size());
        return st;
    }

    Status sync() override
    {
        if (m_fd < 0 || !m_writable)
            return Status::ok();
        if (m_map && ::msync(m_map, m_size, MS_SYNC) != 0)
            return Status::ioError(errorText(m_path, errno));
        if (::fsync(m_fd) != 0)
            return Status::ioError(errorText(m_path, errno));
        return Status::ok();
    }

    Status lockExclusive() override
    {
        if (m_locked)
            return Status::ok();
        struct flock fl = wholeFile(F_WRLCK);
        if (::fcntl(m_fd, kSetLock, &fl) != 0) {
            if (errno == EACCES || errno == EAGAIN)
                return Status::inUse(m_path + ": the file is in use by another program");
            return Status::ioError(errorText(m_path, errno));
        }
        m_locked = true;
        return Status::ok();
    }

    Status checkUnchanged() override
    {
        if (m_fd < 0)
            return Status::ok();
        if (m_region && m_region->faulted.load(std::memory_order_acquire))
            return Status::ioError(m_path + ": the file was cut short by another program");
        struct stat open;
        if (::fstat(m_fd, &open) != 0)
            return Status::ioError(errorText(m_path, errno));
        if (static_cast<std::uint64_t>(open.st_size) != m_size)
            return Status::ioError(m_path + ": the file was changed by another program (it now holds " +
                                   std::to_string(open.st_size) + " bytes, not " + std::to_string(m_size) + ")");
        struct stat named;
        if (::stat(m_path.c_str(), &named) != 0 || named.st_dev != open.st_dev || named.st_ino != open.st_ino)
            return Status::ioError(m_path + ": the file was replaced or removed by another program");
        return Status::ok();
    }

    Status close() override
    {
        if (m_fd < 0)
            return Status::ok();
        Status st = sync();
        unregisterMapping(m_region);
        m_region = nullptr;
        if (m_map)
            ::munmap(m_map, m_size);
        m_map = nullptr;
        m_buffer.clear();
        // Closing the descriptor releases the lock.
        if (::close(m_fd) != 0 && st.isOk())
            st = Status::ioError(errorText(m_path, errno));
        m_fd = -1;
        return st;
    }

private:
    // The first store into each page of a shared mapping costs a page fault,
    // which on some virtual machines costs more than the write itself. Asking
    // the kernel to make a whole chunk writable in one call avoids a fault per
    // page; pages whose bytes stay the same are merely written back unchanged.
    void prepareForWrite(std::uint64_t offset, std::size_t size)
    {
#ifdef MADV_POPULATE_WRITE
        const std::uint64_t first = offset / kWriteChunk, last = (offset + size - 1) / kWriteChunk;
        if (first == m_lastReadyChunk && last == first)
            return;
        if (m_chunkReady.empty())
            m_chunkReady.assign(m_size / kWriteChunk + 1, false);
        m_lastReadyChunk = last;
        for (std::uint64_t c = first; c <= last && c < m_chunkReady.size(); ++c) {
            if (m_chunkReady[c])
                continue;
            m_chunkReady[c] = true;
            const std::uint64_t begin = c * kWriteChunk;
            const std::uint64_t length = std::min<std::uint64_t>(kWriteChunk, m_size - begin);
            (void)::madvise(m_map + begin, length, MADV_POPULATE_WRITE);
        }
#else
        (void)offset;
        (void)size;
#endif
    }

    static constexpr std::uint64_t kWriteChunk = 256 * 1024; // a multiple of every page size

    std::vector<bool> m_chunkReady;
    std::uint64_t m_lastReadyChunk = ~std::uint64_t{0};
    MappedRegion* m_region = nullptr;
    std::string m_path;
    int m_fd = -1;
    bool m_writable = false;
    bool m_locked = false;
    std::byte* m_map = nullptr;
    std::size_t m_size = 0;
    std::vector<std::byte> m_buffer;
};

// Opens the folder's own regular file at `path` and nothing it leads to: no
// link (O_NOFOLLOW), and the descriptor is checked to be the entry itself.
Status openEntryDescriptor(const std::string& path, int flags, int* out)
{
    int err = 0;
    const int fd = openRegular(path, flags | O_NOFOLLOW, &err);
    if (fd < 0) {
        if (err == ENOENT || err == ENOTDIR)
            return Status::notFound(errorText(path, err));
        if (err == ELOOP || err == EISDIR || err == EINVAL)
            return Status::notSupported(path + ": not a regular file of the folder");
        if ((flags & O_ACCMODE) != O_RDONLY && (err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY))
            return Status::readOnly(errorText(path, err));
        return Status::ioError(errorText(path, err));
    }
    struct stat opened, named;
    if (::fstat(fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
        named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) {
        ::close(fd);
        return Status::notSupported(path + ": not a regular file of the folder");
    }
    *out = fd;
    return Status::ok();
}

class PosixReader final : public FileReader {
public:
    PosixReader(std::string path, int fd, std::uint64_t size) : m_path(std::move(path)), m_fd(fd), m_size(size) {}
    ~PosixReader() override { ::close(m_fd); }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) override
    {
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Status::ioError(errorText(m_path, errno));
            if (n == 0)
                return Status::ioError(m_path + ": file shrank while being read");
            done += static_cast<std::size_t>(n);
        }
        return Status::ok();
    }

private:
    std::string m_path;
    int m_fd;
    std::uint64_t m_size;
};

class PosixFileSystem final : public FileSystem {
public:
    Status open(const std::string& path, OpenMode mode, std::unique_ptr<File>* out) override
    {
        const bool rw = mode == OpenMode::ReadWrite;
        int err = 0;
        const int fd = openRegular(path, rw ? O_RDWR : O_RDONLY, &err);
        if (fd < 0) {
            if (err == ENOENT || err == ENOTDIR)
                return Status::notFound(errorText(path, err));
            if (rw && (err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY))
                return Status::readOnly(errorText(path, err));
            return Status::ioError(errorText(path, err));
        }
        return load(path, fd, rw, out);
    }

    Status openEntry(const std::string& path, OpenMode mode, std::unique_ptr<File>* out) override
    {
        const bool rw = mode == OpenMode::ReadWrite;
        int fd = -1;
        Status st = openEntryDescriptor(path, rw ? O_RDWR : O_RDONLY, &fd);
        if (!st.isOk())
            return st;
        return load(path, fd, rw, out);
    }

    Status openReader(const std::string& path, std::unique_ptr<FileReader>* out) override
    {
        int fd = -1;
        Status st = openEntryDescriptor(path, O_RDONLY, &fd);
        if (!st.isOk())
            return st;
        struct stat info;
        if (::fstat(fd, &info) != 0) {
            const int err = errno;
            ::close(fd);
            return Status::ioError(errorText(path, err));
        }
        *out = std::make_unique<PosixReader>(path, fd, static_cast<std::uint64_t>(info.st_size));
        return Status::ok();
    }

    Status createFile(const std::string& path, std::span<const std::byte> data) override
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return Status::ioError(errorText(path, errno));
        Status st = writeAll(fd, path, data.data(), data.size(), 0);
        if (st.isOk() && ::fsync(fd) != 0)
            st = Status::ioError(errorText(path, errno));
        if (::close(fd) != 0 && st.isOk())
            st = Status::ioError(errorText(path, errno));
        if (!st.isOk())
            ::unlink(path.c_str());
        return st;
    }

    Status syncDirectory(const std::string& dir) override
    {
        const std::string folder = dir.empty() ? std::string(".") : dir;
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return Status::ioError(errorText(folder, errno));
        // Some file systems cannot sync a folder; their entries are durable
        // by other means, so only a real failure counts.
        Status st;
        if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
            st = Status::ioError(errorText(folder, errno));
        ::close(fd);
        return st;
    }

    Status probeLock(const std::string& path, bool* locked) override
    {
        *locked = false;
        int err = 0;
        const int fd = openRegular(path, O_RDONLY, &err);
        if (fd < 0) {
            if (err == ENOENT)
                return Status::ok();
            return Status::ioError(errorText(path, err));
        }
        struct flock fl = wholeFile(F_WRLCK);
        const int rc = ::fcntl(fd, kGetLock, &fl);
        err = errno;
        ::close(fd);
        if (rc != 0)
            return Status::ioError(errorText(path, err));
        *locked = fl.l_type != F_UNLCK;
        return Status::ok();
    }

private:
    static Status load(const std::string& path, int fd, bool rw, std::unique_ptr<File>* out)
    {
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            ::close(fd);
            return Status::ioError(errorText(path, err));
        }
        auto file = std::make_unique<PosixFile>(path, fd, rw);
        Status s = file->load(static_cast<std::size_t>(st.st_size));
        if (!s.isOk())
            return s;
        *out = std::move(file);
        return Status::ok();
    }
};

} // namespace

FileSystem& FileSystem::standard()
{
    static PosixFileSystem fs;
    return fs;
}

} // namespace paradox
