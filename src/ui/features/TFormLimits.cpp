#include "ui/features/TFormLimits.h"

#include "app/TFormMain.h"

TFormLimits::TFormLimits(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormLimits"), QStringLiteral("Limits switch management"))
{
    resize(420, 320);
}
