// uictl.exe: drives the tool's skinned windows over the automation pipe, reads and presses its
// message boxes, and sends it device notifications as Windows would. Output is UTF-8 JSON.
#include <windows.h>
#include <dbt.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/win/handle.h"
#include "base/win/strings.h"
#include "testing/uictl/automation_client.h"
#include "testing/uictl/device_broadcast.h"
#include "testing/uictl/message_boxes.h"

using nlohmann::json;

namespace {

void PrintLine(const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(const std::string& reason) {
    std::fprintf(stderr, "uictl: %s\n", reason.c_str());
    return 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: uictl [--pipe NAME] COMMAND\n"
                 "  snapshot                     windows and their control trees\n"
                 "  click WINDOW/CONTROL         as a mouse click on a button or link\n"
                 "  choose WINDOW/CONTROL        choose a radio box\n"
                 "  toggle WINDOW/CONTROL        toggle a check box\n"
                 "  msgbox                       the tool's open message boxes\n"
                 "  msgbox-press BUTTON          press OK, Cancel, Yes, No, ... of the first box\n"
                 "  device arrive|remove PATH    WM_DEVICECHANGE with a USB device-interface record\n"
                 "  volume arrive|remove MASK    WM_DEVICECHANGE with a volume record (MASK: bits or letters)\n"
                 "  close syscommand|message     posts SC_CLOSE (as Alt+F4 or the taskbar) or WM_CLOSE to the main window\n"
                 "  send|post WINDOW MSG WPARAM  sends (waits) or posts a window message, lParam 0, to a skin window\n"
                 "The pipe name comes from --pipe or TVSP_AUTOMATION.\n");
    return 2;
}

// The server's "hello": its process id and windows; nullopt-like empty json on failure.
bool Hello(const std::wstring& pipe, json* hello, std::string* error) {
    const std::string reply = tvsp::AutomationRequest(pipe, "hello", error);
    if (reply.empty()) return false;
    *hello = json::parse(reply, nullptr, false);
    if (hello->is_discarded() || !hello->value("ok", false)) {
        *error = "unexpected reply from the tool: " + reply;
        return false;
    }
    return true;
}

HWND MainWindow(const json& hello) {
    HWND first = nullptr;
    for (const auto& w : hello.value("windows", json::array())) {
        const auto handle = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(
            std::strtoull(w.value("hwnd", std::string("0")).c_str(), nullptr, 0)));
        if (!first) first = handle;
        if (w.value("name", std::string()) == "mainWnd") return handle;
    }
    return first;
}

// The skin window of that name; null when the tool has none.
HWND NamedWindow(const json& hello, const std::string& name) {
    for (const auto& w : hello.value("windows", json::array())) {
        if (w.value("name", std::string()) != name) continue;
        return reinterpret_cast<HWND>(
            static_cast<std::uintptr_t>(std::strtoull(w.value("hwnd", std::string("0")).c_str(), nullptr, 0)));
    }
    return nullptr;
}

