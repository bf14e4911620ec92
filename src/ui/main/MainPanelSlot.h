// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QSize>

/// The places of the main window that the groups of the main panel fill. Each
/// holds a placeholder group box (with the group's title and objectName) until
/// its panel is installed.
enum class MainPanelSlot {
    RegulationParameters, ///< "Regulation parameters" (GBRegulationParameters)
    RegulationMode,       ///< "0x20-Regul. mode" (GBRegulationMode)
    Input,                ///< "0x21-Input" (GBInput)
    Eeprom,               ///< "Save and restore (EEprom)" and the two red command panels (GBEeprom)
};

/// The room the main window keeps for the panel of \a slot at 1008 x 557; a
/// larger panel squeezes the graph pages.
QSize reservedSize(MainPanelSlot slot);
