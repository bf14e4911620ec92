// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/QuietDisplay.h"

#include <QAbstractSlider>
#include <QSignalBlocker>

void showSliderPosition(QAbstractSlider *slider, int position)
{
    if (!slider)
        return;
    const QSignalBlocker blocker(slider);
    slider->setValue(position);
}
