// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/EnhancedCommandCodec.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QLMCSession;
struct EnhancedCmdRecord;

/// The controls of the "Enhanced cmd / Loops" window as plain values: what the
/// user typed and checked, and what the window shows (colours, enables,
/// captions). EnhancedCmdModel changes it; the window renders it.
struct EnhancedCmdControls
{
    // --- 0x4D ------------------------------------------------------------------
    QString goalText = QStringLiteral("0");    ///< EECEnhancedGoal
    bool goalEnabled = true;                   ///< EECEnhancedGoal and its caption
    bool goalRed = false;
    QString counterText = QStringLiteral("0"); ///< EECCounterLoops
    bool counterEnabled = true;
    bool counterRed = false;
    /// The checked function: 0 for RBECCounterLoops, else 101..117 (RBEC101..117).
    int selection = 0;
    bool goalInPulses = true;   ///< RBECOptionEnGoalInPulses
    bool goalInPercent = false; ///< RBECOptionEnGoalInPercent
    bool peakCurrent = false;   ///< CBECOptionPeakCurrent
    bool absolute = false;      ///< CBECOptionNoLoopsMode ("Absolute value")
    /// The model offers the option (its box enabled); one not offered stays clear.
    bool peakCurrentOffered = true;
    bool absoluteOffered = true;
    /// Absolute mode as the last EnGoal check saw it: the counter-loops texts and
    /// LEC101..106, LEC112..115 are drawn grey, LEC110/111 say "movement".
    bool greyed = false;
    bool writeCommandEnabled = true; ///< BWriteEnhancedCmd
    bool readCommandEnabled = true;  ///< BReadEnhancedCmd
    /// BCopyEnhancedCmd: every edit of the group valid, the caption its bytes.
    bool copyCommandEnabled = true;
    QString commandTrace;            ///< GBEnhancedCmd caption
    QString commandWritten;          ///< LEnhancedCmdWritten
    bool commandTracesRed = false;   ///< both traces differ after a write

    // --- 0x4E ------------------------------------------------------------------
    QString pulsesText = QStringLiteral("0");      ///< ELCPulses
    QString numeratorText = QStringLiteral("0");   ///< ELCNumerator
    QString denominatorText = QStringLiteral("0"); ///< ELCDenominator
    bool pulsesRed = false;
    bool numeratorRed = false;
    bool denominatorRed = false;
    QString totalText = QStringLiteral("0.000"); ///< LLCPlusesFloat
    bool writeLoopsEnabled = false;              ///< BWriteLoopsConfig
    bool readLoopsEnabled = true;                ///< BReadLoopsConfig
    bool copyLoopsEnabled = false;               ///< BCopyLoopsConfig
    QString loopsTrace;                          ///< GBLoopsConfig caption
    QString loopsWritten;                        ///< LEnhancedRangeConfigWritten
    bool loopsTracesRed = false;

    // --- 0x4F ------------------------------------------------------------------
    QString peakText = QStringLiteral("0");     ///< EECPeakCurrent
    QString durationText = QStringLiteral("0"); ///< EECTimePeakCurrent
    bool peakRed = false;
    bool durationRed = false;
    bool paramsGroupEnabled = true; ///< GBEnhancedParam (model profile)
    bool writeParamsEnabled = true; ///< BWriteEnhancedParam
    bool readParamsEnabled = true;  ///< BReadEnhancedParam
    bool copyParamsEnabled = true;  ///< BCopyEnhancedParam
    QString paramsTrace;            ///< GBEnhancedParam caption
    QString paramsWritten;          ///< LEnhancedParamWritten
    bool paramsTracesRed = false;
};

/// What a Write did: the bytes requested (none when refused) and the report.
struct EnhancedWriteResult
{
    std::vector<uint8_t> bytes;
    QString report; ///< "Bad Input value, write aborted." and the like; empty when written
    bool written() const { return !bytes.empty(); }
};

/// The behaviour of the enhanced-command window: the change and click
/// handlers of its three groups, the Writes and the displays of read values,
/// over EnhancedCmdControls. Handlers that check a button "from code" run
/// that button's click here, in the window's order, so the window only
/// renders the end state. Writes go to the session under its RegisterLock;
/// reports go to LogMessage. Used on one thread (the user-interface thread,
/// or the command-line tool's).
///
/// A group's caption shows its bytes only while every edit of the group is
/// valid, and they are the bytes its Write sends; otherwise "--", with Copy
/// and Write disabled. Read and Write also need the connection and the
/// model's access to the register; a Write that cannot go out is refused and
/// shows nothing as written.
class EnhancedCmdModel
{
public:
    using Command = EnhancedCommandCodec::Command;
    using Loops = EnhancedCommandCodec::Loops;
    using Params = EnhancedCommandCodec::Params;

    /// Reports of the Writes and the display (also logged).
    static constexpr const char *BadInput = "Bad Input value, write aborted.";
    static constexpr const char *BadCounter = "Bad Counter value, write aborted.";
    static constexpr const char *BadValues = "Bad values, write aborted.";
    static constexpr const char *BadFunctionRead = "Bad Loops counter value read";
    static constexpr const char *NotSent =
        "No connection or no write access to the register, write aborted.";
    /// The longest text any check reads; longer texts are refused unread.
    static constexpr qsizetype MaxTextLength = 12;

