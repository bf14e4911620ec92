#pragma once

#include <QList>

#include <memory>

class QWidget;
class TFormAbout;
class TFormAutoTuning;
class TFormCalibration;
class TFormChangeIPAdd;
class TFormEnhancedCmd;
class TFormFile;
class TFormFleet;
class TFormInformation;
class TFormIOState;
class TFormKRVRemote;
class TFormLimits;
class TFormMain;
class TFormParamIP;
class TFormRegOption;
class TFormRegWarning;
class TFormScanUDP;
class TFormTime;

/// The windows of the program (the sixteen, then the Fleet window): created
/// once, hidden, in their fixed order (the main window first), and destroyed
/// in the reverse order, so the
/// connection window and its sender thread are gone before the main window
/// releases the session they use.
class AppWindows
{
public:
    AppWindows();
    ~AppWindows();
    AppWindows(const AppWindows &) = delete;
    AppWindows &operator=(const AppWindows &) = delete;

    TFormMain &main() const { return *m_main; }
    TFormRegOption &regOption() const { return *m_regOption; }
    TFormRegWarning &regWarning() const { return *m_regWarning; }
    TFormAbout &about() const { return *m_about; }
    TFormAutoTuning &autoTuning() const { return *m_autoTuning; }
    TFormCalibration &calibration() const { return *m_calibration; }
    TFormChangeIPAdd &changeIPAdd() const { return *m_changeIPAdd; }
    TFormFile &file() const { return *m_file; }
    TFormInformation &information() const { return *m_information; }
    TFormLimits &limits() const { return *m_limits; }
    TFormEnhancedCmd &enhancedCmd() const { return *m_enhancedCmd; }
    TFormParamIP &paramIP() const { return *m_paramIP; }
    TFormScanUDP &scanUDP() const { return *m_scanUDP; }
    TFormIOState &ioState() const { return *m_ioState; }
    TFormKRVRemote &krvRemote() const { return *m_krvRemote; }
    TFormTime &time() const { return *m_time; }
    TFormFleet &fleet() const { return *m_fleet; }

    /// All of them, in creation order.
    QList<QWidget *> all() const;

private:
    std::unique_ptr<TFormMain> m_main;
    std::unique_ptr<TFormRegOption> m_regOption;
    std::unique_ptr<TFormRegWarning> m_regWarning;
    std::unique_ptr<TFormAbout> m_about;
    std::unique_ptr<TFormAutoTuning> m_autoTuning;
    std::unique_ptr<TFormCalibration> m_calibration;
    std::unique_ptr<TFormChangeIPAdd> m_changeIPAdd;
    std::unique_ptr<TFormFile> m_file;
    std::unique_ptr<TFormInformation> m_information;
    std::unique_ptr<TFormLimits> m_limits;
    std::unique_ptr<TFormEnhancedCmd> m_enhancedCmd;
    std::unique_ptr<TFormParamIP> m_paramIP;
    std::unique_ptr<TFormScanUDP> m_scanUDP;
    std::unique_ptr<TFormIOState> m_ioState;
    std::unique_ptr<TFormKRVRemote> m_krvRemote;
    std::unique_ptr<TFormTime> m_time;
    std::unique_ptr<TFormFleet> m_fleet;
};
