// CConnectGuideWnd: creation, the panels and pages, the commands, the USB scan's messages and the
// driver repair, and the ways of leaving it.
#include "ui/connect_guide.h"

#include <array>

#include "base/program_files.h"
#include "base/user_caption.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "device/driver_repair.h"
#include "device/usb_tree_scan.h"
#include "engine/at_channel.h"
#include "engine/watch_ports.h"
#include "ui/guide_rules.h"
#include "ui/user_texts.h"

namespace TVSP {
namespace {

std::atomic<HWND> g_publishedGuide{nullptr};
// The diagnostic button's step, shared by every guide of the process.
std::atomic<int> g_repairPictureTestState{0};

constexpr UINT kAnimationPeriodMs = 2000;
constexpr UINT kRepairRetryMs = 120000;

const char* const kPanels[] = {"connecthint", "driver",     "restartwatch",  "waitingforflashing",
                               "repairfail",  "selectmodel", "prompt_restart"};
const char* const kModelPages[] = {"page1", "page2", "page3"};

constexpr int kButtonClicked = static_cast<int>(UIF_MSG_BUTTON_CLICKED);
constexpr int kRadioChosen = static_cast<int>(UIF_MSG_RADIO_CHOSEN);
constexpr int kLinkClicked = static_cast<int>(UIF_MSG_LINK_CLICKED);

// Marks the guide busy while one of its handlers runs: a box it shows lets messages through, and
// the owner must not destroy the guide under the handler meanwhile.
class BusyScope {
public:
    explicit BusyScope(std::atomic<int>& depth) : depth_(depth) { ++depth_; }
    ~BusyScope() { --depth_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::atomic<int>& depth_;
};

}  // namespace

HWND PublishedGuideWindow() { return g_publishedGuide.load(); }

CConnectGuideWnd::~CConnectGuideWnd() {
    HWND own = hwnd_;
    g_publishedGuide.compare_exchange_strong(own, nullptr);
}

bool CConnectGuideWnd::Create(DWORD mainThreadId) {
    mainThreadId_ = mainThreadId;
    const std::wstring skin = ProgramFolderFile(ProgramFiles::kMainSkin);
    if (skin.empty()) return false;
    return CreateSkinnedWindow(ProgramFiles::kSkinKernel, skin.c_str(), "connectguide", nullptr, 0, 0, 0, 0,
                               SW_SHOW, WS_THICKFRAME, nullptr, false);
}

void CConnectGuideWnd::ShowPanel(const char* name, bool shown) {
    if (IControlBase* panel = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        panel->SetVisible(shown ? TRUE : FALSE, TRUE);
    }
}

void CConnectGuideWnd::SetControlText(const char* name, const wchar_t* text) {
    if (IControlBase* control = skinWindow_ ? skinWindow_->FindControl(name) : nullptr) {
        control->SetText(WideToAnsi(text).c_str());
        control->Redraw();
    }
}

void CConnectGuideWnd::OnCreated() {
    for (const char* panel : kPanels) ShowPanel(panel, false);
    if (mode_ == Mode::RestartPrompt) {
        ShowPanel("prompt_restart", true);
        SetControlText("title", UiTexts::kRestartPromptTitle);
    } else {
        ShowPanel("connecthint", true);
        SetControlText("title", UiTexts::kConnectGuideTitle);
    }
    g_publishedGuide = hwnd_;
    UncheckModels();
    ::SetTimer(hwnd_, kTimerGuideAnimation, kAnimationPeriodMs, nullptr);
    if (auto* prev = Find<ICtrlButton>("prev_page")) prev->SetEnabled(FALSE);
    if (auto* next = Find<ICtrlButton>("next_page")) next->SetEnabled(TRUE);
    ShowPanel("page1", true);
    ShowPanel("page2", false);
}

LRESULT CConnectGuideWnd::OnDestroy() {
    HWND own = hwnd_;
    g_publishedGuide.compare_exchange_strong(own, nullptr);
    return CUiFeatureWindow::OnDestroy();
}

LRESULT CConnectGuideWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    BusyScope busy(busy_);
    if (msg == WM_GUIDE_DEVICE_FOUND) {
        OnDeviceFound(wParam != 0);
        return 0;
    }
    if (msg == WM_GUIDE_REPAIR_DRIVER) {
        RepairDriver();
        return 1;
    }
    return CUiFeatureWindow::HandleMessage(msg, wParam, lParam);
}

void CConnectGuideWnd::Leave() {
    closing_ = true;
    if (HasWindow()) {
        ::KillTimer(hwnd_, kTimerGuideAnimation);
        ::KillTimer(hwnd_, kTimerGuideRepairFailed);
    }
    owner_.LeaveGuide();
}

int CConnectGuideWnd::Say(const wchar_t* text, UINT flags) { return ::MessageBoxW(hwnd_, text, kMessageCaption, flags); }

bool CConnectGuideWnd::WatchAnswers() const {
    const int port = FindWatchPort();
    return port != 0 && Ping(port);
}

void CConnectGuideWnd::OnKeyDown(WPARAM wParam, LPARAM lParam) {
    if (wParam == VK_ESCAPE) {
        Leave();
        return;
    }
    CUiFeatureWindow::OnKeyDown(wParam, lParam);
}

void CConnectGuideWnd::OnTimer(UINT_PTR timerId) {
    if (timerId == kTimerGuideAnimation) {
        if (state_ == GuideState::RepairingDriver) StepRepairPicture(kRepairPictureBusyState);
    } else if (timerId == kTimerGuideRepairFailed) {
        if (HasWindow()) ::KillTimer(hwnd_, timerId);
        if (!closing_) OnRepairFailed();
    } else {
        CUiFeatureWindow::OnTimer(timerId);
    }
}

// ---- pages ---------------------------------------------------------------------------------

void CConnectGuideWnd::UncheckModels() {
    for (const char* name : kGuideModelRadios) {
        if (auto* radio = Find<ICtrlRadioBox>(name)) radio->SetChecked(FALSE);
    }
}

void CConnectGuideWnd::ShowModelPage(int index) {
    if (const auto view = ComputeGuidePageView(index)) {
        if (auto* prev = Find<ICtrlButton>("prev_page")) prev->SetEnabled(view->prevEnabled ? TRUE : FALSE);
        if (auto* next = Find<ICtrlButton>("next_page")) next->SetEnabled(view->nextEnabled ? TRUE : FALSE);
        for (std::size_t i = 0; i < std::size(kModelPages); ++i) ShowPanel(kModelPages[i], view->pageShown[i]);
    }
    UncheckModels();
}

void CConnectGuideWnd::StepRepairPicture(int state) {
    auto* picture = Find<ICtrlStaticBox>("repairdriver");
    if (!picture || !skinWindow_) return;
    picture->SetImageState(state);
    skinWindow_->RedrawControl(picture);
}

// ---- commands ------------------------------------------------------------------------------

int UIF_CALL CConnectGuideWnd::OnControlMessage(IControlBase* sender, int code, WPARAM, LPARAM) {
    BusyScope busy(busy_);
    if (!sender) return 0;
    const char* name = sender->GetName();
    if (!name) return 0;
    const auto is = [name](const char* control) { return ::lstrcmpiA(name, control) == 0; };

    if (code == kRadioChosen) {
        for (const char* radio : kGuideModelRadios) {
            if (!is(radio)) continue;
            UncheckModels();
            if (auto* chosen = Find<ICtrlRadioBox>(radio)) chosen->SetChecked(TRUE);
            break;
        }
        return 0;
    }
    if (code != kButtonClicked && code != kLinkClicked) return 0;

    if (is("close")) {
        if (flashStarted_) {
            owner_.FinishFlashDisplay();
            flashStarted_ = false;
        }
        Leave();
    } else if (is("noresponse")) {
        NoResponse();
    } else if (is("test")) {
        TestRepairPicture();
    } else if (is("cancel")) {
        owner_.FinishFlashDisplay();
        Leave();
    } else if (is("next")) {
        Next();
    } else if (is("gotoforum")) {
        owner_.OpenGuidePage(Config::WebPage::ConnectionHelp);
        Leave();
    } else if (is("repairagain")) {
        RepairAgain();
    } else if (is("selectmodelnext")) {
        SelectModelNext();
    } else if (is("next_page")) {
        ShowModelPage(++pageIndex_);
    } else if (is("prev_page")) {
        ShowModelPage(--pageIndex_);
    } else if (is("normal_adv_diff")) {
        owner_.OpenGuidePage(Config::WebPage::EditionComparison);
    } else if (is("i_known")) {
        Leave();
    }
    return 0;
}

void CConnectGuideWnd::NoResponse() {
    // The scan reports through messages handled right here, before it goes on.
    ScanUsbHubs(hwnd_);
    if (deviceFound_) return;
    if (WatchAnswers()) {
        Say(UiTexts::kUseOneKeyUpgrade, MB_OK | MB_ICONWARNING);
        Leave();
        return;
    }
    ShowPanel("connecthint", false);
    ShowPanel("selectmodel", true);
    pageIndex_ = 0;
    ShowModelPage(pageIndex_);
}

void CConnectGuideWnd::SelectModelNext() {
    std::array<bool, kGuideModelRadios.size()> checked{};
    for (std::size_t i = 0; i < kGuideModelRadios.size(); ++i) {
        auto* radio = Find<ICtrlRadioBox>(kGuideModelRadios[i]);
        checked[i] = radio && radio->IsChecked();
    }
    const GuideModelChoice choice = ResolveGuideModelChoice(checked);
    if (choice.kind != GuideModelChoice::Kind::Model) {
        Say(choice.message, MB_OK);
        return;
    }
    owner_.ChooseGuideModel(choice.modelKey);
    ShowPanel("selectmodel", false);
    ShowPanel("restartwatch", true);
    SetControlText("pressdownkey", choice.instruction);
}

void CConnectGuideWnd::Next() {
    if (WatchAnswers()) {
        Say(UiTexts::kUseOneKeyUpgrade, MB_OK | MB_ICONWARNING);
        Leave();
        return;
    }
    ShowPanel("restartwatch", false);
    ShowPanel("waitingforflashing", true);
    state_ = GuideState::WaitingForFlash;
    owner_.StartGuidedWait();
    flashStarted_ = true;
}

void CConnectGuideWnd::RepairAgain() {
    ShowPanel("repairfail", false);
    ShowPanel("driver", true);
    SetControlText("text", UiTexts::kRepairingDriver);
    ::PostMessageW(hwnd_, WM_GUIDE_REPAIR_DRIVER, 0, 0);
}

void CConnectGuideWnd::TestRepairPicture() {
    // Steps through every state of the picture in one go, as a check of the drawing.
    for (int state = g_repairPictureTestState.load(); state <= kRepairPictureLastTestState;
         state = ++g_repairPictureTestState) {
        StepRepairPicture(state);
    }
}

// ---- the USB scan's messages and the driver repair ------------------------------------------

void CConnectGuideWnd::OnDeviceFound(bool usable) {
    deviceFound_ = true;
    if (usable) return;
    ShowPanel("connecthint", false);
    ShowPanel("driver", true);
    state_ = GuideState::RepairingDriver;
    SetControlText("text", UiTexts::kRepairingDriver);
}

void CConnectGuideWnd::RepairDriver() {
    const DriverRepairResult result =
        RepairSerialDriver(DriverRepairEnvironment::Current(), [] { return FindWatchPort() != 0; });
    if (result.outcome == DriverRepairOutcome::Repaired) {
        Leave();
        // No owner: the guide is on its way out.
        ::MessageBoxW(nullptr, UiTexts::kDriverRepaired, kMessageCaption, MB_OK);
        return;
    }
    if (result.outcome == DriverRepairOutcome::SignatureRefused) Say(UiTexts::kRepairProgramNotSigned, MB_OK);
    if (!closing_ && HasWindow()) ::SetTimer(hwnd_, kTimerGuideRepairFailed, kRepairRetryMs, nullptr);
}

void CConnectGuideWnd::OnRepairFailed() {
    ++repairFailures_;
    ShowPanel("driver", false);
    ShowPanel("repairfail", true);
    if (const auto buttons = ComputeRepairFailureButtons(repairFailures_)) {
        ShowPanel("repairagain", buttons->repairAgainShown);
        ShowPanel("gotoforum", buttons->goToForumShown);
    }
}

}  // namespace TVSP
