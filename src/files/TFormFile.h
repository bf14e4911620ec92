#pragma once

#include "ui/widgets/ToolWindow.h"

class QGroupBox;
class QLabel;
class QPushButton;
class TFormMain;

/// The parameter-file window: saves the controller's registers to a file, opens, views and sends
/// one.
class TFormFile : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormFile(TFormMain &main);

    /// The main menu's "Save...": the "Save file" group alone; with the
    /// connection open "Save" is enabled and the status reads "Ready",
    /// otherwise "Save" is disabled and the status asks to open it first.
    void showSaveGroup(bool connectionOpen);
    /// The main menu's "View..." / "Open...": the "Open file" group alone.
    void showOpenGroup();

private:
    QGroupBox *m_openGroup;
    QGroupBox *m_saveGroup;
    QPushButton *m_save;
    QLabel *m_saveStatus;
};
