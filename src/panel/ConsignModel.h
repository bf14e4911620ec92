// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/AutoChangeTick.h"
#include "panel/AxisSetting.h"
#include "panel/ModeTable.h"

#include <QString>

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

class QLMCSession;

/// A consign range of one group of modes.
struct ConsignRange
{
    int32_t minimum = 0;
    int32_t maximum = 0;
    bool set = false; ///< initialised by the first selection of its mode

    friend bool operator==(const ConsignRange &, const ConsignRange &) = default;
};

/// What a mode button click changes in the window.
struct ModeClickResult
{
    QString inputCaption;                                   ///< caption of the input group
    std::array<bool, RegulationParameterCount> redTitles{}; ///< panel order; others normal colour
    /// The mode has a range: the "Min" and "Max" edits show these texts.
    std::optional<QString> minText;
    std::optional<QString> maxText;
    PositionAxisRule positionAxis = PositionAxisRule::Unchanged;
    AxisSetting positionAxisRange; ///< when the axis is fixed to the range
    bool written = false;          ///< the mode value was written to 0x20
};

/// What a change of the input track bar did.
struct ConsignTrackResult
{
    int32_t consign = 0;
    QString consText; ///< for ECons
    bool written = false;
};

/// What confirming a range edit did.
struct RangeEnterResult
{
    int32_t value = 0;
    /// "Wait mode" or "Position traj." checked: the position chart's left-axis
    /// minimum (for "Min") or maximum (for "Max") becomes this value ...
    std::optional<double> positionAxisValue;
    /// ... and that of the position-in-micrometres chart this one.
    std::optional<double> micrometreAxisValue;
};

/// Outcome of Enter in the step edit.
enum class StepEnterResult : uint8_t {
    Stored,
    NotStored, ///< not an integer, or beyond 32 bits: AutoStep keeps its value
};

/// The regulation modes and the consign input of the main panel: mode clicks
/// and the mode display, consign edits, the input track bar, the range, step
/// and timer edits and the auto-change ticks.
///
/// Threads: the user-interface thread calls everything except autoChangeTick(),
/// which the auto-change thread calls. All consign state (ConsignValue,
/// ConsignMin, ConsignMax, the ranges, AutoStep, AutoPeriodMs, MinMaxHigh,
/// StepUp, SkipTrackChange, the auto-change choice, the checked mode) is
/// guarded by one mutex of this object, held for each call; register requests
/// are made under the RegisterLock while that mutex is held, so never call
/// this object while holding the RegisterLock. ModeSync is the session's
/// atomic flag.
class ConsignModel
{
public:
    explicit ConsignModel(QLMCSession &session);

    /// The input track bar's range (0 .. 1000 unless the window says otherwise).
    void setTrackRange(int minimum, int maximum);

    // --- Modes ----------------------------------------------------------------

    /// Click (or check) of a mode button. \a buttonEnabled: the button's state;
    /// \a positionAxisMinimum: the position chart's current left-axis minimum.
    /// Writes the mode to 0x20 unless the button is disabled or the display
    /// is checking it (ProgrammaticModeChange). Turns ModeSync off.
    ModeClickResult modeClicked(RegulationMode mode, bool buttonEnabled, bool stepperUnits,
                                double positionAxisMinimum);

    /// The button to check for a received mode (nullopt for 7 and above). The
    /// window checks it only when it is not checked yet, between
    /// beginModeDisplay() and endModeDisplay(), with the button disabled
    /// while it is checked (so that its click does not write).
    static std::optional<RegulationMode> modeToShow(int32_t receivedMode);
    /// Turns ProgrammaticModeChange on.
    void beginModeDisplay();
    /// Turns ProgrammaticModeChange off.
    void endModeDisplay();
    bool programmaticModeChange() const;

    /// The mode whose button was last clicked or checked.
    std::optional<RegulationMode> checkedMode() const;

    // --- Consign ----------------------------------------------------------------

    /// Change of ECons, ECons1 or ECons2: valid (normal colour, its "GO"
    /// enabled) for a signed 32-bit decimal integer. Pure.
    static bool checkConsign(const QString &text);
    /// Enter in a consign edit or its "GO": a valid text becomes ConsignValue
    /// and is written to 0x21. nullopt when invalid (nothing happens).
    std::optional<int32_t> consignEnter(const QString &text);
    /// "Read" of the input group: raises ShowInput and asks for 0x21.
    void readInputClicked();
    /// "Reset Position": writes 0 to 0x26.
    void resetPositionClicked();

