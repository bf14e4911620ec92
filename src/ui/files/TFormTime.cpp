// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/files/TFormTime.h"

#include "ui/widgets/WindowContext.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {
const QString SavingText = QStringLiteral("Saving parameters");
constexpr int LabelFontPixels = 13;
} // namespace

TFormTime::TFormTime(WindowContext &context)
    : QDialog(context.mainWindow(), Qt::Dialog | Qt::FramelessWindowHint)
{
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
    m_label = new QLabel(SavingText + QLatin1Char('.'), inner);
    m_label->setObjectName(QStringLiteral("LabelSave"));
    m_label->setAlignment(Qt::AlignCenter);
    // Tahoma where it exists, the nearest sans-serif font elsewhere.
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(LabelFontPixels);
    m_label->setFont(font);
    innerLayout->addWidget(m_label);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outer);

    m_timerSave.setObjectName(QStringLiteral("TimerSave"));
    m_timerSave.setInterval(TickMs);
    connect(&m_timerSave, &QTimer::timeout, this, &TFormTime::TimerSaveTimer);
}

void TFormTime::ShowFor(int seconds)
{
    m_ticks = TicksPerSecond * seconds;
    m_label->setText(SavingText);
    m_timerSave.start();
    exec();
    m_timerSave.stop();
}

void TFormTime::TimerSaveTimer()
{
    --m_ticks;
    if (m_ticks <= 0) {
        close();
        return;
    }
    if (m_ticks % TicksPerSecond != 0)
        m_label->setText(m_label->text() + QLatin1Char('.'));
    else
        m_label->setText(SavingText);
}

void TFormTime::showEvent(QShowEvent *event)
{
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

void TFormTime::keyPressEvent(QKeyEvent *event)
{
    // The window closes by itself; Escape does not end the wait early.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
