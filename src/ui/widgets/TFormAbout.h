// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

class QLineEdit;
class QPushButton;
class WindowContext;

/// The About window: program name, version, build date, the home page, the
/// copyright, licence and credits, and
/// the display test, which identifies a model from typed Type and Version
/// values so that its windows can be seen without hardware.
class TFormAbout : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormAbout(WindowContext &context);

    /// Identifies the typed model; nothing while a connection is open or opening.
    void BDisplayTestClick();

private:
    void checkFields();

    WindowContext &m_context;
    QLineEdit *m_fields[6] = {};
    QPushButton *m_displayTest = nullptr;
};
