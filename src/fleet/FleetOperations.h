// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "files/ParameterFile.h"
#include "fleet/FleetRunner.h"

#include <QString>

#include <vector>

/// The fleet operations, each run on one opened controller (FleetRunner).
/// Every value they report was received in this connection; a register the
/// model does not read is left out, one that did not come fails the row.
namespace FleetOperations {

/// The fields of `list`, in output order.
QStringList listFields();
/// mac, address, model, firmware, name, mode, warnings, temperature.
void list(FleetDevice &device, FleetRow &row);

/// Saves every readable register of the controller to a parameter file in
/// \a folder (written atomically), named fileName(); the row's "file" field
/// names it. Nothing is written unless every saved register came.
void save(FleetDevice &device, FleetRow &row, const QString &folder);
/// "NAME_MAC.qmc": the name and MAC received (address when the MAC is not
/// readable), characters outside [A-Za-z0-9.-] as '_', so the files sort by
/// name and a name shared by several controllers still gives distinct files.
QString fileName(const FleetRow &row);
/// The index of a save: a header and one tab-separated line per controller
/// (file, mac, address, name, model, result: saved, failed or skipped,
/// reason), written atomically as
/// INDEX_NAME in \a folder. False with the reason in \a error.
inline constexpr const char *IndexName = "fleet-index.tsv";
bool writeIndex(const QString &folder, const std::vector<FleetRow> &rows, QString *error);

/// Compares the controller with \a reference: the row's details list each
/// differing register ("0x33 Kp 1.00000 -> 2.50000", device -> file), the
/// identity registers (0x11 MAC, 0x12 address, 0x15 name) apart, prefixed
/// "identity ". Status Differs when any other register differs.
void diff(FleetDevice &device, FleetRow &row, const ParameterFileContent &reference);
/// True for 0x11, 0x12 and 0x15: they differ from controller to controller.
bool isIdentityRegister(int address);

/// The model a file was saved from (its header's device type), empty when the
/// file names none or a type this tool does not list.
QString fileModel(const ParameterFileContent &content);

/// Sends \a content to the controller as the single send does
/// (ParameterApply): the controller keeps its own 0x12 address and 0x15 name,
/// every value goes through the rule book (one refusal fails the row and
/// nothing is written), every change is journalled under \a source. Then
/// the sent registers are read back: a value not taken, or a write without
/// an answer, fails the row. A controller of another model than the file's
/// is skipped with the reason unless \a anyModel. Fields: "sent" (registers
/// written); details: what the controller kept.
void send(FleetDevice &device, FleetRow &row, const ParameterFileContent &content,
          bool anyModel, const QString &source);

/// "ok", "unreachable", "unanswered", "refused", "skipped", "file-failed",
/// "differs", "value-refused", "not-taken".
QString statusWord(FleetStatus status);

/// Wraps \a operation so that a controller whose model is not \a model
/// (e.g. "NETEC-A"; empty: any) is skipped with the reason.
FleetRunner::Operation onlyModel(const QString &model, FleetRunner::Operation operation);

} // namespace FleetOperations
