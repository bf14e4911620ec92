// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/ConnectedControls.h"

#include <QAction>
#include <QWidget>

#include <algorithm>

void ConnectedControls::addWhileConnected(QWidget *widget)
{
    add(widget, true);
}
void ConnectedControls::addWhileConnected(QAction *action)
{
    add(action, true);
}
void ConnectedControls::addWhileClosed(QWidget *widget)
{
    add(widget, false);
}
void ConnectedControls::addWhileClosed(QAction *action)
{
    add(action, false);
}

void ConnectedControls::add(QObject *object, bool whileConnected)
{
    if (!object)
        return;
    m_entries.push_back({object, whileConnected});
    apply(m_entries.back());
}

void ConnectedControls::addHook(QObject *owner, Hook hook)
{
    if (!owner || !hook)
        return;
    hook(m_connected);
    m_hooks.push_back({owner, std::move(hook)});
}

void ConnectedControls::apply(const Entry &entry) const
{
    const bool enabled = entry.whileConnected == m_connected;
    if (auto *widget = qobject_cast<QWidget *>(entry.object.data()))
        widget->setEnabled(enabled);
    else if (auto *action = qobject_cast<QAction *>(entry.object.data()))
        action->setEnabled(enabled);
}

void ConnectedControls::setConnected(bool connected)
{
    m_connected = connected;
    std::erase_if(m_entries, [](const Entry &entry) { return entry.object.isNull(); });
    for (const Entry &entry : m_entries)
        apply(entry);
    std::erase_if(m_hooks, [](const HookEntry &entry) { return entry.owner.isNull(); });
    // A hook may register further controls or hooks: iterate over a copy.
    const std::vector<HookEntry> hooks = m_hooks;
    for (const HookEntry &entry : hooks)
        if (!entry.owner.isNull())
            entry.hook(connected);
}
