// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "files/TThreadSaveFile.h"

TThreadSaveFile::TThreadSaveFile(QLMCSession &session, QString fileName, SaveGroups groups,
                                 Done done)
    : m_session(session)
    , m_fileName(std::move(fileName))
    , m_groups(groups)
    , m_done(std::move(done))
{}

TThreadSaveFile::~TThreadSaveFile()
{
    join();
}

void TThreadSaveFile::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Execute(); });
}

void TThreadSaveFile::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TThreadSaveFile::Execute()
{
    const ParameterSnapshot snapshot = ParameterFile::takeSnapshot(m_session, m_groups);
    const IniFile file = ParameterFile::compose(snapshot);
    QString error;
    const bool ok = ParameterFile::save(file, m_fileName, &error);
    if (m_done)
        m_done(ok, error);
}
