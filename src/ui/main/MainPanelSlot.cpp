// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/MainPanelSlot.h"

QSize reservedSize(MainPanelSlot slot)
{
    switch (slot) {
    case MainPanelSlot::RegulationParameters:
        return {336, 524};
    case MainPanelSlot::RegulationMode:
        return {118, 186};
    case MainPanelSlot::Input:
        return {330, 186};
    case MainPanelSlot::Eeprom:
        return {198, 186};
    }
    return {};
}
