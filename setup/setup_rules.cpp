#include "setup/setup_rules.h"

#include <cwchar>

#include "setup/install_rules.h"
#include "setup/setup_texts.h"

namespace TVSP::Setup {
namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsForbiddenInName(wchar_t c) {
    return c < 32 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'/' || c == L'|' || c == L'?' ||
           c == L'*';
}

// Every component after the root is a plain name.
bool ComponentsAcceptable(const std::wstring& rest) {
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        const std::wstring part = rest.substr(start, end - start);
        if (part == L"." || part == L"..") return false;
        for (wchar_t c : part) {
            if (IsForbiddenInName(c)) return false;
        }
        // Windows drops trailing dots and spaces: the folder made would not be the one shown.
        if (!part.empty() && (part.back() == L'.' || part.back() == L' ')) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::optional<std::wstring> InstallFolderFor(const std::wstring& folderText) {
    if (folderText.size() < 3 || !IsDriveLetter(folderText[0]) || folderText[1] != L':' || folderText[2] != L'\\') {
        return std::nullopt;
    }
    std::wstring folder = folderText;
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    const std::wstring rest = folder.substr(3);
    if (rest.find(L"\\\\") != std::wstring::npos || !ComponentsAcceptable(rest)) return std::nullopt;
    std::wstring result = JoinPath(folder, kInstallLeaf);
    if (result.size() > kMaxInstallFolder) return std::nullopt;
    return result;
}

std::wstring DriveRootOf(const std::wstring& folderText) {
    const std::size_t slash = folderText.find(L'\\');
    if (folderText.empty() || slash == std::wstring::npos) return L"c:\\";
    return folderText.substr(0, slash + 1);
}

std::wstring FreeSpaceText(std::uint64_t freeBytes) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, SetupTexts::kFreeSpaceFormat,
                  static_cast<double>(freeBytes) / (1024.0 * 1024.0 * 1024.0));
    return buffer;
}

std::wstring PercentText(int percent) {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, SetupTexts::kPercentFormat, percent);
    return buffer;
}

std::wstring GuidText(const GuidParts& g) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.data1),
                  static_cast<unsigned>(g.data2), static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buffer;
}

ProgressStep StepProgress(int counter, bool workerEnded, bool completed) {
    ProgressStep step;
    step.showValue = counter <= 100;
    if (counter > 99 && workerEnded) {
        step.finish = true;
        step.succeeded = completed;
    }
    return step;
}

}  // namespace TVSP::Setup
