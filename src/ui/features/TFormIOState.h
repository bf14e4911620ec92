#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The I/O window: configuration and state of the controller's two general-purpose I/O lines.
class TFormIOState : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormIOState(TFormMain &main);
};
