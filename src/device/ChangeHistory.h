// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

/// One change the tool made to a register a parameter file holds.
struct ChangeRecord
{
    uint64_t number = 0; ///< 1, 2, ... in the session (0 for a record read from a journal)
    QDateTime time;
    QString device; ///< "127.0.0.21", or "127.0.0.5 module 16" behind a gateway
    int address = 0;
    /// The last value the device sent in this connection before the write;
    /// nullopt when it never sent one (nothing is made up).
    std::optional<std::vector<uint8_t>> before;
    std::vector<uint8_t> written;
    QString source; ///< the window or command that wrote it

    /// The journal line, without the line end:
    /// "2024-11-01 10:22:33.123 | 127.0.0.21 | 0x33 Kp | before 0x00010000 (1.00000) |
    /// written 0x00028000 (2.50000) | Main panel" ("before missing" when unknown).
    QString line() const;
    /// A journal line back into a record; nullopt for a line that is not one.
    static std::optional<ChangeRecord> parse(const QString &line);
};

/// The history of the session's changes, and its journal: every write request
/// of a register a parameter file holds, made while connected, is recorded
/// with the value it replaces, and appended as one readable line to the
/// journal file (one write per line, in append mode).
///
/// Thread-safe (its own mutex, taken after the RegisterLock when both are held).
class ChangeHistory
{
public:
    /// True for the registers a parameter file holds.
    static bool isTracked(int address);
    /// The journal in the data folder: "history.log" there, or empty when
    /// nothing locates the data folder.
    static QString defaultJournalPath();

    /// The journal file (empty: none). A failed append is logged once.
    void setJournalPath(const QString &path);
    QString journalPath() const;

    /// Numbers and keeps \a record, and appends it to the journal.
    void record(ChangeRecord record);
    /// The session's changes, oldest first.
    std::vector<ChangeRecord> entries() const;
    /// Changes numbered \a numbers, newest first (the order a revert writes them).
    std::vector<ChangeRecord> selected(const std::vector<uint64_t> &numbers) const;

    /// Every record of the journal at \a path, oldest first; lines that are
    /// not records are skipped. nullopt when the file cannot be read.
    static std::optional<std::vector<ChangeRecord>> readJournal(const QString &path);

private:
    mutable std::mutex m_mutex;
    std::vector<ChangeRecord> m_entries;
    QString m_journal;
    uint64_t m_next = 1;
    bool m_journalFailed = false;
};

/// The window or command on whose behalf the writes of this thread are made,
/// while an instance lives. The outermost one counts: tarvine-cli's "option"
/// stays "tarvine-cli option" although it runs the options window's model.
class ChangeSource
{
public:
    explicit ChangeSource(const QString &name);
    ~ChangeSource();
    ChangeSource(const ChangeSource &) = delete;
    ChangeSource &operator=(const ChangeSource &) = delete;

    /// The source in force on this thread ("tool" when none is).
    static QString current();

private:
    bool m_set;
};