    /// Change of the input track bar to \a position. nullopt when the change
    /// is skipped (SkipTrackChange, turned off here). Otherwise ConsignValue =
    /// trunc((ConsignMax - ConsignMin) x position / track maximum +
    /// ConsignMin), so the track bar's ends give ConsignMin and ConsignMax
    /// exactly (the "Min-Max" auto change toggles between them), shown in ECons
    /// and written to 0x21 when \a activeChecked (CBActiveTBCons).
    std::optional<ConsignTrackResult> trackBarChanged(int position, bool activeChecked);
    /// CBActiveTBCons click: when it became checked, the track-bar change
    /// behaviour runs once for the current position.
    std::optional<ConsignTrackResult> activeTrackBarClicked(bool checked, int position);

    // --- Range edits ------------------------------------------------------------

    /// Change of "Min": valid for a signed 32-bit integer below ConsignMax.
    bool checkRangeMin(const QString &text) const;
    /// Change of "Max": valid for a signed 32-bit integer above ConsignMin.
    bool checkRangeMax(const QString &text) const;
    /// Enter in "Min": stores a valid value in ConsignMin and in the range of
    /// the checked mode; nullopt when the text is invalid or out of order.
    /// \a pulsesPerMicrometre is the shared PulsesPerMicrometre factor.
    std::optional<RangeEnterResult> rangeMinEnter(const QString &text, float pulsesPerMicrometre);
    /// Enter in "Max", as rangeMinEnter().
    std::optional<RangeEnterResult> rangeMaxEnter(const QString &text, float pulsesPerMicrometre);
    /// Leaving "Min" ("Max"): the text in force.
    QString rangeMinText() const;
    QString rangeMaxText() const;

    // --- Auto change --------------------------------------------------------------

    /// Selects the auto-change choice; returns true when the auto-change
    /// thread is to run (resumed), false when it is to be suspended.
    /// "Min-Max" turns MinMaxHigh on, "Step :" turns StepUp on.
    bool selectAutoChange(AutoChange choice);
    AutoChange autoChange() const;

    /// Change of the step edit: valid for a signed 32-bit integer. Pure.
    static bool checkStep(const QString &text);
    /// Enter in the step edit.
    StepEnterResult stepEnter(const QString &text);
    /// Leaving the step edit: AutoStep as text.
    QString stepText() const;

    /// Change of the timer edit: valid for an unsigned integer in 10 .. 1000000000. Pure.
    static bool checkTimerPeriod(const QString &text);
    /// Enter in the timer edit: a valid period becomes AutoPeriodMs and is
    /// returned; the window then restarts the auto-change timer with it,
    /// keeping the thread's suspended state. nullopt when invalid.
    std::optional<int32_t> timerEnter(const QString &text);
    /// Leaving the timer edit: AutoPeriodMs as text.
    QString timerText() const;

    /// One tick of the auto-change thread: computes the next consign state,
    /// writes 0x21 for "Step", and returns the control updates to hand to the
    /// user-interface thread.
    AutoChangeUpdate autoChangeTick();
    /// User-interface thread, before moving the track bar for a tick's update
    /// while it stands at \a currentPosition: raises SkipTrackChange when the
    /// move skips the change behaviour and really moves the track bar (a move
    /// to the same position raises no change event that would clear it).
    void prepareTrackMove(int currentPosition, const AutoChangeUpdate &update);

    /// A connection was opened: the three ranges are to be initialised again
    /// on their next selection. Returns the position for the input track bar,
    /// the middle of its range.
    int connectionOpened();

    // --- State ----------------------------------------------------------------------

    int32_t consignValue() const;
    int32_t consignMin() const;
    int32_t consignMax() const;
    int32_t autoStep() const;
    int32_t autoPeriodMs() const;
    bool skipTrackChange() const;
    ConsignRange range(ConsignRangeKind kind) const;
    /// A copy of the state an auto-change tick works on.
    AutoChangeState autoChangeState() const;

private:
    ConsignRange *rangeOf(ConsignRangeKind kind);
    AutoChangeState stateLocked() const;
    ConsignRange firstUseRange(ConsignRangeKind kind) const;
    void writeConsign(int32_t value);
    std::optional<RangeEnterResult> rangeEnter(const QString &text, bool isMinimum,
                                               float pulsesPerMicrometre);
    std::optional<ConsignTrackResult> trackBarChangedLocked(int position, bool activeChecked);
    bool checkRangeLocked(const QString &text, bool isMinimum) const;

    QLMCSession &m_session;
    mutable std::mutex m_mutex;

    int32_t m_consignValue = 0;
    int32_t m_consignMin = 0;
    int32_t m_consignMax = 1000;
    ConsignRange m_openLoopRange;
    ConsignRange m_speedRange;
    ConsignRange m_positionRange;
    int32_t m_autoStep = 100;
    int32_t m_autoPeriodMs = 1000;
    bool m_minMaxHigh = true;
    bool m_stepUp = true;
    bool m_skipTrackChange = false;
    bool m_programmaticModeChange = false;
    AutoChange m_autoChange = AutoChange::No;
    std::optional<RegulationMode> m_checkedMode;
    int m_trackMinimum = 0;
    int m_trackMaximum = 1000;
};
