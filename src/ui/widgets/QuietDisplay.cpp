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
