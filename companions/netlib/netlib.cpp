// TarvoNetUL.dll stand-in: the service and task objects over WinHTTP, and zlib's three functions.
#include <windows.h>

#include <zlib.h>

#include <new>
#include <string>

#include "base/win/handle.h"
#include "companions/netlib/http_fetch.h"
#include "netlib/netlib_api.h"

namespace {

// A CRITICAL_SECTION (XP has no slim locks); re-entrant, so a receiver may Release from its callback.
class Lock {
public:
    Lock() noexcept { ::InitializeCriticalSection(&section_); }
    ~Lock() { ::DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter() noexcept { ::EnterCriticalSection(&section_); }
    void Leave() noexcept { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class Hold {
public:
    explicit Hold(Lock& lock) noexcept : lock_(lock) { lock_.Enter(); }
    ~Hold() { lock_.Leave(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Lock& lock_;
};

DWORD WINAPI TaskThread(void* parameter);

// References: one for the caller until Release, one for a running request's thread.
class Task final : public NetTask {
public:
    void NETLIB_METHOD SetReceiver(IHttpTaskCallback* receiver) override {
        Hold hold(lock_);
        if (!released_) receiver_ = receiver;
    }

    int NETLIB_METHOD Start(int /*zero*/, const wchar_t* url) override {
        Hold hold(lock_);
        if (started_ || released_ || !url || !*url) return 0;
        url_ = url;
        // The thread holds the module too, so unloading the library while a request runs is safe.
        TVSP::unique_hmodule module;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&TaskThread)), module.put()))
            return 0;
        AddRef();
        module_ = module.get();
        TVSP::unique_handle thread(::CreateThread(nullptr, 0, &TaskThread, this, 0, nullptr));
        if (!thread) {
            module_ = nullptr;
            Unref();
            return 0;
        }
        // The thread ends with FreeLibraryAndExitThread on this reference.
        (void)module.release();
        started_ = true;
        return 1;
    }

    void NETLIB_METHOD Reserved() override {}

    void NETLIB_METHOD Release() override {
        {
            // Waits for a callback running on another thread, so none follows this call.
            Hold hold(lock_);
            released_ = true;
            receiver_ = nullptr;
        }
        Unref();
    }

    // On the task's thread: the request, then the one call of the receiver.
    HMODULE Run() {
        const TVSP::NetLib::FetchOutcome outcome = TVSP::NetLib::FetchUrl(url_, kNetTaskMaxBody);
        NetTaskResult result{};
        result.size = sizeof(result);
        result.status = outcome.succeeded ? kNetTaskSucceeded : kNetTaskFailed;
        result.httpStatus = outcome.httpStatus;
        result.systemError = outcome.systemError;
        result.body = outcome.succeeded ? outcome.body.c_str() : "";
        result.bodyLength = outcome.succeeded ? static_cast<std::uint32_t>(outcome.body.size()) : 0;
        {
            Hold hold(lock_);
            if (receiver_ && !released_) receiver_->OnTaskComplete(this, &result);
        }
        HMODULE module = module_;
        Unref();
        return module;
    }

private:
    void AddRef() noexcept { ::InterlockedIncrement(&references_); }
    void Unref() noexcept {
        if (::InterlockedDecrement(&references_) == 0) delete this;
    }

    LONG references_ = 1;
    Lock lock_;
    IHttpTaskCallback* receiver_ = nullptr;
    bool started_ = false;
    bool released_ = false;
    std::wstring url_;
    HMODULE module_ = nullptr;
};

DWORD WINAPI TaskThread(void* parameter) {
    HMODULE module = static_cast<Task*>(parameter)->Run();
    ::FreeLibraryAndExitThread(module, 0);
}

class Service final : public NetService {
public:
    NetTask* NETLIB_METHOD CreateTask() override { return new (std::nothrow) Task; }
};

// The one service between HttpInit and HttpUninit.
Lock& ServiceLock() {
    static Lock lock;
    return lock;
}
Service* g_service = nullptr;

}  // namespace

extern "C" {

NetService* NETLIB_EXPORT HttpInit() {
    Hold hold(ServiceLock());
    if (!g_service) g_service = new (std::nothrow) Service;
    return g_service;
}

void NETLIB_EXPORT HttpUninit(NetService* service) {
    Hold hold(ServiceLock());
    if (!service || service != g_service) return;
    delete g_service;
    g_service = nullptr;
}

int NETLIB_EXPORT zlib_uncompress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                                  unsigned long sourceLen) {
    return ::uncompress(dest, destLen, source, sourceLen);
}

int NETLIB_EXPORT zlib_compress(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                                unsigned long sourceLen) {
    return ::compress(dest, destLen, source, sourceLen);
}

unsigned long NETLIB_EXPORT zlib_compressBound(unsigned long sourceLen) { return ::compressBound(sourceLen); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
