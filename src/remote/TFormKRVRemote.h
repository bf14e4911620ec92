#pragma once

#include "ui/widgets/ToolWindow.h"

class TFormMain;

/// The wavelength remote: positions a controller in wavelength and micrometre units.
class TFormKRVRemote : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormKRVRemote(TFormMain &main);
};
