// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

/// A controller model the tool knows, with the type, sub-type and firmware
/// version one of its kind reports (registers 0x00 and 0x01).
struct KnownModel
{
    const char *name; ///< "NETDC-A"
    uint16_t typeCode;
    uint16_t subType;
    uint32_t version; ///< register 0x01 of a current firmware

    uint32_t typeRegister() const { return (uint32_t(typeCode) << 16) | subType; }
};

/// One row per model of the identification (NETDC-A, NETEC-B, NETEC-A,
/// BUSDC-C, BUSDC-A, BUSDC-B, BUSEC-A, BUSST-A, BUSST-B, BUSST-C, BUSST-D).
std::span<const KnownModel> knownModels();

/// The model named \a name (case-insensitive), or nullopt.
std::optional<KnownModel> findKnownModel(const QString &name);
