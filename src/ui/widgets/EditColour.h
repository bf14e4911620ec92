#pragma once

class QLineEdit;

/// Paints an enabled edit's background: clRed for an invalid text, the normal
/// window colour for a valid one. The disabled look is left to the style.
void setEditValid(QLineEdit *edit, bool valid);

/// True when the edit currently shows the invalid (red) background.
bool isEditMarkedInvalid(const QLineEdit *edit);
