// A slot for one background worker thread at a time: the worker marks itself finished as its last
// step, so the next start finds the slot free; the handle stays until then so an owner can still
// wait for the thread's real end.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace TVSP {

class WorkerSlot {
public:
    WorkerSlot() = default;
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;
    // A worker still running is not waited for here: the owner joins or stops it first.
    ~WorkerSlot() {
        if (handle_) ::CloseHandle(handle_);
    }

    // Starts entry(param) unless a worker runs; false when busy or the thread cannot be made.
    [[nodiscard]] bool Start(LPTHREAD_START_ROUTINE entry, void* param) {
        std::lock_guard lock(mutex_);
        if (busy_.load() || closed_) return false;
        // The previous worker said it was finished; it may still be on its way out, which is fine.
        if (handle_) ::CloseHandle(std::exchange(handle_, nullptr));
        // Suspended until stored, so a worker that ends at once still finds the slot busy to clear.
        HANDLE thread = ::CreateThread(nullptr, 0, entry, param, CREATE_SUSPENDED, nullptr);
        if (!thread) return false;
        handle_ = thread;
        busy_.store(true);
        ::ResumeThread(thread);
        return true;
    }

    // Starts entry(param) like Start, but a request while a worker runs is not dropped: that
    // worker is told to run once more (FinishOrRunAgain). False only when no thread could be made
    // or the slot is closed.
    [[nodiscard]] bool Request(LPTHREAD_START_ROUTINE entry, void* param) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            if (busy_.load()) {
                again_ = true;
                return true;
            }
        }
        return Start(entry, param);
    }

    bool IsBusy() const { return busy_.load(); }

    // No worker starts from now on (the owner is going away); one already running goes on.
    void Close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }

    // Called by the worker as its last step.
    void Finished() { busy_.store(false); }

    // Called by a worker started through Request when its run ends: true when it is finished,
    // false when a request came meanwhile and it must run once more. Checked and cleared under
    // the lock, so no request falls between a worker's last run and its end.
    [[nodiscard]] bool FinishOrRunAgain() {
        std::lock_guard lock(mutex_);
        if (std::exchange(again_, false) && !closed_) return false;
        busy_.store(false);
        return true;
    }

    // Waits up to timeoutMs for the worker's thread to end (not only to say it finished); true
    // when no thread of this slot is left running.
    [[nodiscard]] bool Join(DWORD timeoutMs) {
        HANDLE h = nullptr;
        {
            std::lock_guard lock(mutex_);
            h = handle_;
        }
        // Only the owner's thread starts, joins and stops, so the handle stays valid meanwhile.
        return !h || ::WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0;
    }

    // The last resort where the owner's memory goes away: a short grace, then forced termination.
    // A thread killed inside a system call can leave the process unsound; callers that can end
    // the process instead (the tool at exit) join and leave the killing to the process's end.
    void Stop(DWORD graceMs) {
        if (!Join(graceMs)) {
            std::lock_guard lock(mutex_);
            ::TerminateThread(handle_, 0);
            ::WaitForSingleObject(handle_, graceMs);
        }
        std::lock_guard lock(mutex_);
        if (handle_) ::CloseHandle(std::exchange(handle_, nullptr));
        busy_.store(false);
        again_ = false;
    }

private:
    std::mutex mutex_;
    HANDLE handle_ = nullptr;
    std::atomic<bool> busy_{false};
    bool closed_ = false;
    bool again_ = false;  // a Request came while the worker ran
};

}  // namespace TVSP
