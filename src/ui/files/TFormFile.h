// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "files/ParameterFile.h"
#include "files/ParameterSave.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <array>
#include <functional>
#include <set>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLMCConnection;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class WindowContext;

/// The parameter-file window: saves the controller's registers to a file, opens,
/// views, compares and sends one. The file logic lives in src/files
/// (ParameterFile, ParameterApply, ParameterSave); this window builds the
/// controls and wires them.
class TFormFile : public ToolWindow, public ParameterSaveListener
{
    Q_OBJECT

public:
    /// Asks the user for a file name (\a save: a save dialog); empty when
    /// cancelled. Tests install their own.
    using Chooser = std::function<QString(QWidget *parent, bool save, const QString &filter)>;
    static Chooser setChooser(Chooser chooser);

    explicit TFormFile(WindowContext &context);
    ~TFormFile() override;

    /// The main menu's "Save...": the "Save file" group alone; with the
    /// connection open "Save" is enabled and the status reads "Ready",
    /// otherwise "Save" is disabled and the status asks to open it first.
    void showSaveGroup(bool connectionOpen);
    /// The main menu's "View..." / "Open...": the "Open file" group alone.
    void showOpenGroup();

    ParameterSave &save() { return m_saveProcedure; }

    // ParameterSaveListener
    void saveStatus(const QString &text) override;
    void savingIndicator(bool visible) override;
    void saveEnded(bool written, const QString &failure) override;

private:
    void BSaveClick();
    void BOpenClick();
    void BCompareClick();
    void BSendSelectedClick();
    bool openFile(const QString &path);
    void limitsArrived();
    void fillComparison();
    void updateOpenCaption();
    QLMCConnection *connection() const;
    bool connected() const;
    SaveGroups tickedGroups() const;

    WindowContext &m_context;
    ParameterSave m_saveProcedure;
    QGroupBox *m_openGroup;
    QGroupBox *m_saveGroup;
    QPushButton *m_save;
    QLabel *m_saveStatus;
    std::array<QCheckBox *, SaveGroupCount> m_groups{};
    QPushButton *m_open;
    QLabel *m_openStatus;
    QPlainTextEdit *m_memo;
    QPushButton *m_compare;
    QTreeWidget *m_diff;
    QPushButton *m_sendSelected;
    QTimer m_timerCompare; ///< 500 ms after the 0x5B answer of a comparison read-back
    ParameterFileContent m_compared;
    std::set<int> m_sentRows;
    QString m_sendSummary; ///< what the last send kept or refused
    enum class CompareState {
        Idle,
        ReadingDevice,
        ReadingBack
    } m_compareState = CompareState::Idle;
    bool m_connectionWired = false;
};
