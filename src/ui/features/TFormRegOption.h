// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/SessionListener.h"
#include "features/OptionsModel.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <array>
#include <bitset>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class WindowContext;
struct ModelProfile;

/// The options window: the controller's option bits (0x2C, written at every
/// click) and its output limits: current maximum, output voltage, input
/// software limits, dissipation voltage and standby timer.
///
/// For the windows that mirror it: the limits window follows bit 5
/// (optionBit5Changed, clickBit), the auto-tuning window the current maximum
/// and the output-voltage bar and its "Active" box (currentMaxArrived,
/// outputVoltagePositionChanged, outputVoltageActiveChanged, and the slots
/// setOutputVoltagePosition, setOutputVoltageActive). Every signal is emitted
/// on the user-interface thread; none writes to the device by itself.
class TFormRegOption : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormRegOption(WindowContext &context);
    ~TFormRegOption() override;

    /// Highest current maximum accepted (16.16 A), the identified model's.
    int32_t maxPeakCurrent() const { return m_model.maxPeakCurrent(); }
    OptionsModel &model() { return m_model; }

public slots:
    /// A click on bit box \a bit from elsewhere (the limits window's bit-5
    /// box): the box takes \a checked and its click behaviour runs (one write
    /// of 0x2C).
    void clickBit(int bit, bool checked);
    /// Moves TBOutVoltageMax (tenths of a volt, 50..500); writes nothing.
    void setOutputVoltagePosition(int position);
    /// As a click on "Active" with \a active: the bar is enabled exactly when
    /// it is checked; writes nothing.
    void setOutputVoltageActive(bool active);
    /// Shows \a text in ECurrentMax (typed in a mirroring window) and checks
    /// it; writes nothing.
    void setCurrentMaxText(const QString &text);

signals:
    /// The user typed into ECurrentMax.
    void currentMaxEdited(const QString &text);
    /// Bit box 5 changed by a click or by the display.
    void optionBit5Changed(bool checked);
    /// 0x2A arrived and is shown with this text.
    void currentMaxArrived(const QString &text);
    /// TBOutVoltageMax moved (by the user, the decoder or setOutputVoltagePosition).
    void outputVoltagePositionChanged(int position);
    /// "Active" changed (click, 0x2E answer or setOutputVoltageActive); the
    /// output-voltage bars are enabled exactly when \a active.
    void outputVoltageActiveChanged(bool active);

private:
    QGroupBox *buildOptionGroup();
    QGroupBox *buildOutputsGroup();
    QGroupBox *buildInputGroup();
    QGroupBox *buildDissipationGroup();
    QGroupBox *buildStandbyGroup();
    void registerControls();
    void applyProfile(const ModelProfile &profile);
    void applyEnabledStates();
    OptionRegisters::Bits boxes() const;

    // Handlers.
    void BitCBClick(int bit);
    void ECurrentMaxChange();
    void BWriteOutputsMaxClick();
    void CBOutVoltageMaxClick(bool checked);
    void inputLimitChange(bool minEdited, bool typing);
    void BWriteInputLimitClick();
    void EStandbyTimerChange();
    void BWriteStandbyTimerClick();
    void TimerDisplayTimer();
    void displayOptions();
    void directValueArrived(SessionListener::DirectValue value);

    WindowContext &m_context;
    OptionsModel m_model;
    QTimer m_timerDisplay;

    std::bitset<32> m_profileBoxes;
    bool m_outputVoltageGroup = true;
    bool m_dissipationGroup = false;
    bool m_currentValid = true;
    bool m_standbyValid = true;
    OptionRegisters::InputLimitEdits m_inputEdits;

    std::array<QCheckBox *, OptionRegisters::BitCount> m_bits{};
    QPushButton *m_readOption = nullptr;
    QLabel *m_unusedNote = nullptr;
    QLineEdit *m_currentMax = nullptr;
    QGroupBox *m_outVoltageGroup = nullptr;
    QSlider *m_outVoltage = nullptr;
    QCheckBox *m_outVoltageActive = nullptr;
    QLabel *m_outVoltageValue = nullptr;
    QPushButton *m_readOutputs = nullptr;
    QPushButton *m_writeOutputs = nullptr;
    QLineEdit *m_inputMin = nullptr;
    QLineEdit *m_inputMax = nullptr;
    QPushButton *m_readInput = nullptr;
    QPushButton *m_writeInput = nullptr;
    QGroupBox *m_dissipationBox = nullptr;
    QSlider *m_dissipation = nullptr;
    QLabel *m_dissipationValue = nullptr;
    QPushButton *m_readDissipation = nullptr;
    QPushButton *m_writeDissipation = nullptr;
    QLineEdit *m_standby = nullptr;
    QPushButton *m_readStandby = nullptr;
    QPushButton *m_writeStandby = nullptr;
};
