// Benchmark, not a test: a 100 MiB package from the loopback test server through our HTTP engine
// and through WinHTTP, each in a process of its own so that each peak working set is its own.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/winhttp_handle.h"
#include "testing/update-server/client/update_server_client.h"
#include "update/http_client.h"

using namespace TVSP;

namespace {

constexpr std::size_t kPackageBytes = std::size_t{100} << 20;
constexpr char kHostFile[] = "/tmp/tvsp-http-bench.bin";
constexpr wchar_t kHostFileFromWine[] = L"Z:\\tmp\\tvsp-http-bench.bin";

double SecondsSince(LARGE_INTEGER from) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::size_t PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

class CountingDelegate : public HttpClientDelegate {
public:
    void OnHttpCancelled() override {}
    void OnHttpFailed(int, int code) override { status = code; }
    void OnHttpSucceeded(int, const char*, int length) override {
        status = 200;
        bytes = static_cast<std::size_t>(length);
    }
    void OnHttpProgress(int, int, int) override {}
    int status = 0;
    std::size_t bytes = 0;
};

std::size_t FetchWithEngine(int port) {
    CountingDelegate delegate;
    HttpClient client(&delegate, kTagRomPackage);
    client.Get(L"http://localhost:" + std::to_wstring(port) + L"/bench.cab");
    return delegate.status == 200 ? delegate.bytes : 0;
}

// Reads the body into memory as our engine does, so both hold the whole package.
std::size_t FetchWithWinHttp(int port) {
    unique_hinternet session(::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return 0;
    unique_hinternet connection(::WinHttpConnect(session.get(), L"localhost", static_cast<INTERNET_PORT>(port), 0));
    if (!connection) return 0;
    unique_hinternet request(::WinHttpOpenRequest(connection.get(), L"GET", L"/bench.cab", nullptr,
                                                  WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request || !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                                          0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        return 0;
    }
    std::string body;
    std::vector<char> block(65536);
    for (;;) {
        DWORD got = 0;
        if (!::WinHttpReadData(request.get(), block.data(), static_cast<DWORD>(block.size()), &got)) return 0;
        if (got == 0) break;
        body.append(block.data(), got);
    }
    return body.size();
}

int RunOne(const wchar_t* which) {
    tvsp::UpdateServerClient server;
    const int port = server.HttpPort();
    if (port <= 0) {
        std::fprintf(stderr, "http_bench: no test update server (run it through testing/wine/run-test --update-server)\n");
        return 1;
    }
    const std::size_t before = PeakWorkingSet();
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    const bool engine = std::wcscmp(which, L"engine") == 0;
    const std::size_t bytes = engine ? FetchWithEngine(port) : FetchWithWinHttp(port);
    const double seconds = SecondsSince(start);
    if (bytes != kPackageBytes) {
        std::fprintf(stderr, "http_bench: %ls got %zu bytes\n", which, bytes);
        return 1;
    }
    std::printf("%-8ls %7.1f MiB/s  %6.2f s  peak working set %6.1f MiB (%.1f MiB before)\n", which,
                static_cast<double>(bytes) / (1 << 20) / seconds, seconds,
                static_cast<double>(PeakWorkingSet()) / (1 << 20), static_cast<double>(before) / (1 << 20));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2) return RunOne(argv[1]);

    tvsp::UpdateServerClient server;
    {
        std::string package(kPackageBytes, '\0');
        for (std::size_t i = 0; i < package.size(); i += 4096) package[i] = static_cast<char>(i >> 12);
        if (!WriteWholeFile(kHostFileFromWine, package.data(), package.size())) {
            std::fprintf(stderr, "http_bench: cannot write the package\n");
            return 1;
        }
    }
    if (!server.File("/bench.cab", kHostFile)) {
        std::fprintf(stderr, "http_bench: the server refused the package route\n");
        return 1;
    }
    std::printf("100 MiB package from the loopback test server:\n");
    int status = 0;
    for (const wchar_t* which : {L"engine", L"winhttp"}) {
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + which;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            return 1;
        }
        unique_handle process(pi.hProcess), thread(pi.hThread);
        ::WaitForSingleObject(process.get(), INFINITE);
        DWORD code = 1;
        ::GetExitCodeProcess(process.get(), &code);
        if (code != 0) status = 1;
    }
    ::DeleteFileW(kHostFileFromWine);
    return status;
}
