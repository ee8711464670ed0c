// Tests of WorkerSlot under Wine: one worker at a time, the slot free once the worker says so, and
// joining that waits for the thread's real end.
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

    ~Worker() { ::CloseHandle(release); }

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
