// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/TFormAbout.h"

#include "device/DeviceIdentity.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/WindowContext.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <TarvineVersion.h>

namespace {

struct FieldInfo
{
    const char *name;
    const char *initial;
};
// Type high/low, hardware version high/low, firmware version high/low.
const FieldInfo Fields[6] = {{"ETypeHigh", "2"}, {"ETypeLow", "1"},  {"EHardHigh", "0"},
                             {"EHardLow", "3"},  {"EFirmHigh", "0"}, {"EFirmLow", "2"}};
const char *const RowTitles[3] = {"Type :", "Hardware :", "Firmware :"};

} // namespace

TFormAbout::TFormAbout(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormAbout"), QStringLiteral("About"))
    , m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    auto *name = new QLabel(QStringLiteral("Tarvine - Ethernet Motor Controller"), this);
    name->setObjectName(QStringLiteral("LProgramName"));
    QFont font = name->font();
    font.setBold(true);
    name->setFont(font);
    auto *version = new QLabel(QStringLiteral("Version ") + QLatin1String(TARVINE_VERSION), this);
    version->setObjectName(QStringLiteral("LVersion"));
    auto *date = new QLabel(QStringLiteral("01.11.2024"), this);
    date->setObjectName(QStringLiteral("LBuildDate"));
    const QString homepage = QLatin1String(TARVINE_HOMEPAGE);
    auto *link =
        new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(homepage.toHtmlEscaped()), this);
    link->setObjectName(QStringLiteral("LHomePage"));
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    // Copyright, licence and credits: separate lines, no word wrap, so the
    // window's size hint holds the whole text.
    auto *licence = new QLabel(
        QStringLiteral("%1<br>Free software: <a href=\"%2\">%3</a>, without any warranty.<br>%4")
            .arg(QStringLiteral(TARVINE_COPYRIGHT).toHtmlEscaped(),
                 QLatin1String(TARVINE_LICENCE_URL), QLatin1String(TARVINE_LICENCE),
                 QStringLiteral(TARVINE_BUILT_WITH).toHtmlEscaped()),
        this);
    licence->setObjectName(QStringLiteral("LLicence"));
    licence->setTextFormat(Qt::RichText);
    licence->setOpenExternalLinks(true);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(date);
    layout->addWidget(link);
    layout->addWidget(licence);

    auto *group = new QGroupBox(QStringLiteral("Display test"), this);
    group->setObjectName(QStringLiteral("GBDisplayTest"));
    auto *grid = new QGridLayout(group);
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new QLabel(QLatin1String(RowTitles[row]), group), row, 0);
        for (int column = 0; column < 2; ++column) {
            const int i = row * 2 + column;
            m_fields[i] = new QLineEdit(QLatin1String(Fields[i].initial), group);
            m_fields[i]->setObjectName(QLatin1String(Fields[i].name));
            m_fields[i]->setFixedWidth(
                m_fields[i]->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
            grid->addWidget(m_fields[i], row, column + 1);
            connect(m_fields[i], &QLineEdit::textChanged, this, &TFormAbout::checkFields);
            // Enter in any edit is the button.
            connect(m_fields[i], &QLineEdit::returnPressed, this, [this] {
                if (m_displayTest->isEnabled())
                    BDisplayTestClick();
            });
        }
    }
    grid->setColumnStretch(0, 1);
    m_displayTest = new QPushButton(QStringLiteral("Display test"), group);
    m_displayTest->setObjectName(QStringLiteral("BDisplayTest"));
    grid->addWidget(m_displayTest, 3, 0, 1, 3);
    connect(m_displayTest, &QPushButton::clicked, this, &TFormAbout::BDisplayTestClick);
    layout->addWidget(group);
    layout->addStretch(1);
    context.connectedControls().addWhileClosed(group);
    checkFields();
    resize(sizeHint().expandedTo(QSize(320, 0)));
}

void TFormAbout::checkFields()
{
    // Each field alone, the others at a value that is always valid.
    bool all = true;
    for (int i = 0; i < 6; ++i) {
        QString texts[6] = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                            QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
        texts[i] = m_fields[i]->text();
        const bool valid =
            displayTestValues(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5])
                .has_value();
        setEditValid(m_fields[i], valid);
        all = all && valid;
    }
    m_displayTest->setEnabled(all);
}

void TFormAbout::BDisplayTestClick()
{
    TFormParamIP *paramIP = m_context.toolWindows().paramIP;
    if (!paramIP)
        return;
    QLMCConnection &connection = paramIP->connection();
    // Not over a real device: only while nothing is open or opening.
    if (connection.isTcpActive() || connection.isConnected())
        return;
    const auto values =
        displayTestValues(m_fields[0]->text(), m_fields[1]->text(), m_fields[2]->text(),
                          m_fields[3]->text(), m_fields[4]->text(), m_fields[5]->text());
    if (!values)
        return;
    {
        RegisterLockGuard guard(m_context.session().lock());
        m_context.session().Device.DeviceType = values->first;
        m_context.session().Device.DeviceVersion = values->second;
    }
    connection.identify();
}
