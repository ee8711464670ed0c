// Tests of WorkerSlot under Wine: one worker at a time, the slot free once the worker says so,
// requests during a run served by one more run, and joining that waits for the thread's real end.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "base/win/worker_slot.h"

namespace TVSP {
namespace {

struct Worker {
    WorkerSlot slot;
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> runs{0};
    std::atomic<bool> pastFinished{false};
    DWORD afterFinishedMs = 0;

    // A failed assertion returns early: the worker is let go and waited for before its memory goes.
    ~Worker() {
        ::SetEvent(release);
        (void)slot.Join(5000);  // a thread still alive then is reported by the test's own checks
        ::CloseHandle(release);
    }

    // Waits for the event, says it is finished, then lingers on its way out.
    static DWORD WINAPI Main(void* self) {
        auto* worker = static_cast<Worker*>(self);
        ++worker->runs;
        ::WaitForSingleObject(worker->release, INFINITE);
        worker->slot.Finished();
        ::Sleep(worker->afterFinishedMs);
        worker->pastFinished = true;
        return 0;
    }
};

TEST(WorkerSlot, RunsOneWorkerAtATimeAndIsFreeOnceItFinished) {
    Worker worker;
    EXPECT_FALSE(worker.slot.IsBusy());
    EXPECT_TRUE(worker.slot.Join(0));  // nothing to wait for

    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    EXPECT_TRUE(worker.slot.IsBusy());
    EXPECT_FALSE(worker.slot.Start(&Worker::Main, &worker));
    EXPECT_FALSE(worker.slot.Join(50));

    ::SetEvent(worker.release);
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_FALSE(worker.slot.IsBusy());
    EXPECT_EQ(worker.runs.load(), 1);

    // The next start is a new thread.
    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_EQ(worker.runs.load(), 2);
}

// A worker started through Request: each run waits for one pulse of `step`, and the thread runs
// again as long as requests came meanwhile.
struct RequestedWorker {
    WorkerSlot slot;
    HANDLE step = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE running = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> runs{0};
    std::atomic<int> threads{0};

    ~RequestedWorker() {
        // As ~Worker: never leave a thread waiting on memory about to go.
        slot.Close();
        for (int i = 0; i < 50 && !slot.Join(100); ++i) ::SetEvent(step);
        ::CloseHandle(step);
        ::CloseHandle(running);
    }

    static DWORD WINAPI Main(void* self) {
        auto* worker = static_cast<RequestedWorker*>(self);
        ++worker->threads;
        do {
            ++worker->runs;
            ::SetEvent(worker->running);
            ::WaitForSingleObject(worker->step, INFINITE);
        } while (!worker->slot.FinishOrRunAgain());
        return 0;
    }
};

TEST(WorkerSlot, ARequestWhileTheWorkerRunsIsServedByOneMoreRun) {
    RequestedWorker worker;
    ASSERT_TRUE(worker.slot.Request(&RequestedWorker::Main, &worker));
    ASSERT_EQ(::WaitForSingleObject(worker.running, 5000), WAIT_OBJECT_0);
    // Three requests during one run make one more run, on the same thread.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(worker.slot.Request(&RequestedWorker::Main, &worker));
    ::SetEvent(worker.step);
    ASSERT_EQ(::WaitForSingleObject(worker.running, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(worker.runs.load(), 2);
    EXPECT_TRUE(worker.slot.IsBusy());
    ::SetEvent(worker.step);
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_FALSE(worker.slot.IsBusy());
    EXPECT_EQ(worker.runs.load(), 2);
    EXPECT_EQ(worker.threads.load(), 1);

    // With the slot free, a request starts a new thread; a closed slot takes none.
    ASSERT_TRUE(worker.slot.Request(&RequestedWorker::Main, &worker));
    ::SetEvent(worker.step);
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_EQ(worker.threads.load(), 2);
    worker.slot.Close();
    EXPECT_FALSE(worker.slot.Request(&RequestedWorker::Main, &worker));
}

TEST(WorkerSlot, AClosedSlotRunsNoRequestedRerun) {
    RequestedWorker worker;
    ASSERT_TRUE(worker.slot.Request(&RequestedWorker::Main, &worker));
    ASSERT_EQ(::WaitForSingleObject(worker.running, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(worker.slot.Request(&RequestedWorker::Main, &worker));
    worker.slot.Close();  // the owner goes away: the pending run is dropped
    ::SetEvent(worker.step);
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_EQ(worker.runs.load(), 1);
}

TEST(WorkerSlot, JoinWaitsForTheThreadNotOnlyForItsWord) {
    Worker worker;
    worker.afterFinishedMs = 400;
    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    ::SetEvent(worker.release);
    while (worker.slot.IsBusy()) ::Sleep(5);
    // Free for a new start, yet the thread still runs: an owner about to go must wait for it.
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_TRUE(worker.pastFinished.load());
}

TEST(WorkerSlot, AClosedSlotStartsNothingButLetsItsWorkerEnd) {
    Worker worker;
    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    worker.slot.Close();
    ::SetEvent(worker.release);
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_TRUE(worker.pastFinished.load());
    EXPECT_FALSE(worker.slot.Start(&Worker::Main, &worker));
    EXPECT_EQ(worker.runs.load(), 1);
}

TEST(WorkerSlot, StopEndsAWorkerThatNeverFinishes) {
    Worker worker;
    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    // Killed while it waits, as an owner would find it; a thread killed while the loader still
    // sets it up can leave the process's locks held.
    for (int i = 0; i < 500 && worker.runs.load() == 0; ++i) ::Sleep(10);
    ASSERT_EQ(worker.runs.load(), 1);
    worker.slot.Stop(100);
    EXPECT_FALSE(worker.slot.IsBusy());
    EXPECT_TRUE(worker.slot.Join(0));
    EXPECT_FALSE(worker.pastFinished.load());
    // The slot takes a new worker.
    ::SetEvent(worker.release);
    ASSERT_TRUE(worker.slot.Start(&Worker::Main, &worker));
    EXPECT_TRUE(worker.slot.Join(5000));
    EXPECT_TRUE(worker.pastFinished.load());
}

}  // namespace
}  // namespace TVSP
