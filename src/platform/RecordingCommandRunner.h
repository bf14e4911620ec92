// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/CommandRunner.h"

#include <QList>

#include <mutex>

/// A command runner for tests: records every command instead of running it.
class RecordingCommandRunner : public CommandRunner
{
public:
    explicit RecordingCommandRunner(bool result = true)
        : m_result(result)
    {}

    bool run(const QStringList &argv) override
    {
        std::lock_guard lock(m_mutex);
        m_commands.append(argv);
        return m_result;
    }
    /// The commands run so far, oldest first.
    QList<QStringList> commands() const
    {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    void setResult(bool result)
    {
        std::lock_guard lock(m_mutex);
        m_result = result;
    }

private:
    mutable std::mutex m_mutex;
    QList<QStringList> m_commands;
    bool m_result;
};
