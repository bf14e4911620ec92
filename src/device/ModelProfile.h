// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/DeviceIdentity.h"
#include "device/RegisterTable.h"

#include <QString>

#include <array>
#include <bitset>
#include <cstdint>

class QLMCIPMotor;

/// Product family of an identified controller.
enum class ModelFamily : uint8_t {
    Unknown,    ///< refused type code
    EthernetDC, ///< type 2
    EthernetEC, ///< type 6
    BusDC,      ///< type 3, behind an Ethernet-to-I2C gateway
    BusEC,      ///< type 25
    Stepper,    ///< type 43
};

/// The sixteen homing types of the calibration window that every identification
/// starts from, index 0..15.
std::array<QString, 16> defaultHomingTypes();

/// Read and write permission of one register.
struct RegisterAccess
{
    bool readable = false;
    bool writable = false;
    friend bool operator==(const RegisterAccess &, const RegisterAccess &) = default;
};

/// Everything the identification of a controller decides: its model, the
/// register access it grants and how every window adapts to it. A
/// default-constructed profile is the pulse-based default that every
/// identification starts from (no feed-forward, nothing granted).
struct ModelProfile
{
    // --- Identity -------------------------------------------------------------
    DeviceIdentity identity;
    /// False for a type code the tool does not support: the connection is to
    /// be closed and refusalText shown.
    bool known = false;
    QString modelName; ///< empty for a refused type or an unlisted sub-type
    ModelFamily family = ModelFamily::Unknown;
    bool feedForward = false;
    /// Highest current maximum (0x2A) the options and auto-tuning windows accept,
    /// 16.16 amperes.
    int32_t maxPeakCurrent = 0xF0000;
    /// Stepper: positions and speeds are in micro-steps (main window StepperUnits).
    bool stepperUnits = false;

    // --- Messages and caption -------------------------------------------------
    /// A model or sub-type newer than this tool knows: show warningText with a
    /// warning icon and warningTitle.
    bool showWarning = false;
    QString warningTitle;
    QString warningText;
    /// Shown with a warning icon when known is false.
    QString refusalTitle;
    QString refusalText;
    /// Main window caption (also set for a refused type, with an empty name).
    QString caption;

    // --- Register access ------------------------------------------------------
    /// Final access of every register slot, indexed by address 0x00..0x64.
    std::array<RegisterAccess, RegisterCount> access{};

    bool isReadable(int address) const;
    bool isWritable(int address) const;

    // --- Main window ----------------------------------------------------------
    struct Titles
    {
        QString acceleration = QStringLiteral("0x40-Acc [p/s\u00B2]");
        QString deceleration = QStringLiteral("0x41-Dec [p/s\u00B2]");
        QString topSpeed = QStringLiteral("0x42-Top spd [p/s]");
        QString position = QStringLiteral("0x26-Position [p]");
        QString speed = QStringLiteral("0x28-Speed [p/s]");
        QString desired = QStringLiteral("0x30-Desired state [p/s]");
    };
    Titles titles;

    /// Enabled state of the regulation-parameter controls (title, track bar, edit).
    struct RegulationControls
    {
        /// CBPredictiveActive and the VffOffset, Kvff, Kaff, Kdff controls.
        bool feedForward = false;
        bool kp = true;
        bool ki = true;
        bool kd = true;
        bool antiResetWindup = true;
        bool acceleration = true;
        bool deceleration = true;
        bool topSpeed = true;
        bool deadZone = true;
        bool encoderRatio = true;
    };
    RegulationControls regulation;

    /// Enabled state of the mode radio buttons, indexed by the regulation-mode
    /// value: RBDrvStop 0, RBDrvOpen 1, RBOpenLoop 2, RBWaitMode 3, RBSpePID 4,
    /// RBTraj 5, RBStandBy 6.
    std::array<bool, 7> modeButtons{true, true, true, true, true, true, false};

    bool currentSenseTabVisible = false; ///< TabSheetCurrentSense
    int firstGraphPage = 0;              ///< page of PageControlGraph shown after identification

    /// Enabled state of main menu items.
    struct Menus
    {
        bool loopTime = true;    ///< MenuLoopTime
        bool autoTuning = false; ///< MenuAutotuning
        bool loopsInput = false; ///< MenuLoopsInput
        bool ioState = false;    ///< MenuIOstate
    };
    Menus menus;

    /// Status bar panels 6, 7 and 8 until their registers are read.
    struct StatusTexts
    {
        QString timeInService = QStringLiteral("-- [s]");
        QString powerUps = QStringLiteral("#PUp : -");
        QString temperature = QStringLiteral("-- [\u00B0C]");
    };
    StatusTexts statusTexts;

    // --- Tool windows ---------------------------------------------------------
    /// Auto-tuning window: BStartPIDPred enabled.
    bool autoTuningPredictiveEnabled = false;

    /// Enhanced command / loops window.
    struct EnhancedCommand
    {
        QString goalInPulsesText =
            QStringLiteral("EnGoal in pulses [B0 to B3]"); ///< RBECOptionEnGoalInPulses
        QString pulsesLabel = QStringLiteral("Pulses :");
        QString totalPulsesLabel = QStringLiteral("Total pulses per loop :");
        bool peakCurrentEnabled = true;    ///< CBECOptionPeakCurrent
        bool enhancedParamsEnabled = true; ///< the enhanced-parameter group (0x4F)
        bool noLoopsOptionEnabled = false; ///< CBECOptionNoLoopsMode
    };
    EnhancedCommand enhanced;

    /// Calibration (homing) window.
    struct Homing
    {
        std::array<QString, 16> types = defaultHomingTypes(); ///< ComboBHomingType items
        int selectedType = 0;
        bool startInputEnabled = false; ///< the 0x47 start-input controls
    };
    Homing homing;

    /// Warning window: caption label LBit<k> enabled, for the even bits k = 0..30.
    std::bitset<32> warningCaptions;
    /// Options window: check box CBBit<k> enabled, for option bits k = 0..24.
    std::bitset<32> optionBoxes;
    bool outputVoltageMaxEnabled = true;    ///< 0x2E controls
    bool dissipationVoltageEnabled = false; ///< 0x2F controls

    ModelProfile();
};

/// Identifies the controller from the values of its registers 0x00 Type and
/// 0x01 Version and returns the resulting profile. Pure: it reads nothing else.
ModelProfile identifyDevice(uint32_t deviceType, uint32_t deviceVersion);

/// Sets Readable and Writable of all 101 registers of \a motor from \a profile,
/// in one hold of the motor's RegisterLock.
void applyRegisterAccess(const ModelProfile &profile, QLMCIPMotor &motor);
