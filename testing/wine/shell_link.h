// Test helper: what a shell link (.lnk) points at, read back through the shell's own object.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "base/win/handle.h"

namespace tvsp {

struct ShellLinkTarget {
    bool loaded = false;  // the link could be read and names a path
    std::wstring path;
    std::wstring workingDirectory;
};

// COM must be initialised on the calling thread.
inline ShellLinkTarget ResolveShellLink(const std::wstring& file) {
    ShellLinkTarget link;
    TVSP::com_ptr<IShellLinkW> shellLink;
    TVSP::com_ptr<IPersistFile> persist;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.put_void())) ||
        FAILED(shellLink->QueryInterface(IID_IPersistFile, persist.put_void())) ||
        FAILED(persist->Load(file.c_str(), STGM_READ))) {
        return link;
    }
    wchar_t text[MAX_PATH] = {};
    link.loaded = SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
    if (link.loaded) link.path = text;
    text[0] = L'\0';
    if (SUCCEEDED(shellLink->GetWorkingDirectory(text, MAX_PATH))) link.workingDirectory = text;
    return link;
}

}  // namespace tvsp
