// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

/// Appends \a line to the file at \a path (created owner-only when missing,
/// its folder too) with one write of an O_APPEND descriptor, so lines of
/// several writers (the desktop tool and tarvine-cli) never interleave.
/// False with the reason in \a error.
bool appendLineToFile(const QString &path, const QByteArray &line, QString *error = nullptr);
