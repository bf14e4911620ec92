// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ConsoleOutput.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>

int ConsoleOutput::open() const
{
    const int flags = fcntl(m_fd, F_GETFL);
    if (flags < 0)
        return errno;
    const int mode = flags & O_ACCMODE;
    if (mode != O_WRONLY && mode != O_RDWR)
        return EBADF;
    return 0;
}

bool ConsoleOutput::write(QByteArrayView utf8) const
{
    // Keep SIGPIPE from this thread during the write so that a reader that went
    // away gives EPIPE; a signal raised here is taken back before unblocking.
    sigset_t pipeOnly, previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);

    bool ok = true;
    bool brokenPipe = false;
    const char *data = utf8.data();
    qsizetype left = utf8.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            brokenPipe = errno == EPIPE;
            ok = false;
            break;
        }
        data += written;
        left -= written;
    }

    if (brokenPipe && !wasPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}
