#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The About window: program name, version and build date.
class TFormAbout : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormAbout(TFormMain &main);
};
