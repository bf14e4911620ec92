// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the identification: any Type and Version answer goes through the
// decoder into the session, the profile is built from what was decoded and
// applied to the register image; then the About window's display-test texts.
// A profile is refused exactly when its family is unknown, and its access is
// what the image grants afterwards.
#include "FuzzSupport.h"

#include "device/DeviceIdentity.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

QLMCSession &session()
{
    static QLMCSession *s = [] {
        QLMCSession *created = fuzzsupport::newSession();
        created->connection().ComMode = ComModes::TcpDirect;
        return created;
    }();
    return *s;
}

uint32_t u32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

using fuzzsupport::check;

/// The next display-test field: a length byte, then that many characters.
QString takeText(const uint8_t *&data, size_t &size)
{
    const std::span<const uint8_t> field = fuzzsupport::takeField(data, size, 8);
    return QString::fromLatin1(reinterpret_cast<const char *>(field.data()),
                               qsizetype(field.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    QLMCSession &s = session();

    // The answer to the identification request: 0x00 Type, 0x01 Version.
    QLMCIPPacket answer;
    answer.Function = Function::ReadAnswer;
    answer.Data[0] = Reg::Type;
    std::copy_n(data, 4, answer.Data.begin() + 1);
    answer.Data[5] = Reg::Version;
    std::copy_n(data + 4, 4, answer.Data.begin() + 6);
    answer.Length = 10;
    s.DataReceived(answer);

    uint32_t type, version;
    {
        RegisterLockGuard guard(s.lock());
        type = s.Device.DeviceType;
        version = s.Device.DeviceVersion;
    }
    check(type == u32(data) && version == u32(data + 4));

    const ModelProfile p = identifyDevice(type, version);
    const DeviceIdentity id = DeviceIdentity::decode(type, version);
    check(p.identity.typeCode == id.typeCode && p.identity.subType == id.subType
          && p.identity.major == id.major && p.identity.minor == id.minor);
    check(id.typeCode == type >> 16 && id.subType == (type & 0xFFFF));
    check(p.known == (p.family != ModelFamily::Unknown));
    check(p.known || (!p.refusalText.isEmpty() && p.modelName.isEmpty()));
    check(p.feedForward == id.feedForward());
    check(!(p.feedForward && p.family == ModelFamily::Stepper));
    check(!id.versionAbove(id.major, id.minor));
    check(p.caption.endsWith(QStringLiteral("(TYPE = %1.%2)").arg(id.typeCode).arg(id.subType)));
    check(!p.isReadable(-1) && !p.isWritable(RegisterCount));

    applyRegisterAccess(p, s.motor());
    {
        RegisterLockGuard guard(s.lock());
        for (int address = 0; address < RegisterCount; ++address) {
            const QLMCRegister &r = s.motor().registers()[size_t(address)];
            check(r.Readable == p.isReadable(address) && r.Writable == p.isWritable(address));
        }
    }

    // The display test: six texts; accepted ones give back the typed numbers.
    const uint8_t *rest = data + 8;
    size_t left = size - 8;
    QString fields[6];
    for (QString &field : fields)
        field = takeText(rest, left);
    if (const auto values =
            displayTestValues(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5])) {
        const auto [t, v] = *values;
        const uint32_t parts[6] = {t >> 16,          t & 0xFFFF,      v >> 24,
                                   (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF};
        for (int i = 0; i < 6; ++i)
            check(fields[i].toULongLong() == parts[i]);
        (void)identifyDevice(t, v);
    }
    return 0;
}
