// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QLMCSession;

/// The kind of a tuning run, named after its start button.
enum class TuningKind : uint8_t {
    None,
    PidOnly,       ///< "Start PID only": start 1, abort 2
    PidPredictive, ///< "Start PID + Predictive": start 17, abort 18
};

/// Command bytes of register 0x39.
namespace TuningCommand {
constexpr uint8_t StartPid = 0x01;
constexpr uint8_t AbortPid = 0x02;
constexpr uint8_t StartPredictive = 0x11;
constexpr uint8_t AbortPredictive = 0x12;
constexpr uint8_t Reset = 0x00;
} // namespace TuningCommand

/// What a status byte of 0x39 means (low nibble the state, high nibble the
/// error detail). Every byte falls in one row.
struct TuningStatusMeaning
{
    enum class Outcome { Finished, Running, Error, NoChange };
    Outcome outcome = Outcome::NoChange;
    QStringList lines; ///< result lines of a finished or failed run
};
TuningStatusMeaning tuningStatusMeaning(uint8_t status);

/// One register write the wizard asks for.
struct WizardWrite
{
    int address = 0;
    int64_t value = 0;
    friend bool operator==(const WizardWrite &, const WizardWrite &) = default;
};

/// What one wizard event asks of the register image.
struct WizardRequests
{
    std::vector<WizardWrite> writes;
    std::vector<int> reads;
    bool runStarted = false; ///< a start command is among the writes
    bool runEnded = false;   ///< a final status ended the run
    bool empty() const { return writes.empty() && reads.empty(); }
};

/// The auto-tuning wizard without widgets: the page shown (WizardStep), the
/// run (TuningRunning, its kind, TuningStatus), the texts and enabled states
/// of the controls, and the register writes and reads each event asks for.
///
/// A run starts with a start command and ends with the first final status
/// (low nibble 0 or 4) decoded while it runs; a final status decoded with no
/// run (a file, the identification's read-out, an answer still in flight)
/// changes nothing. While a run goes on "<- Back" is disabled and step 4
/// keeps "Abort" on the running button, also when the window is shown again.
/// A run lives in one connection: closing it ends the run as aborted, so no
/// status of a later connection completes it. "Running..." shows only while
/// a run goes on.
class AutoTuningWizard
{
public:
    static constexpr int CurrentStep = 2;
    static constexpr int VoltageStep = 3;
    static constexpr int StartStep = 4;
    static constexpr int ResultStep = 5;
    static constexpr int VoltageMinTenths = 50;
    static constexpr int VoltageMaxTenths = 500;

    /// Registers re-read after a finished or failed run, in request order.
    static const std::array<int, 18> &reReadRegisters();

    // --- State -----------------------------------------------------------------
    int step() const { return m_step; }
    bool running() const { return m_running; }
    /// Kind of the run going on or last run (None before any).
    TuningKind kind() const { return m_kind; }
    /// Last status byte evaluated.
    uint8_t status() const { return m_status; }

    // --- Controls ----------------------------------------------------------------
    bool nextEnabled() const;
    bool backEnabled() const;
    bool startEnabled(TuningKind button) const;
    QString startCaption(TuningKind button) const;
    QString runningText() const { return m_runningText; }
    /// The lines of MemoAutoTuning.
    QStringList resultLines() const { return m_lines; }
    bool currentValid() const { return m_currentValid; }

    /// The memo line of a run that its connection's close ended.
    static QString connectionClosedLine();

    // --- Connection and model ----------------------------------------------------
    /// Both start buttons follow the connection. A close during a run ends it
    /// (runEnded, the result page with connectionClosedLine()); nothing is
    /// re-read or written, the device is gone.
    WizardRequests setConnected(bool connected);
    /// Identification: "Start PID only" enabled, "Start PID + Predictive" as
    /// the model says.
    void identified(bool predictiveEnabled);
    /// Highest accepted current maximum, 16.16 amperes (the options window's
    /// MaxPeakCurrent).
    void setMaxPeakCurrent(int32_t raw);
    int32_t maxPeakCurrent() const { return m_maxPeakCurrent; }

    // --- Edits -----------------------------------------------------------------
    /// The current maximum's 16.16 value for \a text, or nullopt when refused:
    /// plain decimals only (no "nan", "inf", exponent), not negative, and
    /// value x 65,536 not above \a maxPeak (compared before truncation).
    static std::optional<int32_t> currentRaw(const QString &text, int32_t maxPeak);
    /// \a text cut to five decimals after the locale separator (unchanged
    /// when it has five or fewer).
    static QString cutCurrentText(const QString &text);
    /// 0x2E: tenths x 65,536 / 10 (integer division) when active, else -1.
    static int64_t outputVoltageRaw(int tenths, bool active);
    /// The current edit changed: its validity decides "Next ->" on step 2.
    void currentTextChanged(const QString &text);

    // --- Events ----------------------------------------------------------------
    /// FormShow: step 0 with the start captions reset, or step 4 with "Abort"
    /// while a run goes on.
    void formShown();
    /// "Next ->" with the edits' present contents.
    WizardRequests next(const QString &currentText, int voltageTenths, bool voltageActive);
    /// "<- Back".
    void back();
    /// A start button was clicked: a start when idle, an abort of its own run.
    WizardRequests startClicked(TuningKind button);
    /// A decoded status of 0x39. \a readable tells which registers the model
    /// grants for reading (only those are re-read).
    WizardRequests statusDecoded(uint8_t status, const std::function<bool(int)> &readable);

private:
    void showStep(int step);

    int m_step = 0;
    bool m_running = false;
    TuningKind m_kind = TuningKind::None;
    uint8_t m_status = 0;
    bool m_connected = false;
    bool m_pidEnabled = true;
    bool m_predictiveEnabled = true;
    bool m_currentValid = true;
    int32_t m_maxPeakCurrent = 0xF0000;
    QString m_runningText = QStringLiteral("----------");
    QStringList m_lines;
};

/// Puts \a requests into the session's register image in one hold of the
/// lock, with the sender's AutoTuningActive set to \a wizard's run state (and
/// the response recorder started or stopped with the run). An abort command
/// is an urgent write (QLMCSession::requestUrgentWrite): it goes out next and
/// is never judged. The other writes (0x2A, 0x2E, the run commands) go through
/// the rule book together: when it refuses one, its one-line reason is
/// returned and nothing else of \a requests is applied.
std::optional<QString> applyWizardRequests(QLMCSession &session, const AutoTuningWizard &wizard,
                                           const WizardRequests &requests);
