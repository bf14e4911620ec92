// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/DisplayPanel.h"

#include "base/FloatText.h"
#include "device/QLMCSession.h"
#include "device/RegisterRules.h"
#include "device/RegisterTable.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <climits>

namespace {

QLabel *makeTitle(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    return label;
}

constexpr int ReadOutPixels = 20; // the read-outs' font at its largest

/// A large read-out: its font is the largest, up to ReadOutPixels, at which the
/// widest value it may show fits its width, so no digit or sign is ever cut.
/// The widest values are a 32-bit minimum and, for steppers, the full-step
/// position of the third read-out (Position / 256 with 3 decimals).
class ReadOutLabel : public QLabel
{
public:
    explicit ReadOutLabel(QWidget *parent)
        : QLabel(QStringLiteral("-"), parent)
    {
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        QFont big = font();
        big.setPixelSize(ReadOutPixels);
        big.setBold(true);
        setFont(big);
        // The width comes from the column, not from the text: a long value
        // shrinks the font instead of pushing the other read-outs aside.
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(QFontMetrics(big).height() + 2 * frameWidth() + 4);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fitFont();
    }

private:
    void fitFont()
    {
        const QString widest[] = {QString::number(INT32_MIN),
                                  fixedText(double(INT32_MIN) / 256.0, 15, 3)};
        const int room = contentsRect().width() - 2 * margin() - 2;
        QFont fitted = font();
        for (int pixels = ReadOutPixels; pixels >= 8; --pixels) {
            fitted.setPixelSize(pixels);
            const QFontMetrics metrics(fitted);
            int width = 0;
            for (const QString &text : widest)
                width = std::max(width, metrics.horizontalAdvance(text));
            if (width <= room)
                break;
        }
        if (fitted.pixelSize() != font().pixelSize())
            setFont(fitted);
    }
};

QLabel *makeReadOut(const char *name, QWidget *parent)
{
    auto *label = new ReadOutLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

DisplayPanel::DisplayPanel(QLMCSession &session, QWidget *parent)
    : QGroupBox(QStringLiteral("Display"), parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("GBDisplay"));

    m_resetPosition = new QPushButton(QStringLiteral("Reset Position"), this);
    m_resetPosition->setObjectName(QStringLiteral("BResetPos"));
    connect(m_resetPosition, &QPushButton::clicked, this, &DisplayPanel::BResetPosClick);

    m_positionTitle = makeTitle("LPositionTitle", QStringLiteral("0x26-Position [p]"), this);
    m_speedTitle = makeTitle("LSpeedTitle", QStringLiteral("0x28-Speed [p/s]"), this);
    m_desiredTitle = makeTitle("LDesiredTitle", QStringLiteral("0x30-Desired state [p/s]"), this);
    m_position = makeReadOut("LPositionBig", this);
    m_speed = makeReadOut("LSpeedBig", this);
    m_desired = makeReadOut("LDesiredBig", this);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(2);
    layout->addWidget(m_resetPosition, 0, 0, Qt::AlignLeft);
    layout->addWidget(m_positionTitle, 1, 0);
    layout->addWidget(m_speedTitle, 1, 1);
    layout->addWidget(m_desiredTitle, 1, 2);
    layout->addWidget(m_position, 2, 0);
    layout->addWidget(m_speed, 2, 1);
    layout->addWidget(m_desired, 2, 2);
    for (int column = 0; column < 3; ++column)
        layout->setColumnStretch(column, 1);
}

void DisplayPanel::setTitles(const QString &position, const QString &speed, const QString &desired)
{
    m_positionTitle->setText(position);
    m_speedTitle->setText(speed);
    m_desiredTitle->setText(desired);
}

void DisplayPanel::showNotReceived()
{
    for (QLabel *readOut : {m_position, m_speed, m_desired})
        readOut->setText(QStringLiteral("-"));
}

void DisplayPanel::BResetPosClick()
{
    // The position counter 0x26 is reset by writing four zero bytes (a refusal
    // of the rule book is logged; nothing is written then).
    const RegisterWrite write = RegisterRules::write(Reg::Position, 0);
    RegisterRules::requestChecked(m_session, {&write, 1}, "DisplayPanel::BResetPosClick",
                                  "Main panel");
}
