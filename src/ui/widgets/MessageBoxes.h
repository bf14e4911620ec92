// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <functional>

class QWidget;

/// Icon of a message box.
enum class MessageIcon { None, Information, Warning, Critical };

/// The one way the windows show a message box (an OK button and an icon), so
/// that a test can record the boxes instead of facing modal windows.
class MessageBoxes
{
public:
    using Handler =
        std::function<void(const QString &title, const QString &text, MessageIcon icon)>;

    /// Shows a modal box over \a parent and returns when the user closed it, or
    /// hands it to the installed handler. User-interface thread only.
    static void show(QWidget *parent, const QString &title, const QString &text, MessageIcon icon);
    /// show() without an owner, callable from any thread: from another thread the
    /// box is shown on the user-interface thread and the call returns once the
    /// user has closed it. Without a running application the text goes to the
    /// standard error output instead.
    static void showFromAnyThread(const QString &title, const QString &text, MessageIcon icon);

    /// Installs \a handler in place of the real boxes (an empty one restores
    /// them) and returns the handler it replaces.
    static Handler setHandler(Handler handler);

    /// Answers a Yes/No question: true for Yes.
    using Question = std::function<bool(const QString &title, const QString &text)>;
    /// A modal Yes/No box over \a parent (or the installed question handler).
    static bool ask(QWidget *parent, const QString &title, const QString &text, MessageIcon icon);
    /// Installs \a handler in place of the real Yes/No boxes and returns the one it replaces.
    static Question setQuestionHandler(Question handler);
};
