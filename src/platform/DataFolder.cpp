// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString withoutTrailingSeparators(QString text)
{
    while (text.size() > 1 && text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

/// An environment variable holding an absolute path, trailing separators
/// removed; a null string when it is unset, empty or relative.
QString absolutePathVariable(const char *name)
{
    const QString text = QFile::decodeName(qgetenv(name));
    if (!text.startsWith(QLatin1Char('/')))
        return QString();
    return withoutTrailingSeparators(text);
}

QString joined(const QString &base, const char *tail)
{
    return (base == QLatin1String("/") ? QString() : base) + QLatin1String(tail);
}

} // namespace

QString DataFolder::expandUserProfile()
{
    const QByteArray value = qgetenv("USERPROFILE");
    if (value.isEmpty())
        return QString();
    const QString text = QFile::decodeName(value);
    if (text.size() + 1 > ExpansionBufferSize)
        return QString();
    return withoutTrailingSeparators(text);
}

QString DataFolder::locate()
{
    if (!qgetenv("USERPROFILE").isEmpty()) {
        const QString profile = expandUserProfile();
        return profile.isNull() ? QString() : joined(profile, "/Quelmo_Data");
    }
    const QString dataHome = absolutePathVariable("XDG_DATA_HOME");
    if (!dataHome.isNull())
        return joined(dataHome, "/tarvine");
    const QString home = absolutePathVariable("HOME");
    if (!home.isNull())
        return joined(home, "/.local/share/tarvine");
    return QString();
}

DataFolder::Result DataFolder::prepare(const QString &programFolder)
{
    const QString folder = locate();
    if (folder.isNull())
        return {programFolder, false};
    // Each missing folder from the first existing parent down, readable by
    // its owner only, as XDG asks for the data folders.
    QStringList missing;
    for (QString path = folder; !path.isEmpty() && !QFileInfo::exists(path);
         path = QFileInfo(path).path()) {
        if (path == QLatin1String("/"))
            break;
        missing.prepend(path);
    }
    for (const QString &path : missing)
        QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return {folder, true};
}

QString DataFolder::programFolder()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (program.isEmpty())
        return QDir::currentPath();
    return QFileInfo(program).absolutePath();
}
