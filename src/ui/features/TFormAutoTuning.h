#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The auto-tuning wizard: starts and follows the controller's own tuning of its regulator.
class TFormAutoTuning : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormAutoTuning(TFormMain &main);
};
