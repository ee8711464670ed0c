// Benchmark, not a test: flashes an 8 MiB region into the virtual watch through the engine and
// brom.dll, and prints the throughput beside the raw throughput of the same pty pair and the time
// the image would take on a real 921,600-baud line with the protocol's overhead.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/at_channel.h"
#include "engine/mtk_downloader.h"
#include "engine/observer_manager.h"
#include "engine/tests/recording_observer.h"
#include "testing/protocol/download_frames.h"
#include "testing/vwatch/client/vwatch_client.h"
#include "testing/wine/test_files.h"

using namespace TVSP;

namespace {

constexpr int kPort = 5;
constexpr std::size_t kImageBytes = 8u << 20;
constexpr std::size_t kRawChunk = 64 * 1024;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t;
}

// Stamps the write stage: its first report (0 %) and its last (100 %).
class TimingObserver : public RecordingObserver {
public:
    int OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override {
        if ((percent & 0xFF) == 0 && writeStart.QuadPart == 0) writeStart = Now();
        if ((percent & 0xFF) == 100) writeEnd = Now();
        return RecordingObserver::OnDownloadProgress28(percent, a, b, c);
    }
    LARGE_INTEGER writeStart{}, writeEnd{};
};

// Bytes pushed straight through the port into the watch's sink; seconds until all arrived.
double RawSeconds(tvsp::VirtualWatchClient& watch, const std::string& bytes) {
    if (!watch.SetSink(true)) return -1;
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(kPort);
    HANDLE port = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) return -1;
    const LARGE_INTEGER start = Now();
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min(kRawChunk, bytes.size() - done));
        if (!::WriteFile(port, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    double seconds = -1;
    for (int i = 0; i < 6000; ++i) {
        if (watch.SunkBytes() >= static_cast<long long>(bytes.size())) {
            seconds = Seconds(start, Now());
            break;
        }
        ::Sleep(5);
    }
    ::CloseHandle(port);
    watch.SetSink(false);
    return seconds;
}

// Bytes on the line for one region of `size` bytes: BEGIN_REGION, DATA blocks, END_REGION, each
// answered by an ACK.
std::size_t WireBytes(std::size_t size) {
    namespace wire = tvsp::protocol;
    const std::size_t ack = wire::FrameBytes(wire::kAckPayloadBytes);
    std::size_t total = wire::FrameBytes(wire::kBeginRegionPayloadBytes) + ack;
    total += wire::FrameBytes(wire::kEndRegionPayloadBytes) + ack;
    for (std::size_t offset = 0; offset < size; offset += wire::kMaxDataBlock) {
        const std::size_t n = std::min(wire::kMaxDataBlock, size - offset);
        total += wire::FrameBytes(wire::kDataOffsetBytes + n) + ack;
    }
    return total;
}

}  // namespace

int wmain() {
    tvsp::VirtualWatchClient watch;
    if (!watch.Connect() || !watch.Reset() || !watch.Plug(kPort)) {
        std::fprintf(stderr, "flash_bench: no virtual watch (run under testing/wine/run-test --vwatch)\n");
        return 2;
    }
    std::string image(kImageBytes, '\0');
    std::mt19937 random(7);
    for (char& c : image) c = static_cast<char>(random());

    const double raw = RawSeconds(watch, image);

    tvsp::TempFolder folder(L"flash-bench");
    const std::string cfg = "[romset]\nname=bench\n[region]\nname=ROM\nfile=rom.bin\naddress=0x100000\n";
    if (!WriteWholeFile(folder / L"rom.bin", image.data(), image.size()) ||
        !WriteWholeFile(folder / L"rom.cfg", cfg.data(), cfg.size())) {
        std::fprintf(stderr, "flash_bench: cannot write the ROM set\n");
        return 1;
    }
    watch.SetRebootUnplugs(true);
    watch.SetDownloadDelay(1500);  // a higher port is only recognised once the old one was seen gone
    watch.SetDownloadCom(7);

    auto observer = std::make_shared<TimingObserver>();
    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(observer);
    TVSP_MTKDownloader downloader;
    downloader.SetDownloadAgentPath(WideToAnsi(GetOwnDirectory() + L"\\MTK_AllInOne_DA.bin"));
    downloader.SetRomSettingPath(WideToAnsi(folder / L"rom.cfg"));
    downloader.SetModelClass(20);
    downloader.SetPortWaitLimit(30000);
    const LARGE_INTEGER start = Now();
    RebootWatch(kPort);
    downloader.Download(kPort);
    const double whole = Seconds(start, Now());
    TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(nullptr);

    const auto regions = watch.Regions();
    const bool intact = regions.size() == 1 && regions[0].length == image.size();
    if (downloader.LastResult() != 0 || !intact || observer->writeEnd.QuadPart == 0) {
        std::fprintf(stderr, "flash_bench: the download failed (result %d, %zu regions, %llu bytes, write end %s)\n",
                     downloader.LastResult(), regions.size(),
                     regions.empty() ? 0ull : static_cast<unsigned long long>(regions[0].length),
                     observer->writeEnd.QuadPart ? "seen" : "not seen");
        return 1;
    }
    const double write = Seconds(observer->writeStart, observer->writeEnd);
    const double mib = static_cast<double>(image.size()) / (1 << 20);
    const std::size_t wire = WireBytes(image.size());
    const double atBaud = static_cast<double>(wire) * 10 / 921600;  // 8N1: 10 bits a byte
    std::printf("image                    %8.2f MiB\n", mib);
    std::printf("raw pty throughput       %8.2f MiB/s (%.2f s)\n", raw > 0 ? mib / raw : 0.0, raw);
    std::printf("flash write stage        %8.2f MiB/s (%.2f s)\n", mib / write, write);
    std::printf("flash / raw              %8.2f\n", raw > 0 ? raw / write : 0.0);
    std::printf("whole download           %8.2f s (reboot, port wait, agent, write, watchdog)\n", whole);
    std::printf("protocol overhead        %8.3f %% (%zu bytes on the line)\n",
                100.0 * static_cast<double>(wire - image.size()) / static_cast<double>(image.size()), wire);
    std::printf("at 921,600 baud          %8.1f s (%.1f min)\n", atBaud, atBaud / 60);
    return 0;
}
