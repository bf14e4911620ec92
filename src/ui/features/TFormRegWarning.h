#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The warning window: the controller's warning register bit by bit.
class TFormRegWarning : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormRegWarning(TFormMain &main);
};
