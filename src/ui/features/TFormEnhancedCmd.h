#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The enhanced-commands window: composes, sends and reads back enhanced motion commands and loops.
class TFormEnhancedCmd : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormEnhancedCmd(TFormMain &main);
};
