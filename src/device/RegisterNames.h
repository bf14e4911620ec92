// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct ModelProfile;

/// Registers by name, as every output names them ("0x33 Kp = ..."): the
/// command line accepts a name wherever it accepts an address.
namespace RegisterNames {

/// The occupied register \a text names: an address in decimal or 0x-hex, or a
/// register name, compared without case and with spaces, "_", "-" and "/"
/// ignored ("Regulation mode", "regulation_mode", "IO_config"); the three
/// misspelt stored names also answer to their right spelling ("Integral
/// delta"). nullopt for anything else.
std::optional<int> parse(const QString &text);

/// The one-word form of the name of \a address, for completion and scripts:
/// spaces as "_", "/" dropped ("Regulation_mode", "IO_config"); empty for an
/// empty slot. parse() reads it back.
QString word(int address);

/// The one-word names of every register, in address order.
QStringList words();

/// The unit the value of \a address is shown in on the model of \a profile
/// ("V", "A", "p/s", "µStep"); empty when it has none or it depends on the
/// regulation mode.
QString unit(int address, const ModelProfile &profile);

} // namespace RegisterNames
