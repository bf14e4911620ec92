#include "ui/widgets/TFormAbout.h"

#include "app/TFormMain.h"

#include <QLabel>
#include <QVBoxLayout>

#include <TarvineVersion.h>

TFormAbout::TFormAbout(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormAbout"), QStringLiteral("About"))
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
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(date);
    layout->addStretch(1);
    resize(320, 160);
}
