#include "ui/features/TFormEnhancedCmd.h"

#include "app/TFormMain.h"

TFormEnhancedCmd::TFormEnhancedCmd(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormEnhancedCmd"), QStringLiteral("Enhanced cmd / Loops"))
{
    resize(480, 360);
}
