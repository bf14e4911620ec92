// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimController.h"

#include "sim/SimDrive.h"
#include "sim/SimRegisterAccess.h"
#include "sim/SimRegisterImage.h"

#include <algorithm>
#include <mutex>

namespace {

// Model time caught up per access at most; after a longer idle period the
// motor model skips ahead (the service time still counts the whole period).
constexpr int64_t MaxCatchUpNs = 2'000'000'000;

// The user parameters that the EEPROM commands save and restore. Network
// settings (0x11..0x15) are kept apart so a restore never moves the device.
constexpr int Persistent[] = {
    Reg::StandbyTimer,
    Reg::ComOptions,
    Reg::InputOffset,
    Reg::InputMin,
    Reg::InputMax,
    Reg::PositionOffset,
    Reg::CurrentMax,
    Reg::Options,
    Reg::LoopTimeOption,
    Reg::MaxOutputVoltage,
    Reg::DissipationVoltage,
    Reg::Kp,
    Reg::Ki,
    Reg::Kd,
    Reg::AntiResetWindup,
    Reg::Acceleration,
    Reg::Deceleration,
    Reg::SpeedMax,
    Reg::DeadZone,
    Reg::EncoderRatio,
    Reg::LoopRest,
    Reg::HomingStartInput,
    Reg::HomingOption,
    Reg::HomingPosition,
    Reg::HomingInput,
    Reg::LoopsConfig,
    Reg::EnhancedParams,
    Reg::Limit1Setup,
    Reg::Limit1ControlMode,
    Reg::Limit1Position,
    Reg::Limit1XInput,
    Reg::IoConfig,
    Reg::Limit2Setup,
    Reg::Limit2ControlMode,
    Reg::Limit2Position,
    Reg::Limit2XInput,
    Reg::VffOffset,
    Reg::Kvff,
    Reg::Kaff,
    Reg::Kdff,
};

void copyPersistent(const SimRegisterImage &from, SimRegisterImage &to)
{
    for (const int address : Persistent)
        to.setBytes(address, from.bytes(address));
}

uint64_t seedOf(const SimIdentity &identity)
{
    uint64_t seed = 0;
    for (const uint8_t b : identity.mac)
        seed = (seed << 8) | b;
    return seed;
}

} // namespace

class SimController::Private
{
public:
    Private(SimModel m, SimIdentity id)
        : model(std::move(m))
        , identity(std::move(id))
        , access(SimRegisterAccess::forModel(model))
        , drive(model, image, seedOf(identity))
    {
        const uint64_t seed = seedOf(identity);
        image.setU32(Reg::Type, model.typeRegister());
        image.setU32(Reg::Version, model.version);
        SimDrive::writeFactoryDefaults(model, image);
        copyPersistent(image, userParams);
        copyPersistent(image, factoryParams);
        writeIdentity();
        powerUps = 17 + uint32_t(seed % 40);
        serviceStart = 1'800'000 + uint32_t(seed % 1000) * 3600;
        lastWall = std::chrono::steady_clock::now();
        drive.powerUp();
    }

    void writeIdentity()
    {
        image.setBytes(Reg::EthernetMac, identity.mac);
        image.setBytes(Reg::AddressIp, identity.ip);
        image.setBytes(Reg::SubnetMask, identity.mask);
        std::array<uint8_t, 16> name;
        name.fill(' ');
        std::copy_n(identity.name.begin(), std::min<size_t>(identity.name.size(), 16),
                    name.begin());
        image.setBytes(Reg::Name, name);
    }

