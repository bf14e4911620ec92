#include "ui/features/TFormCalibration.h"

#include "app/TFormMain.h"

TFormCalibration::TFormCalibration(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormCalibration"), QStringLiteral("Homing"))
{
    resize(380, 300);
}
