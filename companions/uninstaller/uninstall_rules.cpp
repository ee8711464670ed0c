// What the uninstaller counts as ours, and the result page's wording.
#include "companions/uninstaller/uninstall_rules.h"

#include <cwchar>
#include <string>

#include "base/program_files.h"
#include "companions/uninstaller/uninstall_texts.h"

namespace TVSP::Uninstall {
namespace {

// Written by the tool or its companions at run time, beside the program.
constexpr const wchar_t* kRunTimeFiles[] = {ProgramFiles::kDataFile, L"PortMender.log"};

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

template <typename Table>
bool InTable(const Table& table, std::wstring_view name) {
    for (const auto& entry : table) {
        if (SameName(std::wstring_view(entry), name)) return true;
    }
    return false;
}

std::wstring_view TrimSeparators(std::wstring_view path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.remove_suffix(1);
    return path;
}

}  // namespace

std::vector<std::wstring> InstalledTopLevelFiles() {
    std::vector<std::wstring> names;
    for (const wchar_t* shipped : ProgramFiles::kShipped) {
        if (!std::wcschr(shipped, L'\\')) names.emplace_back(shipped);  // sub-folders go whole
    }
    // What the installer copies beside them (the uninstaller itself, its skin, the class driver...).
    for (const wchar_t* installed : ProgramFiles::kInstalledFiles) {
        if (!InTable(names, installed)) names.emplace_back(installed);
    }
    return names;
}

bool IsDataFileCopy(std::wstring_view name) {
    constexpr std::wstring_view prefix = L"sproutdata-";
    constexpr std::wstring_view suffix = L".ini";
    if (name.size() <= prefix.size() + suffix.size()) return false;
    if (!SameName(name.substr(0, prefix.size()), prefix) || !SameName(name.substr(name.size() - suffix.size()), suffix)) {
        return false;
    }
    // Six numbers joined by '-': year, month, day, hour, minute, second.
    const std::wstring_view stamp = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    int fields = 0;
    std::size_t digits = 0;
    for (wchar_t c : stamp) {
        if (c >= L'0' && c <= L'9') {
            if (++digits > 4) return false;
        } else if (c == L'-' && digits > 0) {
            ++fields;
            digits = 0;
        } else {
            return false;
        }
    }
    return digits > 0 && fields == 5;
}

EntryKind ClassifyEntry(std::wstring_view name, bool isFolder) {
    if (isFolder) {
        if (InTable(ProgramFiles::kInstalledDriverFolders, name) || SameName(name, ProgramFiles::kUpdateFolder)) {
            return EntryKind::OursFolder;
        }
        return EntryKind::NotOurs;
    }
    if (InTable(InstalledTopLevelFiles(), name) || InTable(kRunTimeFiles, name) || IsDataFileCopy(name)) {
        return EntryKind::Ours;
    }
    return EntryKind::NotOurs;
}

EntryKind ClassifyEntry(const FolderEntry& entry) {
    return entry.link ? EntryKind::NotOurs : ClassifyEntry(entry.name, entry.folder);
}

bool OnlyScheduledLeft(const std::vector<FolderEntry>& left, const std::vector<std::wstring>& scheduled) {
    if (left.empty()) return false;
    for (const FolderEntry& entry : left) {
        if (entry.folder || entry.link || !InTable(scheduled, entry.name)) return false;
    }
    return true;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
    a = TrimSeparators(a);
    b = TrimSeparators(b);
    if (a.empty() || a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const wchar_t x = a[i] == L'/' ? L'\\' : a[i];
        const wchar_t y = b[i] == L'/' ? L'\\' : b[i];
        if (FoldAscii(x) != FoldAscii(y)) return false;
    }
    return true;
}

ResultPage DescribeResult(const RemovalReport& report, std::size_t maxNames) {
    ResultPage page;
    if (!report.Complete()) {
        page.title = UninstallTexts::kFailedTitle;
        page.text = UninstallTexts::kFailedText;
        const std::size_t shown = report.failed.size() < maxNames ? report.failed.size() : maxNames;
        for (std::size_t i = 0; i < shown; ++i) {
            if (i > 0) page.text += UninstallTexts::kNameSeparator;
            page.text += report.failed[i];
        }
        if (shown < report.failed.size()) {
            page.text += UninstallTexts::kMoreItemsBefore + std::to_wstring(report.failed.size()) +
                         UninstallTexts::kMoreItemsAfter;
        }
        return page;
    }
    page.title = UninstallTexts::kDoneTitle;
    page.text = UninstallTexts::kDoneText;
    if (!report.scheduled.empty()) page.text += UninstallTexts::kDoneAfterRestart;
    if (!report.kept.empty()) page.text += UninstallTexts::kKeptFolder;
    return page;
}

}  // namespace TVSP::Uninstall
