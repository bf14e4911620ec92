// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPointer>

#include <functional>
#include <vector>

class QAction;
class QObject;
class QWidget;

/// The controls that depend on the connection, switched in one place when the
/// connection opens or closes. Every window registers its own controls when it
/// builds them: device controls are enabled only while connected; the few that
/// start a connection (port radios, "Open") only while closed. A registered
/// control takes the current state at once; a destroyed one is skipped.
class ConnectedControls
{
public:
    using Hook = std::function<void(bool connected)>;

    /// \a widget is enabled while connected and disabled while closed.
    void addWhileConnected(QWidget *widget);
    void addWhileConnected(QAction *action);
    /// \a widget is enabled while closed and disabled while connected.
    void addWhileClosed(QWidget *widget);
    void addWhileClosed(QAction *action);
    /// \a hook runs at every switch, after the enabled states are set, for what
    /// follows the state other than enabling (captions such as "View..." /
    /// "Open..."). It runs once at registration too, and no more once \a owner
    /// (required) is destroyed.
    void addHook(QObject *owner, Hook hook);

    /// The connected-state switch.
    void setConnected(bool connected);
    bool isConnected() const { return m_connected; }

private:
    struct Entry
    {
        QPointer<QObject> object;
        bool whileConnected;
    };
    struct HookEntry
    {
        QPointer<QObject> owner;
        Hook hook;
    };

    void add(QObject *object, bool whileConnected);
    void apply(const Entry &entry) const;

    std::vector<Entry> m_entries;
    std::vector<HookEntry> m_hooks;
    bool m_connected = false;
};
