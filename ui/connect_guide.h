// CConnectGuideWnd: the connection guide ("connectguide" of the main skin), here as the prompt to
// restart the watch by hand; its owner decides what leaving means.
#pragma once

#include <windows.h>

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

protected:
    void OnCreated() override;
    void OnKeyDown(WPARAM wParam, LPARAM lParam) override;
    LRESULT OnDestroy() override;

private:
    void ShowPanel(const char* name, bool shown);
    void Leave();

    IGuideOwner& owner_;
    Mode mode_ = Mode::Guide;
    DWORD mainThreadId_ = 0;
};

}  // namespace TVSP
