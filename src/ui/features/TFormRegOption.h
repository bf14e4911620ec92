#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The options window: the controller's option bits and its output limits.
class TFormRegOption : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormRegOption(TFormMain &main);
};
