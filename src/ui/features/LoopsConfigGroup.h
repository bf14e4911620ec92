// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QGroupBox>

class EnhancedCmdModel;
class QLabel;
class QLineEdit;
class QPushButton;
struct EnhancedWriteResult;

/// The 0x4E group of the enhanced-command window (GBLoopsConfig, its caption
/// the trace): pulses per loop as an integer part and a fraction, the total,
/// "Read" and "Write".
class LoopsConfigGroup : public QGroupBox
{
    Q_OBJECT

public:
    LoopsConfigGroup(EnhancedCmdModel &model, QWidget *parent);

    void render();
    /// The model profile's captions ("Pulses :" or "µStep :", and the total's).
    void applyProfile(const QString &pulsesLabel, const QString &totalLabel);

signals:
    void readRequested();
    /// "Copy": the tarvine-cli line that writes the caption's bytes.
    void copyRequested();
    void written(const EnhancedWriteResult &result);

private:
    EnhancedCmdModel &m_model;
    QLabel *m_pulsesCaption = nullptr;
    QLabel *m_totalCaption = nullptr;
    QLineEdit *m_pulses = nullptr;
    QLineEdit *m_numerator = nullptr;
    QLineEdit *m_denominator = nullptr;
    QLabel *m_total = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_copy = nullptr;
};
