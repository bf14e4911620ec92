// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/WaitResult.h"

#include <string>

struct LogFileLockShared;

/// The cross-process lock that serialises log-file writes of all threads and all
/// running instances of the program.
///
/// A robust, process-shared mutex in POSIX shared memory, named after the lock
/// name and the user id. When a holder ends without releasing it, the next waiter
/// obtains it with WaitResult::Abandoned. The lock is owned by a thread and is not
/// recursive.
class LogFileLock
{
public:
    /// The lock name the program uses.
    static constexpr const char *DefaultName = "LOG_FILE";

    explicit LogFileLock(std::string name = DefaultName);
    ~LogFileLock();
    LogFileLock(const LogFileLock &) = delete;
    LogFileLock &operator=(const LogFileLock &) = delete;

    /// Opens or creates the shared lock. Returns false (see errorCode()) on failure;
    /// may be called again to retry.
    bool create();
    bool isValid() const { return m_shared != nullptr; }
    /// The errno value of the last failed create().
    int errorCode() const { return m_error; }

    /// Waits at most \a timeoutMs milliseconds (WaitResult::Infinite: no limit) for
    /// the lock. Returns Signalled or Abandoned when the caller now holds it, Timeout
    /// or Failed when it does not.
    int wait(int timeoutMs);
    /// Releases the lock; false when the calling thread does not hold it.
    bool release();

    /// The shared-memory object name used for \a name by the current user.
    static std::string objectName(const std::string &name);
    /// Removes the shared-memory object of \a name (for tests; running holders keep
    /// their mapping).
    static void removeObject(const std::string &name);

private:
    std::string m_name;
    LogFileLockShared *m_shared = nullptr;
    int m_error = 0;
};
