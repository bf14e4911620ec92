// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>

#include <unistd.h>

/// The program's output console: UTF-8 text written to a file descriptor, the
/// process's standard error unless told otherwise.
class ConsoleOutput
{
public:
    explicit ConsoleOutput(int fd = STDERR_FILENO)
        : m_fd(fd)
    {}

    /// Checks that the descriptor is open for writing. Returns 0 when it is, else
    /// the errno value that explains why not.
    int open() const;
    /// Writes all of \a utf8; false when the descriptor refused it. A closed pipe
    /// gives false rather than ending the process.
    bool write(QByteArrayView utf8) const;
    int descriptor() const { return m_fd; }

private:
    int m_fd;
};
