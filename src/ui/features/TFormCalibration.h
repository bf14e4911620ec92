#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The homing window: configures and runs the controller's calibration of its position.
class TFormCalibration : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormCalibration(TFormMain &main);
};
