// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterTable.h"
#include "files/ParameterFile.h"
#include "platform/ThreadHandOver.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QLMCSession;
class TThreadSaveFile;

/// What a save tells the window (or the command-line tool). Called on the
/// thread the ParameterSave lives on.
class ParameterSaveListener
{
public:
    virtual ~ParameterSaveListener() = default;
    /// New text for the save status (LSaveStatusVal).
    virtual void saveStatus(const QString &text) = 0;
    /// Show or close the saving indicator.
    virtual void savingIndicator(bool visible) {}
    /// The save ended: written, or failed with the text of its message box.
    virtual void saveEnded(bool written, const QString &failure) {}
};

/// The save procedure of a parameter file: asks the controller for every
/// register, waits for the answer that carries 0x5B (the end of the read-back),
/// checks that every saved register answered since the request (re-asking
/// those that did not), then lets TThreadSaveFile write the file and reports
/// the end 500 ms later. A save that has no complete answer 10 s after its
/// request, or whose connection closes, fails and writes nothing. One write per
/// save: answers of 0x5B after the writer started are ignored.
///
/// Lives on the user-interface thread (its timers run there); limitsReceived()
/// and connectionClosed() are called there too.
class ParameterSave : public QObject
{
    Q_OBJECT

public:
    static constexpr int SaveDelayMs = 500;  ///< TimerSave: after the 0x5B answer
    static constexpr int AfterWriteMs = 500; ///< after the writer thread ended
    static constexpr int TimeoutMs = 10000;  ///< longer than three lost answers
    static constexpr int RetryMs = 3500;     ///< longer than one lost answer: ask again

    ParameterSave(QLMCSession &session, ParameterSaveListener &listener,
                  QObject *parent = nullptr);
    ~ParameterSave() override;

    /// The ticked groups, asked on this thread when the writer starts.
    void setGroupsProvider(std::function<SaveGroups()> provider);

    /// Steps 2 and 3 of a save for the chosen \a fileName (".qmc" appended when
    /// missing). Without an open connection the status asks to open it and
    /// false is returned; nothing is pending.
    bool start(const QString &fileName, bool connectionOpen);

    /// The answer decoder stored 0x5B.
    void limitsReceived();
    /// The connection closed: a save still waiting for answers fails.
    void connectionClosed();

    bool SavePending() const { return m_pending; }
    const QString &SaveFileName() const { return m_fileName; }
    QTimer &timerSave() { return m_timerSave; }
    /// Registers that had not answered when the save last checked.
    const std::vector<int> &missing() const { return m_missing; }

private:
    void TimerSaveTimer();
    void writerEnded(bool ok, const QString &error);
    void finish(bool written, const QString &failure);
    void timedOut();
    void retry();
    bool answeredSinceRequest(int address) const;
    void computeMissing(SaveGroups groups);
    void askAgain(const std::vector<int> &addresses);
    QString missingText() const;

    QLMCSession &m_session;
    ParameterSaveListener &m_listener;
    std::function<SaveGroups()> m_groups;
    QTimer m_timerSave;
    QTimer m_timerAfterWrite;
    QTimer m_timeout;
    QTimer m_retry;
    /// The writer thread's end, handed to this object's thread; declared
    /// before the writer, so it outlives it.
    ThreadHandOver m_handOver;
    std::unique_ptr<TThreadSaveFile> m_writer;
    QString m_fileName;
    bool m_pending = false;
    bool m_writerStarted = false;
    bool m_markerReadable = true;
    bool m_writeOk = false;
    QString m_writeError;
    std::array<uint32_t, RegisterCount> m_stamps{}; ///< AnswerCount at the request
    uint32_t m_markerStamp = 0;                     ///< AnswerCount of 0x5B at the last ask
    std::vector<int> m_missing;
};
