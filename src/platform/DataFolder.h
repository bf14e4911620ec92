#pragma once

#include <QString>

/// The user's data folder ("Quelmo_Data" in the user profile) where the log files go.
class DataFolder
{
public:
    /// Size of the expansion buffer in characters, terminating null included: an
    /// expansion of this length or longer fails.
    static constexpr int ExpansionBufferSize = 250;

    struct Result
    {
        QString path;  ///< folder without trailing separator
        bool expanded; ///< false when the program's folder was used instead
    };

    /// Expands the user profile: $USERPROFILE when set and non-empty, else $HOME.
    /// Returns a null string when neither expands or the text does not fit the
    /// expansion buffer.
    static QString expandUserProfile();
    /// The data folder: the expanded profile + "/Quelmo_Data", created when missing
    /// (the result of the creation is ignored); or, when the profile does not expand,
    /// \a programFolder, and nothing is created.
    static Result prepare(const QString &programFolder);
    /// The folder that holds the running program file.
    static QString programFolder();
};
