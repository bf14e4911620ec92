#include "ui/features/TFormRegOption.h"

#include "app/TFormMain.h"

TFormRegOption::TFormRegOption(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormRegOption"), QStringLiteral("Options"))
{
    resize(360, 300);
}
