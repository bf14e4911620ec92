// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

/// The user's data folder, where the log files go: "tarvine" in the XDG data
/// folder ($XDG_DATA_HOME, by default ~/.local/share). $USERPROFILE, when set,
/// redirects it to the "Quelmo_Data" folder in that profile (the tests and
/// Windows-style profiles use it).
class DataFolder
{
public:
    /// Size of the expansion buffer of $USERPROFILE in characters, terminating
    /// null included: an expansion of this length or longer fails.
    static constexpr int ExpansionBufferSize = 250;

    struct Result
    {
        QString path;  ///< folder without trailing separator
        bool expanded; ///< false when the program's folder was used instead
    };

    /// $USERPROFILE without trailing separators when set and non-empty; a null
    /// string when it is unset, empty or does not fit the expansion buffer.
    static QString expandUserProfile();
    /// Where the data folder is, without creating it; a null string when
    /// nothing locates it:
    /// - $USERPROFILE set and non-empty: its expansion + "/Quelmo_Data" (null
    ///   when the expansion fails);
    /// - else $XDG_DATA_HOME + "/tarvine" when that is an absolute path (XDG
    ///   ignores empty and relative values);
    /// - else $HOME + "/.local/share/tarvine" when $HOME is an absolute path.
    static QString locate();
    /// The data folder of locate(), created with its missing parents (owner
    /// access only; the result of the creation is ignored); or, when nothing
    /// locates it, \a programFolder, and nothing is created.
    static Result prepare(const QString &programFolder);
    /// The folder that holds the running program file.
    static QString programFolder();
};
