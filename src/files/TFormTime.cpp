#include "files/TFormTime.h"

#include "app/TFormMain.h"

#include <QFrame>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

TFormTime::TFormTime(TFormMain &main)
    : QDialog(&main, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("FormTime"));
    setFixedSize(WindowWidth, WindowHeight);

    // A red panel with a single border fills the window; the label sits on an
    // inner panel 4 pixels in from its edges.
    auto *outer = new QFrame(this);
    outer->setObjectName(QStringLiteral("PanelSaveOuter"));
    outer->setFrameStyle(QFrame::Box | QFrame::Plain);
    outer->setStyleSheet(
        QStringLiteral("#PanelSaveOuter { background: #ff0000; border: 1px solid black; }"));
    auto *outerLayout = new QVBoxLayout(outer);
    outerLayout->setContentsMargins(4, 4, 4, 4);
    auto *inner = new QFrame(outer);
    inner->setObjectName(QStringLiteral("PanelSaveInner"));
    inner->setStyleSheet(QStringLiteral("#PanelSaveInner { background: #ff0000; }"));
    outerLayout->addWidget(inner);
    auto *innerLayout = new QVBoxLayout(inner);
    m_label = new QLabel(QStringLiteral("Saving parameters."), inner);
    m_label->setObjectName(QStringLiteral("LabelSave"));
    m_label->setAlignment(Qt::AlignCenter);
    QFont font = m_label->font();
    font.setPixelSize(13);
    m_label->setFont(font);
    innerLayout->addWidget(m_label);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outer);
}

void TFormTime::showEvent(QShowEvent *event) {
    if (!event->spontaneous()) {
        if (QWidget *main = parentWidget()) {
            // Centred on the main window, each half rounded toward zero.
            const QRect frame = main->frameGeometry();
            move(frame.left() + frame.width() / 2 - width() / 2,
                 frame.top() + frame.height() / 2 - height() / 2);
        }
    }
    QDialog::showEvent(event);
}
