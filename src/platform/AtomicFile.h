// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

/// Writes \a bytes to \a path through a temporary file in the same folder that
/// replaces the target by a rename once complete and synced. On any failure
/// the old file stays as it was, the temporary goes, \a error (when given)
/// gets the reason and the result is false.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);
