#include "ui/features/TFormRegWarning.h"

#include "app/TFormMain.h"

TFormRegWarning::TFormRegWarning(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormRegWarning"), QStringLiteral("Warning"))
{
    resize(360, 300);
}
