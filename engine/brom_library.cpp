// Binding of brom.dll by ordinal, loaded once from the program folder and kept for the process.
#include "engine/brom_library.h"

#include <mutex>

#include "device/system_utils.h"

namespace TVSP {

BromLibrary& BromLibrary::Instance() {
    static BromLibrary library;
    return library;
}

HMODULE BromLibrary::Module() {
    // Loaded by full path so a brom.dll in the current folder can never be picked up instead.
    static HMODULE module = [] {
        const std::wstring path = GetOwnDirectory() + L"\\brom.dll";
        return ::LoadLibraryW(path.c_str());
    }();
    return module;
}

bool BromLibrary::IsLoaded() { return Module() != nullptr; }

FARPROC BromLibrary::ProcByOrdinal(WORD ordinal) {
    HMODULE module = Module();
    if (!module) return nullptr;
    return ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
}

}  // namespace TVSP
