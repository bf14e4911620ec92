#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The scan window: lists the controllers found on every local network and hands one to the
/// connection.
class TFormScanUDP : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormScanUDP(TFormMain &main);
};
