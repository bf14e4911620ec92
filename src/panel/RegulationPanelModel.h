// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/RegulationParameter.h"

#include <QString>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

class QLMCSession;

/// What an edit's text means while the user types it.
struct ParameterEditCheck
{
    /// Valid: normal window colour and "Write" enabled; otherwise clRed and
    /// "Write" disabled ("Write" follows the last edit that changed).
    bool valid = false;
    /// Set when the text had too many decimals: put this text into the edit
    /// and move the caret to its end.
    std::optional<QString> replacementText;
    double value = 0;          ///< the number typed, when valid
    int64_t registerValue = 0; ///< the register value to write, when valid
};

/// What confirming an edit (Enter, "Write", "Calc 40%") did and what the
/// window shows next.
struct ParameterEnterResult
{
    int64_t registerValue = 0; ///< written to the register
    /// New track-bar position, to be set without running the track bar's
    /// change behaviour (the value is written already).
    int trackPosition = 0;
    /// Fixed kinds: the edit shows exactly what was sent.
    std::optional<QString> editText;
};

/// What a track-bar move did.
struct ParameterTrackResult
{
    QString editText;     ///< the value of the new position, for the edit
    bool written = false; ///< false while suppressTrackWrite() is on
    int64_t registerValue = 0;
};

/// How a received value is shown: the edit takes the text, the track bar the
/// position without running its change behaviour (so the move never writes,
/// and neither control is disabled, which would move the keyboard focus).
struct ParameterDisplay
{
    QString editText;
    int trackPosition = 0;
};

/// One edit of the "Write" button: its text and whether it is enabled.
struct ParameterEdit
{
    QString text;
    bool enabled = true;
};

/// Outcome of "Calc 40%".
struct AntiResetWindupCalculation
{
    /// New text of the anti-reset-windup edit (its change check then colours it).
    std::optional<QString> editText;
    /// The Enter behaviour ran on the new text and wrote 0x36.
    std::optional<ParameterEnterResult> entered;
    /// Kvff is above zero but the Ki text is zero or not a number: there is no
    /// finite result, nothing is written, and the anti-reset-windup edit is to
    /// be painted clRed (with "Write" disabled).
    bool invalidGain = false;
};

/// PID gains remembered while CBPIDActive is unchecked; a gain not received
/// from the device in this connection is not remembered (nor zeroed).
struct SavedGains
{
    std::optional<float> Kp;
    std::optional<float> Ki;
    std::optional<float> Kd;
};

/// Feed-forward terms remembered while CBPredictiveActive is unchecked, as the gains.
struct SavedFeedForward
{
    std::optional<int32_t> VffOffset;
    std::optional<float> Kvff;
    std::optional<float> Kaff;
    std::optional<float> Kdff;
};

/// The behaviour of the "Regulation parameters" group: edit checks and
/// confirmation, track-bar moves, received values, "Read", "Write",
/// "Calc 40%" and the PID and feed-forward switches. The window only wires
/// its controls to these calls; register requests go to the session under its
/// RegisterLock. Used on the user-interface thread only.
class RegulationPanelModel
{
public:
    explicit RegulationPanelModel(QLMCSession &session);

    /// Checks an edit's text (edit change handler). Pure.
    static ParameterEditCheck checkEdit(RegulationParameterId id, const QString &text);

    /// Enter in an enabled edit: nullopt when the text is invalid (nothing is
    /// written, nothing changes); otherwise the register value is written.
    std::optional<ParameterEnterResult> editEnter(RegulationParameterId id, const QString &text);

    /// Track-bar change to \a position. nullopt when the track bar is disabled
    /// (a position set by the display or by Enter); otherwise the edit shows
    /// the new value, which is written unless suppressTrackWrite() is on.
    std::optional<ParameterTrackResult> trackBarChanged(RegulationParameterId id, int position,
                                                        bool trackBarEnabled);

    /// How the received value of \a id is shown (display routine, flag raised).
    static ParameterDisplay receivedDisplay(RegulationParameterId id, const ReceivedValues &values);

    /// "Write": the Enter behaviour of every enabled edit in write order.
    /// \a edits is indexed in panel order; the result holds, per parameter in
    /// panel order, what its Enter did (nullopt: skipped or invalid).
    std::array<std::optional<ParameterEnterResult>, RegulationParameterCount>
    writeAll(const std::array<ParameterEdit, RegulationParameterCount> &edits);

    /// "Read": asks for the thirteen registers in one hold of the lock.
    void readAll();

    /// "Calc 40%": from the Kvff and Ki edit texts, computes the anti-reset
    /// windup (26214 / Ki rounded, or 1000000000 when Kvff is 0) and confirms
    /// it like Enter in the anti-reset-windup edit when that edit is enabled.
    AntiResetWindupCalculation calculateAntiResetWindup(const QString &kvffText,
                                                        const QString &kiText,
                                                        bool antiResetWindupEnabled);

    /// CBPIDActive unchecked: asks for Kp, Ki, Kd; the window then starts
    /// TimerReadPID (100 ms).
    void gainsSwitchedOff();
    /// TimerReadPID tick (after stopping the timer): remembers the last
    /// received gains and writes 0 to those registers (a gain not received in
    /// this connection is left as the device holds it). The window disables
    /// the three track bars and edits, waits 100 ms and calls requestGainsRead().
    void gainsTimerTick();
    /// CBPIDActive checked: writes the remembered gains back (only those). The window enables the
    /// controls, waits 100 ms and calls requestGainsRead().
    void gainsSwitchedOn();
    /// Asks for Kp, Ki and Kd.
    void requestGainsRead();

    /// CBPredictiveActive unchecked: asks for the four feed-forward registers;
    /// the window then starts TimerReadPIDPredictive (100 ms).
    void feedForwardSwitchedOff();
    /// TimerReadPIDPredictive tick: remembers the last received feed-forward
    /// terms and writes 0 to 0x61..0x64. The window disables the four track
    /// bars and edits, waits 100 ms and calls requestFeedForwardRead().
    void feedForwardTimerTick();
    /// CBPredictiveActive checked: writes the remembered terms. The window
    /// enables the controls, waits 100 ms and calls requestFeedForwardRead().
    void feedForwardSwitchedOn();
    /// Asks for VffOffset, Kvff, Kaff and Kdff.
    void requestFeedForwardRead();

    /// While on, track-bar moves show their value but write nothing.
    bool suppressTrackWrite() const { return m_suppressTrackWrite; }
    void setSuppressTrackWrite(bool on) { m_suppressTrackWrite = on; }

    const SavedGains &savedGains() const { return m_savedGains; }
    const SavedFeedForward &savedFeedForward() const { return m_savedFeedForward; }

private:
    void write(int address, int64_t value);
    void read(std::initializer_list<int> addresses);
    /// \a received when \a address was received in this connection (then
    /// its write of 0 is requested), else nothing. Call under the lock.
    template<typename T>
    std::optional<T> saveAndZero(int address, T received);

    QLMCSession &m_session;
    bool m_suppressTrackWrite = false;
    SavedGains m_savedGains;
    SavedFeedForward m_savedFeedForward;
};
