// Binding of the maker's network library TarvoNetUL.dll: loaded once after its signature check,
// bound by export name, its service kept for the process and ended at exit.
#pragma once

#include <string>

#include "netlib/netlib_api.h"

namespace TVSP {

// Loads the library at fullPath unless one is loaded already (then only the state is reported).
// A file without the maker's signature is never loaded. True when HttpInit, HttpUninit and the
// service HttpInit gave are all there.
[[nodiscard]] bool LoadNetLibrary(const std::wstring& fullPath);

// The service of the loaded library; null before a successful LoadNetLibrary.
NetService* NetLibraryService();

// The exports as bound by name; each one null when the library lacks it or is not loaded.
struct NetLibraryExports {
    HttpInitFn httpInit = nullptr;
    HttpUninitFn httpUninit = nullptr;
    ZlibUncompressFn uncompress = nullptr;
    ZlibCompressFn compress = nullptr;
    ZlibCompressBoundFn compressBound = nullptr;
};
NetLibraryExports NetLibraryBoundExports();

// A new task of the service, given the receiver and started with url. False at once without a
// service, when the service makes no task, or when the task does not start (then nothing is
// called back and the task is released). On true, the receiver's OnTaskComplete comes on a thread
// of the library and owns the task: it releases it.
[[nodiscard]] bool StartNetTask(const std::wstring& url, IHttpTaskCallback* receiver);

}  // namespace TVSP
