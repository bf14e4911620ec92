// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    // There is no direct-write fallback: a folder that refuses the temporary
    // refuses the save.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    auto failed = [&](const QString &reason) {
        if (error)
            *error = reason;
        file.cancelWriting();
        return false;
    };
    if (path.isEmpty())
        return failed(QStringLiteral("No file name"));
    if (QFileInfo(path).isDir())
        return failed(QStringLiteral("Is a directory"));
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        return failed(file.errorString());
    if (::fsync(file.handle()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
