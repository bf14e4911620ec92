// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

/// What readRegularFile() found at a path.
struct RegularFileRead
{
    enum class Status {
        Read,       ///< bytes hold the file (at most the limit + 1 bytes)
        Missing,    ///< nothing of that name
        NotRegular, ///< a folder, a FIFO, a device or a socket: refused, never read
        Failed,     ///< it could not be opened or read
    };
    Status status = Status::Failed;
    QByteArray bytes;
    /// For NotRegular the kind ("folder", "FIFO", ...), for Failed the system's reason.
    QString detail;
};

/// Reads up to \a maxBytes + 1 bytes of the regular file at \a path (one more
/// than the limit, so that the caller sees an oversized file). Anything that
/// is not a regular file is refused before it is opened, and the open itself
/// cannot block, so a FIFO put there in between is refused as well.
RegularFileRead readRegularFile(const QString &path, qint64 maxBytes);
