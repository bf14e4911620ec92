// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QAbstractSlider;

/// Showing a received value in a control that writes when the user changes it.
///
/// A display must neither write to the device nor move the keyboard focus.
/// Disabling the control while its value is set keeps the write away, but a
/// focused control that is disabled hands the focus on to the next one in the
/// chain, often an edit that writes on Enter. These helpers block the
/// control's signals instead: the change behaviour does not run, the enabled
/// state and the focus stay as they are, and the control repaints as usual.

/// Sets \a slider to \a position without running its change behaviour.
void showSliderPosition(QAbstractSlider *slider, int position);
