// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/OptionsCommands.h"

#include "device/RegisterRules.h"
#include "cli/CliContext.h"
#include "cli/CliLink.h"

#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "features/LimitRegisters.h"
#include "features/OptionRegisters.h"

#include <span>

namespace OptionsCommands {

using namespace CliExit;

namespace {

struct BitArgument
{
    int bit = 0;
    bool on = false;
};

std::optional<BitArgument> parseBit(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('='));
    if (parts.size() != 2)
        return std::nullopt;
    bool ok = false;
    const int bit = parts[0].toInt(&ok, 10);
    if (!ok || bit < 0 || bit >= OptionRegisters::BitCount)
        return std::nullopt;
    if (parts[1] != QLatin1String("0") && parts[1] != QLatin1String("1"))
        return std::nullopt;
    return BitArgument{bit, parts[1] == QLatin1String("1")};
}

QString hex(const std::vector<uint8_t> &bytes)
{
    return RegisterText::trace(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

bool readable(CliContext &c, int address)
{
    RegisterLockGuard guard(c.session.lock());
    return c.session.motor().registerAt(address)->Readable;
}

int limits(CliContext &c)
{
    if (!readable(c, Reg::Limit1Setup))
        return c.fail(ValueRefused, QStringLiteral("this model has no limit registers"));
    const int code = c.link.read({Reg::Limit1Setup, Reg::Limit1ControlMode, Reg::Limit1Position,
                                  Reg::Limit1XInput, Reg::Limit2Setup, Reg::Limit2ControlMode,
                                  Reg::Limit2Position, Reg::Limit2XInput});
    LimitsRecord record;
    {
        RegisterLockGuard guard(c.session.lock());
        record = c.session.Limits;
    }
    for (int limit = 0; limit < 2; ++limit) {
        // A limit is shown only when its four registers came back.
        const int first = limit == 0 ? Reg::Limit1Setup : Reg::Limit2Setup;
        if (!c.link.missing({first, first + 1, first + 2, first + 3}).empty())
            continue;
        const LimitSettings s = LimitRegisters::fromRecord(record, limit);
        const LimitSetupBits bits = LimitRegisters::decodeSetup(s.Setup);
        const auto lines = LimitRegisters::lines(limit, s);
        c.out << (limit == 0 ? "Limit 1 [home]" : "Limit 2") << Qt::endl;
        c.out << "  " << lines[0].caption << ' ' << lines[0].hex << "  Used=" << int(bits.used)
              << " Active on 1=" << int(bits.activeOn1)
              << " Change control mode=" << int(bits.controlMode)
              << " Set new position=" << int(bits.position)
              << " X input=" << LimitRegisters::xInputCaption(bits.xInputItem) << Qt::endl;
        const QString mode = LimitRegisters::controlModeCaption(s.ControlMode);
        c.out << "  " << lines[1].caption << ' ' << lines[1].hex << "  "
              << (mode.isEmpty() ? QStringLiteral("(not a mode)") : mode) << Qt::endl;
        c.out << "  " << lines[2].caption << ' ' << lines[2].hex << "  " << s.Position << Qt::endl;
        c.out << "  " << lines[3].caption << ' ' << lines[3].hex << "  " << s.XInput << Qt::endl;
    }
    return code;
}

int options(CliContext &c)
{
    using namespace OptionRegisters;
    const int code =
        c.link.read({Reg::Options, Reg::CurrentMax, Reg::MaxOutputVoltage, Reg::DissipationVoltage,
                     Reg::InputMin, Reg::InputMax, Reg::StandbyTimer});
    OptionsRecord r;
    {
        RegisterLockGuard guard(c.session.lock());
        r = c.session.Options;
    }
    auto line = [&c](int address, const char *name) -> QTextStream & {
        return c.out << "0x"
                     << QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper()
                     << ' ' << name << " = ";
    };
    // Not offered by the model: said so; not received: left out (the read
    // named it on standard error).
    auto missing = [&c](int address) {
        if (!readable(c, address)) {
            c.out << CliLink::addressText(address) << " not available on this model" << Qt::endl;
            return true;
        }
        return !c.link.received(address);
    };
    if (!missing(Reg::Options)) {
        line(Reg::Options, "Options")
            << "0x"
            << QString::number(r.OptionBits, 16).rightJustified(8, QLatin1Char('0')).toUpper()
            << Qt::endl;
        const Bits bits = decode(r.OptionBits);
        for (int bit = 0; bit < BitCount; ++bit)
            c.out << "  [" << (bits[size_t(bit)] ? 'x' : ' ') << "] " << bitCaption(bit).trimmed()
                  << Qt::endl;
        if (hasUnusedBits(r.OptionBits))
            c.out << "  bits 25..31 are set; a write of an option bit clears them" << Qt::endl;
    }
    if (!missing(Reg::CurrentMax))
        line(Reg::CurrentMax, "Current max") << currentText(r.CurrentMaxRaw) << " A" << Qt::endl;
    if (!missing(Reg::MaxOutputVoltage)) {
        line(Reg::MaxOutputVoltage, "Max output voltage");
        if (r.OutputVoltageRaw == VoltageInactive)
            c.out << "inactive" << Qt::endl;
        else
            c.out << voltageText(voltagePosition(r.OutputVoltageRaw)) << " V" << Qt::endl;
    }
    if (!missing(Reg::DissipationVoltage))
        line(Reg::DissipationVoltage, "Dissipation voltage")
            << voltageText(voltagePosition(r.DissipationRaw)) << " V" << Qt::endl;
    if (!missing(Reg::InputMin))
        line(Reg::InputMin, "Input min") << r.InputMin << Qt::endl;
    if (!missing(Reg::InputMax))
        line(Reg::InputMax, "Input max") << r.InputMax << Qt::endl;
    if (!missing(Reg::StandbyTimer))
        line(Reg::StandbyTimer, "Standby timer") << r.StandbyTimer << " ms" << Qt::endl;
    return code;
}

int option(CliContext &c)
{
    using namespace OptionRegisters;
    const BitArgument arg = *parseBit(c.arguments().value(0)); // checked at parsing
    {
        RegisterLockGuard guard(c.session.lock());
        const QLMCRegister *reg = c.session.motor().registerAt(Reg::Options);
        if (!reg->Readable || !reg->Writable)
            return c.fail(ValueRefused,
                        QStringLiteral("register 0x2C is not writable on this model"));
    }
    if (const int code = c.link.read({Reg::Options}); code != Ok)
        return code;
    c.link.beginWrite();
    {
        // Read, change one bit, write: in one hold, as a click on the bit box,
        // from the value just received.
        RegisterLockGuard guard(c.session.lock());
        Bits bits = decode(c.session.Options.OptionBits);
        bits[size_t(arg.bit)] = arg.on;
        const uint32_t value = compose(bits);
        const RegisterWrite write = RegisterRules::write(Reg::Options, int64_t(value));
        if (const auto refused = RegisterRules::requestWrites(c.session, {&write, 1});
            !refused.empty())
            return c.fail(ValueRefused, refused.front().reason);
        c.session.Options.OptionBits = value;
    }
    if (const int code = c.link.awaitWrite(QStringLiteral("the write of 0x2C")); code != Ok)
        return code;
    if (const int code = c.link.read({Reg::Options}); code != Ok)
        return code;
    uint32_t value;
    std::vector<uint8_t> bytes;
    {
        RegisterLockGuard guard(c.session.lock());
        value = c.session.Options.OptionBits;
        bytes = c.session.motor().registerAt(Reg::Options)->Value;
    }
    const bool now = value & (1u << arg.bit);
    c.out << "0x2C Options = " << hex(bytes) << "  " << bitCaption(arg.bit).trimmed() << " = "
          << int(now) << Qt::endl;
    if (now != arg.on)
        return c.fail(ValueRefused,
                    QStringLiteral("the device kept bit %1 at %2").arg(arg.bit).arg(int(now)));
    return Ok;
}

QString checkOption(const CliOptions &options)
{
    if (!parseBit(options.arguments.value(0)))
        return QStringLiteral("option needs one N=0|1 with N from 0 to 24");
    return {};
}

} // namespace

const CliCommand Limits{"limits", "limits",
                        "both limit inputs: setup bits, mode, position, x input",
                        CliNeeds::Device, &limits};
const CliCommand Options{"options", "options",
                         "option bits (0x2C) and the output and input limits", CliNeeds::Device,
                         &options};
const CliCommand Option{"option", "option N=0|1",
                        "set or clear option bit N (0..24), then read it back", CliNeeds::Device,
                        &option, &checkOption, "5 the device kept the bit"};

} // namespace OptionsCommands
