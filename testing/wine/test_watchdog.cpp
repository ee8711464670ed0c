// The per-test watchdog of the Windows test programs.
#include "testing/wine/test_watchdog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tvsp {
namespace {

// Time the reports get before the program ends anyway.
constexpr DWORD kReportLimitMs = 180000;

std::mutex g_mutex;
std::map<int, std::function<void()>> g_reports;
int g_nextId = 1;
std::string g_test;          // the running test, empty between tests
DWORD g_testStart = 0;       // GetTickCount at its start
bool g_reporting = false;    // the watchdog has fired: the reporters' objects must stay

class Listener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        std::lock_guard lock(g_mutex);
        g_test = std::string(info.test_suite_name()) + "." + info.name();
        g_testStart = ::GetTickCount();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard lock(g_mutex);
        g_test.clear();
    }
};

using Reports = std::vector<std::function<void()>>;

// Runs and frees the reports handed over; the process ends soon after, finished or not.
DWORD WINAPI RunReports(void* param) {
    const std::unique_ptr<Reports> reports(static_cast<Reports*>(param));
    for (const auto& report : *reports) {
        report();
        std::fflush(stdout);
    }
    return 0;
}

unsigned HangLimitSeconds() {
    const char* text = std::getenv("TVSP_TEST_HANG_S");
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? static_cast<unsigned>(value) : 600;
}

void Watch(unsigned limitSeconds) {
    for (;;) {
        ::Sleep(1000);
        std::string test;
        DWORD elapsed = 0;
        auto reports = std::make_unique<Reports>();
        {
            std::lock_guard lock(g_mutex);
            if (g_test.empty()) continue;
            elapsed = (::GetTickCount() - g_testStart) / 1000;
            if (elapsed < limitSeconds) continue;
            test = g_test;
            for (const auto& [id, report] : g_reports) reports->push_back(report);
            g_reporting = true;
        }
        std::printf("\nhang: %s has run for %u s; reporting and ending the program\n", test.c_str(),
                    static_cast<unsigned>(elapsed));
        std::fflush(stdout);
        // The reports may hang on what hangs the test (a process that never starts): bounded.
        if (HANDLE reporter = ::CreateThread(nullptr, 0, RunReports, reports.get(), 0, nullptr)) {
            static_cast<void>(reports.release());  // the reporter frees them
            if (::WaitForSingleObject(reporter, kReportLimitMs) != WAIT_OBJECT_0) {
                std::printf("hang: the reports did not finish within %lu s\n", kReportLimitMs / 1000);
            }
        } else {
            std::printf("hang: no thread for the reports (%lu)\n", ::GetLastError());
        }
        std::printf("hang: %s FAILED (ended by the watchdog)\n", test.c_str());
        std::fflush(stdout);
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 124);
    }
}

}  // namespace

int AddHangReport(std::function<void()> report) {
    std::lock_guard lock(g_mutex);
    const int id = g_nextId++;
    g_reports.emplace(id, std::move(report));
    return id;
}

void RemoveHangReport(int id) {
    {
        std::lock_guard lock(g_mutex);
        if (!g_reporting) {
            g_reports.erase(id);
            return;
        }
    }
    // A report may be using what its owner is about to free; the watchdog ends the process soon.
    ::Sleep(INFINITE);
}

void StartTestWatchdog() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new Listener);
    std::thread(Watch, HangLimitSeconds()).detach();
}

}  // namespace tvsp
