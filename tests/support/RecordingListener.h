// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/SessionListener.h"

#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

/// Records every session notification, in order, as text.
class RecordingListener : public SessionListener
{
public:
    std::vector<std::string> events() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }
    int count(const std::string &event) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        int n = 0;
        for (const auto &e : m_events)
            n += e == event;
        return n;
    }
    std::string lastStatus(int panel) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (auto it = m_events.rbegin(); it != m_events.rend(); ++it)
            if (it->rfind("status" + std::to_string(panel) + ":", 0) == 0)
                return it->substr(it->find(':') + 1);
        return {};
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.clear();
    }

    void armMainDisplay() override { add("arm"); }
    void startWindowDisplay(Display window) override
    {
        add("display" + std::to_string(int(window)));
    }
    void directValueReceived(DirectValue value) override
    {
        add("direct" + std::to_string(int(value)));
    }
    void limitsReceived() override { add("limits"); }
    void identificationReady() override { add("identify"); }
    void statusText(int panel, const QString &text) override
    {
        add("status" + std::to_string(panel) + ":" + text.toStdString());
    }
    void graphSample(const ReceivedValues &, int64_t) override { add("sample"); }
    void scanResult(const std::vector<uint8_t> &modules) override
    {
        add("scan" + std::to_string(modules.size()));
    }

private:
    void add(std::string event)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.push_back(std::move(event));
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};

} // namespace testsupport
