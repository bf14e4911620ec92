#include "ui/features/TFormIOState.h"

#include "app/TFormMain.h"

TFormIOState::TFormIOState(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormIOState"), QStringLiteral("I/O State"))
{
    resize(320, 220);
}
