// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Small helpers the groups of the enhanced-command window share.
namespace EnhancedCmdWidgets {

/// Greyed texts are a text colour (160, 160, 164); the control stays enabled and clickable.
void setTextGreyed(QWidget *widget, bool greyed);
bool isTextGreyed(const QWidget *widget);
/// The caption trace of \a group and the written label \a label both red, or both normal.
void setTraceRed(QGroupBox *group, QLabel *label, bool red);
bool isTraceRed(const QWidget *widget);
/// Sets \a text unless the edit already shows it (signals blocked, caret kept at
/// the end of a replaced text) and the invalid colour; never moves the focus.
void renderEdit(QLineEdit *edit, const QString &text, bool red);
/// A named edit of at most \a maxLength characters.
QLineEdit *makeEdit(QWidget *parent, const char *name, int maxLength);
QPushButton *makeButton(QWidget *parent, const char *name, const QString &text);
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text);

} // namespace EnhancedCmdWidgets
