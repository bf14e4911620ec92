#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The IP-change window: gives a controller found on the network a new address.
class TFormChangeIPAdd : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormChangeIPAdd(TFormMain &main);
};
