// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/OptionRegisters.h"

#include <cstdint>

class QLMCSession;

/// The options window's requests and writes over the session. Every access to
/// the options record takes the RegisterLock (the decoder writes it, on the
/// sender thread in UDP mode); a write stores what it sends in the record
/// (OptionBits, InputMin, InputMax, StandbyTimer: the consign range reads
/// them) in the same hold as its requests.
class OptionsModel
{
public:
    explicit OptionsModel(QLMCSession &session);

    /// The values displayOptions shows, copied under the lock.
    struct Shown
    {
        uint32_t optionBits = 0;
        uint16_t standby = 0;
        int32_t inputMin = 0;
        int32_t inputMax = 0;
    };
    Shown shown() const;

    /// The last received raw values of 0x2A, 0x2E and 0x2F.
    struct Direct
    {
        int32_t currentMax = 0;
        int32_t outputVoltage = OptionRegisters::VoltageInactive;
        int32_t dissipation = 0;
    };
    Direct direct() const;

    /// Highest accepted 0x2A raw value (16.16 A): 15.0 A until an
    /// identification sets the model's.
    int32_t maxPeakCurrent() const { return m_maxPeakCurrent; }
    void setMaxPeakCurrent(int32_t raw) { m_maxPeakCurrent = raw; }

    // The five Read buttons.
    void requestOptions();
    void requestOutputsMax();  ///< 0x2A and 0x2E in one hold
    void requestInputLimits(); ///< 0x25 and 0x24 in one hold
    void requestDissipation();
    void requestStandby();

    /// A bit click: writes the whole 25-bit value (bits 25..31 zero) and stores it.
    uint32_t writeOptionBits(const OptionRegisters::Bits &boxes);
    /// Current maximum, then 0x2E (position, or -1 when not \a active). Nothing
    /// is sent, and false returned, when the current text is refused.
    bool writeOutputsMax(const QString &currentText, bool active, int position);
    /// Both limits in one hold; nothing when either is refused or max < min.
    bool writeInputLimits(const QString &minText, const QString &maxText);
    void writeDissipation(int position);
    /// Nothing when the value lies outside 0 .. 32,767.
    bool writeStandby(const QString &text);

private:
    QLMCSession &m_session;
    int32_t m_maxPeakCurrent = 0xF0000;
};
