#include "ui/main/DisplayPanel.h"

#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel *makeTitle(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    return label;
}

QLabel *makeReadOut(const char *name, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont font = label->font();
    font.setPixelSize(20);
    font.setBold(true);
    label->setFont(font);
    label->setMinimumWidth(60);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
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

void DisplayPanel::BResetPosClick()
{
    // The position counter 0x26 is reset by writing four zero bytes.
    RegisterLockGuard guard(m_session.lock());
    m_session.motor().RequestWrite(Reg::Position, 0);
}
