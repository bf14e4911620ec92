// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliJson.h"

#include "device/RegisterTable.h"
#include "device/RegisterText.h"

#include <QJsonDocument>

namespace CliJson {

QString line(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonValue registerValue(int address, std::span<const uint8_t> bytes)
{
    const QString text = RegisterText::value(address, bytes);
    const RegisterInfo *info = registerInfo(address);
    if (!info)
        return text;
    bool ok = false;
    switch (info->format) {
    case ValueFormat::U8:
    case ValueFormat::U16:
    case ValueFormat::U32:
    case ValueFormat::S32: {
        const qint64 v = text.toLongLong(&ok);
        return ok ? QJsonValue(v) : QJsonValue(text);
    }
    case ValueFormat::Fixed16_16:
    case ValueFormat::Fixed8_24: {
        const double v = text.toDouble(&ok);
        return ok ? QJsonValue(v) : QJsonValue(text);
    }
    case ValueFormat::Text:
        // The name without the quotes the text output puts around it.
        return text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))
                   ? text.mid(1, text.size() - 2)
                   : text;
    default:
        return text;
    }
}

QJsonObject registerFields(int address)
{
    const RegisterInfo *info = registerInfo(address);
    QJsonObject o;
    o.insert(QStringLiteral("address"), address);
    o.insert(QStringLiteral("name"), info ? QString::fromLatin1(info->name.data(),
                                                                qsizetype(info->name.size()))
                                          : QString());
    return o;
}

} // namespace CliJson