    /// \a session may be null: Writes then only compose (tests, fuzzing).
    explicit EnhancedCmdModel(QLMCSession *session = nullptr);

    const EnhancedCmdControls &controls() const { return m_c; }

    // --- Connection and model ------------------------------------------------------
    /// Read and Write need the connection; the window follows it. A model that
    /// is never told (the command-line tool, which writes over its open link
    /// only) counts as connected.
    void setConnected(bool connected);
    /// Takes the access of 0x4D..0x4F from the session's register image (at
    /// every switch of the connection and every identification). Until then,
    /// and without a session, all three are granted.
    void refreshAccess();
    /// The options the model offers: one not offered is cleared, ignored when
    /// read and never sent.
    void setOptionsOffered(bool peakCurrent, bool absolute);

    // --- 0x4D: typing and clicks -------------------------------------------------
    void goalTextChanged(const QString &text);    ///< EECEnhancedGoalChange
    void counterTextChanged(const QString &text); ///< EECCounterLoopsChange
    void counterLoopsClicked();                   ///< RBECCounterLoopsClick (also its labels and edit)
    void commandClicked(int code);                ///< RBEC101Click..RBEC117Click, LEC101..117
    void goalInPulsesClicked();
    void goalInPercentClicked();
    void peakCurrentClicked(bool checked);
    void absoluteClicked(bool checked);
    /// "Write" of 0x4D.
    EnhancedWriteResult writeCommand();
    /// A read 0x4D is shown; returns false when its function byte was unknown
    /// ("Bad Loops counter value read", the selection kept).
    bool displayCommand(const Command &received);

    // --- 0x4E ----------------------------------------------------------------------
    void pulsesTextChanged(const QString &text);      ///< ELCPulsesChange
    void numeratorTextChanged(const QString &text);   ///< ELCNumeratorChange
    void denominatorTextChanged(const QString &text); ///< ELCDenominatorChange
    EnhancedWriteResult writeLoops();
    void displayLoops(const Loops &received);

    // --- 0x4F ----------------------------------------------------------------------
    void peakTextChanged(const QString &text);     ///< EECPeakCurrentChange
    void durationTextChanged(const QString &text); ///< EECTimePeakCurrentChange
    EnhancedWriteResult writeParams();
    void displayParams(const Params &received);
    /// The model profile enables or disables the 0x4F group.
    void setParamsGroupEnabled(bool enabled);

    /// Shows every read field of \a record (the three displays).
    void displayAll(const EnhancedCmdRecord &record);

    const Command &composedCommand() const { return m_command; }
    const Loops &composedLoops() const { return m_loops; }
    const Params &composedParams() const { return m_params; }

    // --- Checks shared with the command-line tool ------------------------------
    /// EnGoal in pulses: a signed integer text of at most 10 digits within
    /// +-1,000,000,000.
    static std::optional<int32_t> parsePulsesGoal(const QString &text);
    /// EnGoal in percent: at most 7 characters, no sign, 0..100; the 24-bit EnGoal.
    static std::optional<uint32_t> parsePercentGoal(const QString &text);
    /// Counter loops as typed: at most 4 characters, -99..99.
    static std::optional<int> parseCounter(const QString &text, int limit = 99);
    /// A 0x4E field: at most 10 digits, no sign, 0..4,294,967,295.
    static std::optional<uint32_t> parseLoopsField(const QString &text);
    /// Peak current: at most 7 characters, no sign; 1/256 A that fit 16 bits.
    static std::optional<uint16_t> parsePeak(const QString &text);
    /// Duration: at most 5 digits, 0..65,535 ms.
    static std::optional<uint16_t> parseDuration(const QString &text);

    /// The rule book's reason when the last write was refused (nothing was
    /// sent), empty otherwise.
    const QString &refusal() const { return m_refusal; }

private:
    struct Access
    {
        bool readable = true;
        bool writable = true;
    };
    enum Group { CommandGroup, LoopsGroup, ParamsGroup };

    void showCommandTrace(bool valid, bool keepOptions);
    /// After every 0x4D event: the composed goal, the caption and the buttons.
    void finishCommand();
    void finishParams();
    void updateEnables();
    /// EnGoal as the Write takes it from the edit (also while disabled).
    std::optional<int32_t> goalValue() const;
    void checkGoal();
    void checkCounter();
    void checkLoops();
    void showParamsTrace(bool valid);
    uint8_t optionsFromControls() const;
    /// Requests the write; false (nothing requested) without the connection,
    /// the register's write access or the rule book's consent (refusal()).
    bool requestWrite(int address, std::span<const uint8_t> bytes);
    EnhancedWriteResult refused(int line, const char *function, const char *text);
    QString m_refusal;
    void report(int line, const char *function, const char *text);

    QLMCSession *m_session;
    bool m_connected = true;
    std::array<Access, 3> m_access{};
    EnhancedCmdControls m_c;
    Command m_command;
    Loops m_loops{0, 0, 0};
    Params m_params;
};
