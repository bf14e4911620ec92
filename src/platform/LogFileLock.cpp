// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/LogFileLock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace {
constexpr uint32_t ReadyMagic = 0x4C4F4731; // "LOG1"
}

struct LogFileLockShared
{
    std::atomic<uint32_t> ready;
    /// Thread id of the holder, so that a thread that does not hold the lock is
    /// refused before it reaches the mutex.
    std::atomic<pid_t> holder;
    pthread_mutex_t mutex;
};

LogFileLock::LogFileLock(std::string name)
    : m_name(std::move(name))
{}

LogFileLock::~LogFileLock()
{
    // The object itself stays: other instances may be using it.
    if (m_shared)
        munmap(m_shared, sizeof(LogFileLockShared));
}

std::string LogFileLock::objectName(const std::string &name)
{
    std::string cleaned;
    for (char c : name)
        cleaned += (c == '/' || c == '\0') ? '_' : c;
    return "/tarvine_" + cleaned + "_" + std::to_string(getuid());
}

void LogFileLock::removeObject(const std::string &name)
{
    shm_unlink(objectName(name).c_str());
}

bool LogFileLock::create()
{
    if (m_shared)
        return true;
    const std::string object = objectName(m_name);
    const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    // The file lock serialises the first initialisation between processes; the
    // kernel drops it if its holder dies half-way, and the next one initialises.
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_error = errno;
            close(fd);
            return false;
        }
    }
    struct stat info
    {};
    bool ok = fstat(fd, &info) == 0;
    if (ok && info.st_size < off_t(sizeof(LogFileLockShared)))
        ok = ftruncate(fd, sizeof(LogFileLockShared)) == 0;
    void *mapping = MAP_FAILED;
    if (ok)
        mapping =
            mmap(nullptr, sizeof(LogFileLockShared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapping == MAP_FAILED) {
        m_error = errno;
        flock(fd, LOCK_UN);
        close(fd);
        return false;
    }
    auto *shared = static_cast<LogFileLockShared *>(mapping);
    if (shared->ready.load(std::memory_order_acquire) != ReadyMagic) {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
        const int result = pthread_mutex_init(&shared->mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        if (result != 0) {
            m_error = result;
            munmap(mapping, sizeof(LogFileLockShared));
            flock(fd, LOCK_UN);
            close(fd);
            return false;
        }
        shared->holder.store(0, std::memory_order_relaxed);
        shared->ready.store(ReadyMagic, std::memory_order_release);
    }
    flock(fd, LOCK_UN);
    close(fd);
    m_shared = shared;
    m_error = 0;
    return true;
}

int LogFileLock::wait(int timeoutMs)
{
    if (!m_shared || (timeoutMs < 0 && timeoutMs != WaitResult::Infinite))
        return WaitResult::Failed;
    int result;
    if (timeoutMs == WaitResult::Infinite) {
        result = pthread_mutex_lock(&m_shared->mutex);
    } else {
        // The mutex takes a wall-clock deadline; waiting in slices measured on the
        // steady clock keeps a clock change from stretching or cutting the wait.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                deadline - std::chrono::steady_clock::now());
            const int64_t slice = std::clamp<int64_t>(left.count(), 0, 100'000'000);
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += long(slice);
            until.tv_sec += until.tv_nsec / 1'000'000'000;
            until.tv_nsec %= 1'000'000'000;
            result = pthread_mutex_timedlock(&m_shared->mutex, &until);
            if (result != ETIMEDOUT || left.count() <= 0)
                break;
        }
    }
    switch (result) {
    case 0:
        m_shared->holder.store(gettid(), std::memory_order_relaxed);
        return WaitResult::Signalled;
    case EOWNERDEAD:
#if defined(__SANITIZE_THREAD__)
        // The thread sanitizer counts only a zero result of a timed lock as taken.
        if (timeoutMs != WaitResult::Infinite) {
            __tsan_mutex_pre_lock(&m_shared->mutex, 0);
            __tsan_mutex_post_lock(&m_shared->mutex, 0, 0);
        }
#endif
        // We hold the lock now; marking it consistent keeps it usable for others.
        pthread_mutex_consistent(&m_shared->mutex);
        m_shared->holder.store(gettid(), std::memory_order_relaxed);
        return WaitResult::Abandoned;
    case ETIMEDOUT:
        return WaitResult::Timeout;
    default:
        return WaitResult::Failed;
    }
}

bool LogFileLock::release()
{
    if (!m_shared || m_shared->holder.load(std::memory_order_relaxed) != gettid())
        return false;
    m_shared->holder.store(0, std::memory_order_relaxed);
    return pthread_mutex_unlock(&m_shared->mutex) == 0;
}
