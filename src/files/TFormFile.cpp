#include "files/TFormFile.h"

#include "app/TFormMain.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormFile::TFormFile(TFormMain &main)
    : ToolWindow(&main, QStringLiteral("FormFile"), QStringLiteral("Parameters file  *.qmc"))
{
    resize(460, 320);

    // The two groups take the same place; one of them is shown at a time.
    m_openGroup = new QGroupBox(QStringLiteral("Open file"), this);
    m_openGroup->setObjectName(QStringLiteral("GBOpenFile"));
    m_saveGroup = new QGroupBox(QStringLiteral("Save file"), this);
    m_saveGroup->setObjectName(QStringLiteral("GBSaveFile"));
    m_save = new QPushButton(QStringLiteral("Save parameters file..."), m_saveGroup);
    m_save->setObjectName(QStringLiteral("BSave"));
    m_saveStatus = new QLabel(QStringLiteral("Ready"), m_saveGroup);
    m_saveStatus->setObjectName(QStringLiteral("LSaveStatusVal"));
    auto *saveLayout = new QVBoxLayout(m_saveGroup);
    saveLayout->addWidget(m_save);
    saveLayout->addWidget(m_saveStatus);
    saveLayout->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_openGroup);
    layout->addWidget(m_saveGroup);
    m_saveGroup->hide();
}

void TFormFile::showSaveGroup(bool connectionOpen)
{
    m_openGroup->hide();
    m_saveGroup->show();
    m_save->setEnabled(connectionOpen);
    m_saveStatus->setText(connectionOpen ? QStringLiteral("Ready")
                                         : QStringLiteral("Open communication first !"));
}

void TFormFile::showOpenGroup()
{
    m_saveGroup->hide();
    m_openGroup->show();
}