    void readIdentity()
    {
        std::copy_n(image.bytes(Reg::EthernetMac).begin(), 6, identity.mac.begin());
        std::copy_n(image.bytes(Reg::AddressIp).begin(), 4, identity.ip.begin());
        std::copy_n(image.bytes(Reg::SubnetMask).begin(), 4, identity.mask.begin());
        const auto name = image.bytes(Reg::Name);
        size_t length = name.size();
        while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == 0))
            --length;
        identity.name.assign(name.begin(), name.begin() + length);
    }

    void catchUp()
    {
        if (manualClock)
            return;
        const auto now = std::chrono::steady_clock::now();
        int64_t elapsed =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastWall).count();
        lastWall = now;
        if (elapsed <= 0)
            return;
        if (elapsed > MaxCatchUpNs) {
            skippedNs += elapsed - MaxCatchUpNs;
            elapsed = MaxCatchUpNs;
        }
        run(elapsed);
    }

    void run(int64_t nanoseconds)
    {
        pendingNs += nanoseconds;
        for (;;) {
            const int64_t loop = drive.loopNanoseconds();
            if (pendingNs < loop)
                break;
            drive.step();
            pendingNs -= loop;
            modelNs += loop;
        }
    }

    void command(int address)
    {
        switch (address) {
        case Reg::ResetProc:
            ++powerUps;
            copyPersistent(userParams, image);
            drive.powerUp();
            break;
        case Reg::SaveParams:
            copyPersistent(image, userParams);
            break;
        case Reg::RestoreParams:
            copyPersistent(userParams, image);
            break;
        case Reg::RestoreFactoryParams:
            copyPersistent(factoryParams, image);
            break;
        case Reg::SaveFactoryParams:
            copyPersistent(image, factoryParams);
            break;
        default:
            break;
        }
    }

    const SimModel model;
    SimIdentity identity;
    const SimRegisterAccess access;
    SimRegisterImage image;
    SimRegisterImage userParams;    ///< EEPROM: user parameters
    SimRegisterImage factoryParams; ///< EEPROM: factory parameters
    SimDrive drive;
    std::mutex mutex;
    bool manualClock = false;
    std::chrono::steady_clock::time_point lastWall;
    int64_t pendingNs = 0;
    int64_t modelNs = 0;
    int64_t skippedNs = 0;
    uint32_t powerUps = 0;
    uint32_t serviceStart = 0;
    std::vector<int> noAnswer;    ///< register fault: left out of read answers
    std::vector<int> ignoreWrite; ///< register fault: acknowledged, value kept
};

SimController::SimController(SimModel model, SimIdentity identity)
    : d(std::make_unique<Private>(std::move(model), std::move(identity)))
{}

SimController::~SimController() = default;

const SimModel &SimController::model() const
{
    return d->model;
}

bool SimController::answersRead(int address) const
{
    return d->access.readable(address);
}

bool SimController::acceptsWrite(int address) const
{
    return d->access.writable(address);
}

bool SimController::readRegister(int address, std::vector<uint8_t> &out)
{
    std::lock_guard lock(d->mutex);
    if (!d->access.readable(address)
        || std::find(d->noAnswer.begin(), d->noAnswer.end(), address) != d->noAnswer.end())
        return false;
    d->catchUp();
    if (address == Reg::PowerUpCount) {
        d->image.setU32(address, d->powerUps);
    } else if (address == Reg::TimeInService) {
        const int64_t seconds = (d->modelNs + d->skippedNs) / 1'000'000'000;
        d->image.setU32(address, d->serviceStart + uint32_t(seconds));
    } else if (SimDrive::isLive(address)) {
        d->drive.render(address);
    }
    const auto bytes = d->image.bytes(address);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
}

bool SimController::writeRegister(int address, std::span<const uint8_t> value)
{
    std::lock_guard lock(d->mutex);
    if (!d->access.writable(address))
        return false;
    const RegisterInfo *info = registerInfo(address);
    if (!info || value.size() != size_t(info->size))
        return false;
    if (std::find(d->ignoreWrite.begin(), d->ignoreWrite.end(), address) != d->ignoreWrite.end())
        return true;
    d->catchUp();
    switch (address) {
    case Reg::ResetProc:
    case Reg::SaveParams:
    case Reg::RestoreParams:
    case Reg::RestoreFactoryParams:
    case Reg::SaveFactoryParams:
        d->command(address);
        return true;
    case Reg::EthernetMac:
    case Reg::AddressIp:
    case Reg::SubnetMask:
    case Reg::Name:
        d->image.setBytes(address, value);
        d->readIdentity();
        return true;
    default:
        return d->drive.write(address, value);
    }
}

