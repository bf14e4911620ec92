#pragma once

#include <QDialog>

class QLabel;
class TFormMain;

/// The saving indicator: a small borderless red window saying that parameters
/// are being saved, centred on the main window whenever it is shown.
class TFormTime : public QDialog {
    Q_OBJECT

public:
    static constexpr int WindowWidth = 180;
    static constexpr int WindowHeight = 110;

    explicit TFormTime(TFormMain &main);

    QLabel *label() const { return m_label; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_label;
};
