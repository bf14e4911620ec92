#include "platform/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString DataFolder::expandUserProfile()
{
    QByteArray value = qgetenv("USERPROFILE");
    if (value.isEmpty())
        value = qgetenv("HOME");
    if (value.isEmpty())
        return QString();
    QString text = QFile::decodeName(value);
    if (text.size() + 1 > ExpansionBufferSize)
        return QString();
    while (text.size() > 1 && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

DataFolder::Result DataFolder::prepare(const QString &programFolder)
{
    const QString profile = expandUserProfile();
    if (profile.isNull())
        return {programFolder, false};
    const QString folder =
        (profile == QLatin1String("/") ? QString() : profile) + QLatin1String("/Quelmo_Data");
    QDir().mkdir(folder);
    return {folder, true};
}

QString DataFolder::programFolder()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (program.isEmpty())
        return QDir::currentPath();
    return QFileInfo(program).absolutePath();
}
