#include "ui/features/TFormAutoTuning.h"

#include "app/TFormMain.h"

TFormAutoTuning::TFormAutoTuning(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormAutoTuning"), QStringLiteral("Auto-tuning"))
{
    resize(420, 300);
}
