#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The limits window: what the controller does when a limit input becomes active.
class TFormLimits : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormLimits(TFormMain &main);
};
