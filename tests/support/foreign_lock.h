#pragma once

// Another program holding a byte-range lock on a file, as programs under Wine
// make their Windows locks visible. The lock lasts as long as the object.
// Here the holder is a forked child; on Windows, lock_holder.exe.

#if defined(_WIN32)
#include "foreign_holder_win32.h"
#else

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

class ForeignLock {
public:
    explicit ForeignLock(const std::string& path)
    {
        int ready[2], release[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(release), 0);
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]);
            const int fd = ::open(path.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = 0;
            fl.l_len = 1; // a single byte is enough to count as "in use"
            const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0) ? 1 : 0;
            (void)!write(ready[1], &ok, 1);
            char c;
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        m_release = release[1];
        char ok = 0;
        EXPECT_EQ(read(ready[0], &ok, 1), 1);
        EXPECT_EQ(ok, 1) << "the helper process could not lock " << path;
        close(ready[0]);
    }
    ~ForeignLock()
    {
        close(m_release);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
};

} // namespace testsupport

#endif
