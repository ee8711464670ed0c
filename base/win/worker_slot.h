// A slot for one background worker thread at a time: owns the thread handle, which the worker
// itself clears when it ends, so the next start finds the slot free.
#pragma once

#include <windows.h>

#include <atomic>

namespace TVSP {

class WorkerSlot {
public:
    WorkerSlot() = default;
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;
    // A worker still running is not waited for here: the owner stops it first (Stop).
    ~WorkerSlot() { Release(); }

    // Starts entry(param) unless a worker runs; false when busy or the thread cannot be made.
    [[nodiscard]] bool Start(LPTHREAD_START_ROUTINE entry, void* param) {
        if (handle_.load()) return false;
        // Suspended until stored, so a worker that ends at once still finds its handle to clear.
        HANDLE thread = ::CreateThread(nullptr, 0, entry, param, CREATE_SUSPENDED, nullptr);
        if (!thread) return false;
        HANDLE expected = nullptr;
        if (!handle_.compare_exchange_strong(expected, thread)) {
            // Another start won meanwhile: this thread never runs.
            ::TerminateThread(thread, 0);
            ::CloseHandle(thread);
            return false;
        }
        ::ResumeThread(thread);
        return true;
    }

    bool IsBusy() const { return handle_.load() != nullptr; }

    // Called by the worker as its last step.
    void Finished() { Release(); }

    // At shutdown: a short grace, then forced termination of a worker that still runs.
    void Stop(DWORD graceMs) {
        if (HANDLE h = handle_.exchange(nullptr)) {
            if (::WaitForSingleObject(h, graceMs) == WAIT_TIMEOUT) ::TerminateThread(h, 0);
            ::CloseHandle(h);
        }
    }

private:
    void Release() {
        if (HANDLE h = handle_.exchange(nullptr)) ::CloseHandle(h);
    }

    std::atomic<HANDLE> handle_{nullptr};
};

}  // namespace TVSP
