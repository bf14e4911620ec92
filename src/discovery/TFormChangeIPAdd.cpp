#include "discovery/TFormChangeIPAdd.h"

#include "app/TFormMain.h"

TFormChangeIPAdd::TFormChangeIPAdd(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormChangeIPAdd"), QStringLiteral("Change IP Address"))
{
    resize(360, 220);
}
