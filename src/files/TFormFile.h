#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The parameter-file window: saves the controller's registers to a file, opens, views and sends
/// one.
class TFormFile : public ToolWindow {
    Q_OBJECT

public:
    explicit TFormFile(TFormMain &main);
};