SimIdentity SimController::identity() const
{
    std::lock_guard lock(d->mutex);
    return d->identity;
}

void SimController::setAddress(const std::array<uint8_t, 4> &ip, const std::array<uint8_t, 4> &mask)
{
    std::lock_guard lock(d->mutex);
    d->identity.ip = ip;
    d->identity.mask = mask;
    d->writeIdentity();
}

void SimController::useManualClock(bool manual)
{
    std::lock_guard lock(d->mutex);
    // Wall-clock time that passed before the switch is not run: a controller
    // put on the manual clock right after construction starts from the same
    // state every time.
    if (!manual && d->manualClock)
        d->lastWall = std::chrono::steady_clock::now();
    d->manualClock = manual;
}

void SimController::advance(std::chrono::microseconds duration)
{
    std::lock_guard lock(d->mutex);
    if (duration.count() > 0)
        d->run(std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count());
}

void SimController::setAutoTuneOutcome(SimAutoTuneOutcome outcome)
{
    std::lock_guard lock(d->mutex);
    d->drive.setAutoTuneOutcome(outcome);
}

std::optional<SimAutoTuneOutcome> simAutoTuneOutcome(const std::string &name)
{
    static const std::pair<const char *, SimAutoTuneOutcome> names[] = {
        {"success", SimAutoTuneOutcome::Success},
        {"no-speed", SimAutoTuneOutcome::Error},
        {"no-speed-hall", SimAutoTuneOutcome::NoSpeedHall},
        {"oscillation", SimAutoTuneOutcome::Oscillation},
        {"undefined", SimAutoTuneOutcome::Undefined},
        {"running-13", SimAutoTuneOutcome::RunningHigh}};
    for (const auto &[text, outcome] : names)
        if (name == text)
            return outcome;
    return std::nullopt;
}

void SimController::setInputLevel(int line, bool high)
{
    std::lock_guard<std::mutex> guard(d->mutex);
    d->drive.setInputLevel(line, high);
}

void SimController::setForcedWarnings(uint32_t presentBits)
{
    std::lock_guard lock(d->mutex);
    d->drive.setForcedWarnings(presentBits);
}

void SimController::setLimitSwitchPositions(int32_t limit1, int32_t limit2)
{
    std::lock_guard lock(d->mutex);
    d->drive.setLimitSwitchPositions(limit1, limit2);
}

void SimController::setLimitSwitch(int limit, std::optional<bool> closed)
{
    std::lock_guard lock(d->mutex);
    d->drive.setLimitSwitchOverride(limit, closed);
}

void SimController::setRegisterFaults(std::vector<int> noAnswer, std::vector<int> ignoreWrite)
{
    std::lock_guard lock(d->mutex);
    d->noAnswer = std::move(noAnswer);
    d->ignoreWrite = std::move(ignoreWrite);
}

std::vector<uint8_t> SimController::imageBytes(int address) const
{
    std::lock_guard lock(d->mutex);
    const auto bytes = d->image.bytes(address);
    return {bytes.begin(), bytes.end()};
}

void SimController::setImageBytes(int address, std::span<const uint8_t> value)
{
    std::lock_guard lock(d->mutex);
    d->image.setBytes(address, value);
}

void SimController::raiseImageValue(int address, uint64_t by)
{
    std::lock_guard lock(d->mutex);
    const auto stored = d->image.bytes(address);
    std::vector<uint8_t> bytes(stored.begin(), stored.end());
    // Big-endian addition with carry, from the last byte.
    for (size_t i = bytes.size(); i-- > 0 && by != 0;) {
        const uint64_t sum = uint64_t(bytes[i]) + (by & 0xFF);
        bytes[i] = uint8_t(sum);
        by = (by >> 8) + (sum >> 8);
    }
    d->image.setBytes(address, bytes);
}
