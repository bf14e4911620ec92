#include "remote/TFormKRVRemote.h"

#include "app/TFormMain.h"

TFormKRVRemote::TFormKRVRemote(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormKRVRemote"), QStringLiteral("Korvel Lab - Remote"))
{
    resize(420, 320);
}
