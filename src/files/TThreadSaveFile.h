// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "files/ParameterFile.h"

#include <QString>

#include <functional>
#include <thread>

class QLMCSession;

/// The writer of one parameter-file save: copies the saved values from the
/// register image in one hold of the RegisterLock, builds the file text in
/// memory and replaces the file atomically. Created suspended; start() runs
/// Execute on its own thread; the owner joins it (the destructor does too).
class TThreadSaveFile
{
public:
    /// Called on the writer thread when Execute ends: ok, or the reason.
    using Done = std::function<void(bool ok, const QString &error)>;

    TThreadSaveFile(QLMCSession &session, QString fileName, SaveGroups groups, Done done);
    ~TThreadSaveFile();
    TThreadSaveFile(const TThreadSaveFile &) = delete;
    TThreadSaveFile &operator=(const TThreadSaveFile &) = delete;

    void start();
    void join();

    /// The body, run on the thread (tests may call it directly).
    void Execute();

private:
    QLMCSession &m_session;
    QString m_fileName;
    SaveGroups m_groups;
    Done m_done;
    std::thread m_thread;
};
