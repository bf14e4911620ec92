// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ModelCatalogue.h"

std::span<const KnownModel> knownModels()
{
    static constexpr KnownModel models[] = {
        {"NETDC-A", 2, 1, 0x00070012},   {"NETEC-B", 6, 3, 0x00070012},
        {"NETEC-A", 6, 4, 0x00070012},   {"BUSDC-C", 3, 5, 0x00070012},
        {"BUSDC-A", 3, 100, 0x00070012}, {"BUSDC-B", 3, 200, 0x00070012},
        {"BUSEC-A", 25, 1, 0x00070012},  {"BUSST-A", 43, 1, 0x00040000},
        {"BUSST-B", 43, 2, 0x00040000},  {"BUSST-C", 43, 3, 0x00040000},
        {"BUSST-D", 43, 4, 0x00040000},
    };
    return models;
}

std::optional<KnownModel> findKnownModel(const QString &name)
{
    for (const KnownModel &model : knownModels())
        if (name.compare(QLatin1String(model.name), Qt::CaseInsensitive) == 0)
            return model;
    return std::nullopt;
}
