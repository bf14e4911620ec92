// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QGroupBox>

class EnhancedCmdModel;
class QLineEdit;
class QPushButton;
struct EnhancedWriteResult;

/// The 0x4F group of the enhanced-command window (GBEnhancedParam, its caption
/// the trace): peak current and its duration, "Read" and "Write". The model
/// profile enables or disables the whole group.
class EnhancedParamGroup : public QGroupBox
{
    Q_OBJECT

public:
    EnhancedParamGroup(EnhancedCmdModel &model, QWidget *parent);

    void render();

signals:
    void readRequested();
    /// "Copy": the tarvine-cli line that writes the caption's bytes.
    void copyRequested();
    void written(const EnhancedWriteResult &result);

private:
    EnhancedCmdModel &m_model;
    QLineEdit *m_peak = nullptr;
    QLineEdit *m_duration = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_copy = nullptr;
};
