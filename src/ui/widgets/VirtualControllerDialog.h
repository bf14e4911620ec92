// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimController.h"
#include "sim/SimModel.h"

#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;

/// What the user chose for a virtual controller: the model, how the tool
/// reaches it and, behind a gateway, the I2C addresses of its modules.
struct VirtualControllerChoice
{
    SimModel model;
    int comMode = 0;          ///< ComModes: TCP direct, UDP or TCP gateway
    std::vector<int> modules; ///< gateway only, in the order typed; the first is opened
    SimAutoTuneOutcome autoTuning = SimAutoTuneOutcome::Success; ///< outcome of tuning runs
};

/// The dialog of the Communication menu's "Virtual controller..." item: a
/// model preset, the connection kind and the gateway's module addresses.
class VirtualControllerDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxModules = 16;

    explicit VirtualControllerDialog(QWidget *parent = nullptr);

    /// The choice shown; nullopt while the module list is not valid.
    std::optional<VirtualControllerChoice> choice() const;
    /// Selects the preset named \a name; false when there is none.
    bool selectModel(const QString &name);
    void selectComMode(int comMode);
    void setModulesText(const QString &text);
    /// Selects the outcome of the virtual controller's auto-tuning runs.
    void selectAutoTuning(SimAutoTuneOutcome outcome);

    /// Module addresses "16,17" (commas or spaces): 1 to MaxModules distinct
    /// addresses in 1..127; nullopt otherwise.
    static std::optional<std::vector<int>> parseModules(const QString &text);

private:
    void modelChanged(int index);
    void updateState();

    QComboBox *m_model;
    QComboBox *m_autoTuning;
    QRadioButton *m_tcp;
    QRadioButton *m_udp;
    QRadioButton *m_gateway;
    QLineEdit *m_modules;
    QDialogButtonBox *m_buttons;
};