// Running processes of the tool, found by image name: message boxes can come before the tool
// serves the pipe (its start-up checks run before any window opens).
std::vector<DWORD> ToolProcesses() {
    std::vector<DWORD> ids;
    TVSP::unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        const wchar_t* name = std::wcsrchr(entry.szExeFile, L'\\');
        name = name ? name + 1 : entry.szExeFile;
        if (::lstrcmpiW(name, L"tarvosprout.exe") == 0) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

json BoxesJson(const std::vector<tvsp::OpenMessageBox>& boxes) {
    json list = json::array();
    for (const auto& box : boxes) {
        json buttons = json::array();
        for (const auto& b : box.buttons) buttons.push_back(b.name.empty() ? TVSP::WideToUtf8(b.caption) : b.name);
        list.push_back({{"caption", TVSP::WideToUtf8(box.caption)}, {"text", TVSP::WideToUtf8(box.text)}, {"buttons", buttons}});
    }
    return list;
}

DWORD ParseVolumeMask(const std::string& text) {
    bool letters = !text.empty();
    for (char c : text) letters = letters && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
    if (letters) {
        DWORD mask = 0;
        for (char c : text) mask |= 1u << ((c | 0x20) - 'a');
        return mask;
    }
    return static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    std::wstring pipeName;
    if (const wchar_t* env = _wgetenv(L"TVSP_AUTOMATION")) pipeName = env;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--pipe") == 0 && i + 1 < argc) {
            pipeName = argv[++i];
            continue;
        }
        args.push_back(TVSP::WideToUtf8(argv[i]));
    }
    if (args.empty()) return Usage();
    const std::string& command = args[0];
    std::string error;

    if ((command == "msgbox" && args.size() == 1) || (command == "msgbox-press" && args.size() == 2)) {
        if (command == "msgbox-press" && tvsp::ButtonIdFromName(args[1]) == 0) return Fail("unknown button name: " + args[1]);
        // The tool's process id from the pipe, or, without the pipe, by the program's name.
        std::vector<DWORD> pids;
        json hello;
        if (!pipeName.empty() && Hello(tvsp::AutomationPipePath(pipeName), &hello, &error)) {
            pids.push_back(hello.value("pid", 0u));
        } else {
            pids = ToolProcesses();
            if (pids.empty()) return Fail(error.empty() ? "the tool is not running" : error);
        }
        std::vector<tvsp::OpenMessageBox> boxes;
        for (DWORD pid : pids) {
            for (auto& box : tvsp::FindMessageBoxes(pid)) boxes.push_back(std::move(box));
        }
        if (command == "msgbox") {
            PrintLine(json{{"ok", true}, {"boxes", BoxesJson(boxes)}}.dump());
            return 0;
        }
        if (boxes.empty()) return Fail("no message box is open");
        if (!tvsp::PressMessageBoxButton(boxes.front(), args[1])) return Fail("the message box has no " + args[1] + " button");
        PrintLine(json{{"ok", true}}.dump());
        return 0;
    }

    if (pipeName.empty()) return Fail("no pipe: give --pipe NAME or set TVSP_AUTOMATION");
    const std::wstring pipe = tvsp::AutomationPipePath(pipeName);

    if (command == "snapshot" && args.size() == 1) {
        const std::string reply = tvsp::AutomationRequest(pipe, "snapshot", &error);
        if (reply.empty()) return Fail(error);
        PrintLine(reply);
        return json::parse(reply, nullptr, false).value("ok", false) ? 0 : 1;
    }
    if ((command == "click" || command == "choose" || command == "toggle") && args.size() == 2) {
        const std::string reply = tvsp::AutomationRequest(pipe, command + " " + args[1], &error);
        if (reply.empty()) return Fail(error);
        const json parsed = json::parse(reply, nullptr, false);
        if (parsed.is_discarded() || !parsed.value("ok", false)) {
            return Fail(parsed.is_discarded() ? reply : parsed.value("error", std::string("refused")));
        }
        PrintLine(reply);
        return 0;
    }

    json hello;
    if (!Hello(pipe, &hello, &error)) return Fail(error);

    if ((command == "device" || command == "volume") && args.size() == 3 &&
        (args[1] == "arrive" || args[1] == "remove")) {
        HWND window = MainWindow(hello);
        if (!window || !::IsWindow(window)) return Fail("the tool has no main window");
        const WPARAM event = args[1] == "arrive" ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
        LRESULT result = 0;
        if (command == "device") {
            std::vector<BYTE> record = tvsp::DeviceInterfaceRecord(TVSP::Utf8ToWide(args[2]));
            result = ::SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
        } else {
            DEV_BROADCAST_VOLUME volume{};
            volume.dbcv_size = sizeof volume;
            volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
            volume.dbcv_unitmask = ParseVolumeMask(args[2]);
            if (volume.dbcv_unitmask == 0) return Fail("empty volume mask: " + args[2]);
            result = ::SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
        }
        PrintLine(json{{"ok", true}, {"result", static_cast<long long>(result)}}.dump());
        return 0;
    }
    if ((command == "send" || command == "post") && args.size() == 4) {
        HWND window = NamedWindow(hello, args[1]);
        if (!window || !::IsWindow(window)) return Fail("the tool has no window " + args[1]);
        char* end = nullptr;
        const unsigned long message = std::strtoul(args[2].c_str(), &end, 0);
        if (args[2].empty() || *end != '\0' || message > 0xFFFF) return Fail("bad message number: " + args[2]);
        const unsigned long long wParam = std::strtoull(args[3].c_str(), &end, 0);
        if (args[3].empty() || *end != '\0') return Fail("bad wParam: " + args[3]);
        if (command == "post") {
            if (!::PostMessageW(window, message, static_cast<WPARAM>(wParam), 0)) {
                return Fail("cannot post to " + args[1] + " (error " + std::to_string(::GetLastError()) + ")");
            }
            PrintLine(json{{"ok", true}}.dump());
            return 0;
        }
        const LRESULT result = ::SendMessageW(window, message, static_cast<WPARAM>(wParam), 0);
        PrintLine(json{{"ok", true}, {"result", static_cast<long long>(result)}}.dump());
        return 0;
    }
    if (command == "close" && args.size() == 2 && (args[1] == "syscommand" || args[1] == "message")) {
        HWND window = MainWindow(hello);
        if (!window || !::IsWindow(window)) return Fail("the tool has no main window");
        // Posted, as the system does: a sent close would wait for the tool's question to be answered.
        const BOOL posted = args[1] == "syscommand" ? ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0)
                                                    : ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (!posted) return Fail("cannot post to the main window (error " + std::to_string(::GetLastError()) + ")");
        PrintLine(json{{"ok", true}}.dump());
        return 0;
    }
    return Usage();
}
