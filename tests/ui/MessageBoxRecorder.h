// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/MessageBoxes.h"

#include <QString>

#include <mutex>
#include <vector>

/// Records the message boxes the windows show, instead of showing them, for
/// as long as it lives.
class MessageBoxRecorder
{
public:
    struct Box
    {
        QString title;
        QString text;
        MessageIcon icon;
    };

    MessageBoxRecorder()
    {
        m_previous = MessageBoxes::setHandler(
            [this](const QString &title, const QString &text, MessageIcon icon) {
                std::lock_guard lock(m_mutex);
                m_boxes.push_back({title, text, icon});
            });
    }
    ~MessageBoxRecorder() { MessageBoxes::setHandler(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    std::vector<Box> boxes() const
    {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Box> m_boxes;
    MessageBoxes::Handler m_previous;
};
