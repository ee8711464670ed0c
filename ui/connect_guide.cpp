// CConnectGuideWnd: creation, the panels of its modes, and the ways of leaving it.
#include "ui/connect_guide.h"

#include <atomic>

#include "base/program_files.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "ui/user_texts.h"

namespace TVSP {
namespace {

std::atomic<HWND> g_publishedGuide{nullptr};

const char* const kPanels[] = {"connecthint", "driver",     "restartwatch",  "waitingforflashing",
                               "repairfail",  "selectmodel", "prompt_restart"};

const char* const kRadioBoxes[] = {"genb_radio",  "genb_theme", "genc_radio", "genc_adv",    "diaozhui",
                                   "gencs_radio", "wn3_radio",  "lite_radio", "genold_radio"};

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

void CConnectGuideWnd::OnCreated() {
    for (const char* panel : kPanels) ShowPanel(panel, false);
    IControlBase* title = skinWindow_ ? skinWindow_->FindControl("title") : nullptr;
    if (mode_ == Mode::RestartPrompt) {
        ShowPanel("prompt_restart", true);
        if (title) title->SetText(WideToAnsi(UiTexts::kRestartPromptTitle).c_str());
    } else {
        ShowPanel("connecthint", true);
        if (title) title->SetText(WideToAnsi(UiTexts::kConnectGuideTitle).c_str());
    }
    g_publishedGuide = hwnd_;
    for (const char* name : kRadioBoxes) {
        if (auto* radio = Find<ICtrlRadioBox>(name)) radio->SetChecked(FALSE);
    }
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

void CConnectGuideWnd::Leave() { owner_.LeaveGuide(); }

void CConnectGuideWnd::OnKeyDown(WPARAM wParam, LPARAM lParam) {
    if (wParam == VK_ESCAPE) {
        Leave();
        return;
    }
    CUiFeatureWindow::OnKeyDown(wParam, lParam);
}

int UIF_CALL CConnectGuideWnd::OnControlMessage(IControlBase* sender, int code, WPARAM, LPARAM) {
    if (code != UIF_MSG_BUTTON_CLICKED || !sender) return 0;
    const char* name = sender->GetName();
    if (!name) return 0;
    if (::lstrcmpiA(name, "close") == 0) {
        Leave();
    } else if (::lstrcmpiA(name, "cancel") == 0) {
        owner_.FinishFlashDisplay();
        Leave();
    } else if (::lstrcmpiA(name, "i_known") == 0) {
        Leave();
    }
    return 0;
}

}  // namespace TVSP
