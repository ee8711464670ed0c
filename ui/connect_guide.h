// CConnectGuideWnd: the connection guide ("connectguide" of the main skin). Mode 0 walks the user
// from a silent watch to one in download mode (USB scan, driver repair, model choice, key
// instruction, the wait for the flash); mode 1 only asks for a restart by hand.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "shell/ini_files.h"
#include "ui/uifeature_window.h"

namespace TVSP {

// What the guide asks of the main window.
class IGuideOwner {
public:
    virtual ~IGuideOwner() = default;
    // The guide leaves: its owner closes it and destroys it a little later.
    virtual void LeaveGuide() = 0;
    // The flash display the guide started is given up.
    virtual void FinishFlashDisplay() = 0;
    // The user named the watch's model: it becomes the watch's, and its newest firmware is
    // asked for at once (on the calling thread).
    virtual void ChooseGuideModel(const std::string& modelKey) = 0;
    // The watch is about to appear in download mode: guided mode on, the package fetched on the
    // calling thread, the wait for the download port limited.
    virtual void StartGuidedWait() = 0;
    virtual void OpenGuidePage(Config::WebPage page) = 0;
};

// The guide's own states.
enum class GuideState { Guiding = 0, RepairingDriver = 1, WaitingForFlash = 2 };

// Timers of the guide's window.
enum : UINT_PTR {
    kTimerGuideAnimation = 1000,  // every 2 s: the repair picture turns while a repair runs
    kTimerGuideRepairFailed = 1001,  // armed by a repair that did not succeed at once
};

// The open guide's window, for whoever must address it from elsewhere in the process (null
// while none is open).
HWND PublishedGuideWindow();

class CConnectGuideWnd final : public CUiFeatureWindow {
public:
    enum class Mode { Guide = 0, RestartPrompt = 1 };

    explicit CConnectGuideWnd(IGuideOwner& owner) : owner_(owner) {}
    ~CConnectGuideWnd() override;

    void SetMode(Mode mode) { mode_ = mode; }
    Mode GetMode() const { return mode_; }
    // Creates the skin window "connectguide" on the calling thread, centred at its natural size.
    [[nodiscard]] bool Create(DWORD mainThreadId);

    int UIF_CALL OnControlMessage(IControlBase* sender, int code, WPARAM value1, LPARAM value2) override;

    GuideState State() const { return state_; }
    bool IsDeviceFound() const { return deviceFound_; }
    bool HasStartedFlash() const { return flashStarted_; }
    int RepairFailures() const { return repairFailures_; }
    // True while one of its handlers runs (a box it shows lets messages through): the owner then
    // destroys it later.
    bool IsBusy() const { return busy_ > 0; }
    // Timers as the system would deliver them (tests).
    void FireTimerForTesting(UINT_PTR id) { OnTimer(id); }

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCreated() override;
    void OnKeyDown(WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR timerId) override;
    LRESULT OnDestroy() override;

private:
    void ShowPanel(const char* name, bool shown);
    void SetControlText(const char* name, const wchar_t* text);
    void Leave();
    int Say(const wchar_t* text, UINT flags);
    void ShowModelPage(int index);
    void UncheckModels();
    void StepRepairPicture(int state);
    bool WatchAnswers() const;

    // Commands.
    void NoResponse();
    void SelectModelNext();
    void Next();
    void RepairAgain();
    void TestRepairPicture();
    // Messages of the USB scan.
    void OnDeviceFound(bool usable);
    void RepairDriver();
    void OnRepairFailed();

    IGuideOwner& owner_;
    Mode mode_ = Mode::Guide;
    std::atomic<GuideState> state_{GuideState::Guiding};
    bool deviceFound_ = false;
    DWORD mainThreadId_ = 0;
    bool flashStarted_ = false;
    int repairFailures_ = 0;
    int pageIndex_ = 0;
    bool closing_ = false;  // left: a timer still due finds nothing to do
    std::atomic<int> busy_{0};
};

}  // namespace TVSP
