// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The fleet's hosts file: any bytes give either targets (each a dotted
// address with fields 0..255, a module 0..127, none twice, at most
// MaxTargets) and no error, or one line of error and no target. The targets
// written back one per line parse to the same targets.
#include "fleet/FleetTargets.h"

#include <QSet>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool dotted(const QString &ip)
{
    const QStringList fields = ip.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return false;
    for (const QString &field : fields) {
        bool ok = false;
        const int value = field.toInt(&ok);
        if (!ok || value < 0 || value > 255 || QString::number(value) != field)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FleetTargetList list = FleetTargets::parseHosts(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!list.error.isEmpty()) {
        check(list.targets.empty() && !list.error.contains(QLatin1Char('\n')));
        return 0;
    }
    check(!list.targets.empty() && list.targets.size() <= size_t(FleetTargets::MaxTargets));
    QSet<QString> labels;
    QByteArray written;
    for (const FleetTarget &target : list.targets) {
        check(dotted(target.ip) && target.module >= 0 && target.module <= 127);
        check(!labels.contains(target.label()));
        labels.insert(target.label());
        written += target.label().toLatin1() + '\n';
    }
    const FleetTargetList again = FleetTargets::parseHosts(written);
    check(again.error.isEmpty() && again.targets.size() == list.targets.size());
    for (size_t i = 0; i < again.targets.size(); ++i)
        check(again.targets[i].label() == list.targets[i].label());
    return 0;
}
