// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QColor;
class QLineEdit;

/// Paints an enabled edit's background: light red with dark text for an
/// invalid text (red stays the signal, the text stays readable on any theme),
/// the colours the edit inherits for a valid one. The disabled look is left to
/// the style.
void setEditValid(QLineEdit *edit, bool valid);

/// True when the edit currently shows the invalid (red) background.
bool isEditMarkedInvalid(const QLineEdit *edit);

/// The background and text of an invalid edit.
QColor invalidEditBase();
QColor invalidEditText();
