#include "discovery/TFormScanUDP.h"

#include "app/TFormMain.h"

TFormScanUDP::TFormScanUDP(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormScanUDP"), QStringLiteral("Scan devices"))
{
    resize(520, 320);
}
