// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/AutoTuningWizard.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <array>
#include <optional>
#include <vector>

class AutoTuningResultView;
class QCustomPlot;
class StepComparison;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class WindowContext;
struct ModelProfile;
class TFormRegOption;

/// The auto-tuning wizard window: warning, what changes, current maximum
/// (0x2A), output voltage maximum (0x2E), start/abort (0x39) and the result
/// with its lines, the response plot and the registers that changed. The
/// wizard's rules live in AutoTuningWizard; this window only wires controls.
///
/// Mirroring with the options window: the current edit, the voltage track bar
/// and its "Active" box announce user changes through currentMaxEdited(),
/// outputVoltageMaxMoved() and outputVoltageActiveClicked(); the slots
/// setCurrentMaxText(), setOutputVoltageMax() and setOutputVoltageActive()
/// take the other window's changes and render them with signals blocked, so
/// the two windows never bounce a change back and forth.
class TFormAutoTuning : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormAutoTuning(WindowContext &context);
    /// Mirrors the current maximum, the output voltage bar and its "Active"
    /// box with the options window, both ways.
    void attachOptions(TFormRegOption &options);

    const AutoTuningWizard &wizard() const { return m_wizard; }
    AutoTuningResultView *resultView() const { return m_result; }
    /// "Restore previous values": writes the "Before" value of every changed
    /// register a parameter file holds back, through the rule book.
    void BRestorePreviousClick();
    /// "Measure step": a step with the gains from before the run and one
    /// back with the run's gains, their figures side by side (StepComparison).
    /// Only ever started by this click.
    void BMeasureStepClick();
    StepComparison *stepComparison() const { return m_comparison; }
    /// The plot of the running tuning's response (PlotAutoTuningLive).
    QCustomPlot *livePlot() const { return m_livePlot; }

    void BNextClick();
    void BBackClick();
    void BStartPIDOnlyClick() { startClicked(TuningKind::PidOnly); }
    void BStartPIDPredClick() { startClicked(TuningKind::PidPredictive); }
    /// The display timer's tick: the decoded 0x39 is evaluated.
    void evaluateAutoTuning();

public slots:
    void setCurrentMaxText(const QString &text);
    void setOutputVoltageMax(int tenths);
    void setOutputVoltageActive(bool active);
    /// The highest accepted current maximum, 16.16 amperes (MaxPeakCurrent).
    void setMaxPeakCurrent(int raw);

signals:
    void currentMaxEdited(const QString &text);
    void outputVoltageMaxMoved(int tenths);
    void outputVoltageActiveClicked(bool active);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QGroupBox *makeStep(int step, const QString &title, const QStringList &lines);
    void render();
    void startClicked(TuningKind button);
    void apply(const WizardRequests &requests);
    void applyProfile(const ModelProfile &profile);
    void directValue(int value);
    void showVoltageLabel();
    void refreshResult();
    void renderMeasureButton();
    void ECurrentMaxChange(const QString &text);

    WindowContext &m_context;
    AutoTuningWizard m_wizard;
    std::array<QGroupBox *, 6> m_steps{};
    QLineEdit *m_currentMax;
    QSlider *m_voltage;
    QLabel *m_voltageLabel;
    QCheckBox *m_voltageActive;
    QPushButton *m_startPid;
    QPushButton *m_startPred;
    QLabel *m_running;
    QPlainTextEdit *m_memo;
    AutoTuningResultView *m_result;
    QCustomPlot *m_livePlot;
    StepComparison *m_comparison;
    bool m_connected = false;
    bool m_stepIsSpeed = false;
    QPushButton *m_back;
    QPushButton *m_next;
    QTimer m_timerDisplay;
    QTimer m_timerResult; ///< follows the response and the re-reads
    int m_resultTicks = 0;
    /// The re-read registers before the run: the value the device sent, or
    /// none when it sent none in this connection.
    struct BeforeValue
    {
        int address;
        std::optional<std::vector<uint8_t>> bytes;
    };
    std::vector<BeforeValue> m_before;
};
