// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("device");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    return QStringLiteral("special file");
}

RegularFileRead failed(int error)
{
    RegularFileRead r;
    r.status = RegularFileRead::Status::Failed;
    r.detail = QString::fromLocal8Bit(std::strerror(error));
    return r;
}

RegularFileRead notRegular(mode_t mode)
{
    RegularFileRead r;
    r.status = RegularFileRead::Status::NotRegular;
    r.detail = kindOf(mode);
    return r;
}

} // namespace

RegularFileRead readRegularFile(const QString &path, qint64 maxBytes)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            RegularFileRead r;
            r.status = RegularFileRead::Status::Missing;
            return r;
        }
        return failed(errno);
    }
    if (!S_ISREG(info.st_mode))
        return notRegular(info.st_mode);
    // O_NONBLOCK: opening a FIFO that replaced the file since the check
    // returns at once instead of waiting for a writer; fstat then refuses it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failed(errno);
    struct stat opened = {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        const int error = errno;
        const mode_t mode = opened.st_mode;
        ::close(fd);
        return mode ? notRegular(mode) : failed(error);
    }
    RegularFileRead r;
    r.status = RegularFileRead::Status::Read;
    const qint64 wanted = maxBytes + 1;
    r.bytes.resize(qsizetype(std::min<qint64>(wanted, std::max<qint64>(opened.st_size, 0) + 1)));
    qint64 held = 0;
    for (;;) {
        if (held == r.bytes.size()) {
            if (held >= wanted)
                break;
            r.bytes.resize(qsizetype(std::min<qint64>(wanted, held * 2 + 4096)));
        }
        const ssize_t n = ::read(fd, r.bytes.data() + held, size_t(r.bytes.size() - held));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return failed(error);
        }
        if (n == 0)
            break;
        held += n;
    }
    ::close(fd);
    r.bytes.truncate(qsizetype(held));
    return r;
}
