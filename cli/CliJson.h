// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <span>

/// What tarvine-cli's --json prints: one compact JSON object per line, with
/// the field names of the command's entry (CliCommand::json).
namespace CliJson {

/// \a object as one line of compact JSON (without the line end).
QString line(const QJsonObject &object);

/// The value of register \a address as a JSON value: a number for the integer
/// and fixed-point registers (as the text output prints it), the name of
/// register 0x15 without quotes, otherwise the text the text output prints.
QJsonValue registerValue(int address, std::span<const uint8_t> bytes);

/// The common fields of a register: address (number), name.
QJsonObject registerFields(int address);

} // namespace CliJson
