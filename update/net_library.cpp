// The process's one binding of TarvoNetUL.dll, torn down by a static object's destructor at exit.
#include "update/net_library.h"

#include <windows.h>

#include <mutex>

#include "base/win/handle.h"
#include "device/code_signature.h"

namespace TVSP {
namespace {

template <typename Fn>
Fn BindByName(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

class NetLibrary {
public:
    NetLibrary() = default;
    NetLibrary(const NetLibrary&) = delete;
    NetLibrary& operator=(const NetLibrary&) = delete;

    // Exit order: the service first (the library still mapped), then the bindings, then the module.
    ~NetLibrary() {
        if (exports_.httpUninit && service_) exports_.httpUninit(service_);
        service_ = nullptr;
        exports_ = {};
        module_.reset();
    }

    bool Load(const std::wstring& fullPath) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (module_) return ReadyLocked();
        // A file the maker did not sign never runs in this process.
        if (!IsSignedByMaker(fullPath)) return false;
        module_.reset(::LoadLibraryW(fullPath.c_str()));
        if (!module_) return false;
        exports_.httpInit = BindByName<HttpInitFn>(module_.get(), "HttpInit");
        exports_.httpUninit = BindByName<HttpUninitFn>(module_.get(), "HttpUninit");
        exports_.uncompress = BindByName<ZlibUncompressFn>(module_.get(), "zlib_uncompress");
        exports_.compress = BindByName<ZlibCompressFn>(module_.get(), "zlib_compress");
        exports_.compressBound = BindByName<ZlibCompressBoundFn>(module_.get(), "zlib_compressBound");
        if (exports_.httpInit) service_ = exports_.httpInit();
        return ReadyLocked();
    }

    NetService* Service() {
        std::lock_guard<std::mutex> hold(mutex_);
        return service_;
    }

    NetLibraryExports Exports() {
        std::lock_guard<std::mutex> hold(mutex_);
        return exports_;
    }

private:
    bool ReadyLocked() const { return exports_.httpUninit && exports_.httpInit && service_; }

    std::mutex mutex_;
    unique_hmodule module_;
    NetLibraryExports exports_;
    NetService* service_ = nullptr;
};

NetLibrary& Library() {
    static NetLibrary library;
    return library;
}

}  // namespace

bool LoadNetLibrary(const std::wstring& fullPath) { return Library().Load(fullPath); }

NetService* NetLibraryService() { return Library().Service(); }

NetLibraryExports NetLibraryBoundExports() { return Library().Exports(); }

bool StartNetTask(const std::wstring& url, IHttpTaskCallback* receiver) {
    NetService* service = NetLibraryService();
    if (!service) return false;
    NetTask* task = service->CreateTask();
    if (!task) return false;
    task->SetReceiver(receiver);
    if (!task->Start(0, url.c_str())) {
        task->Release();
        return false;
    }
    return true;
}

}  // namespace TVSP
