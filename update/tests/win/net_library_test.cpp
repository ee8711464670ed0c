// TarvoNetUL.dll through the tool's binding: signature gate, exports by name, zlib, and tasks that end in failure or success.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "testing/update-server/client/update_server_client.h"
#include "update/net_library.h"

namespace TVSP {
namespace {

std::wstring SignedLibrary() { return GetOwnDirectory() + L"\\TarvoNetUL.dll"; }
std::wstring DataLibrary(const wchar_t* kind) {
    return GetOwnDirectory() + L"\\netlib_data\\" + kind + L"\\TarvoNetUL.dll";
}

// Long enough for any loopback request; only a hang ever reaches it.
constexpr DWORD kCompletionWaitMs = 60000;

// Records the one completion of a task and releases the task, as the tool's receivers do.
class RecordingReceiver final : public IHttpTaskCallback {
public:
    RecordingReceiver() : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    void NETLIB_METHOD OnTaskComplete(NetTask* task, const NetTaskResult* result) override {
        ++calls;
        size = result->size;
        status = result->status;
        body = result->body ? std::string(result->body) : std::string("(null)");
        bodyLength = result->bodyLength;
        threadId = ::GetCurrentThreadId();
        if (releaseInCallback) task->Release();
        ::SetEvent(done_.get());
    }

    [[nodiscard]] bool WaitDone() const { return ::WaitForSingleObject(done_.get(), kCompletionWaitMs) == WAIT_OBJECT_0; }

    bool releaseInCallback = true;
    std::atomic<int> calls{0};
    std::uint32_t size = 0;
    std::int32_t status = 0;
    std::string body;
    std::uint32_t bodyLength = 0;
    DWORD threadId = 0;

private:
    unique_handle done_;
};

// One task to url through the tool's binding, run to its end.
void RunTask(const std::string& url, RecordingReceiver& receiver) {
    ASSERT_TRUE(StartNetTask(Utf8ToWide(url), &receiver));
    ASSERT_TRUE(receiver.WaitDone());
    EXPECT_EQ(receiver.calls.load(), 1);
    EXPECT_EQ(receiver.size, sizeof(NetTaskResult));
    EXPECT_NE(receiver.threadId, ::GetCurrentThreadId());
}

inline SOCKET InvalidSocket() noexcept { return INVALID_SOCKET; }
inline void CloseSocketNoResult(SOCKET s) noexcept { ::closesocket(s); }
using unique_socket = unique_any<SOCKET, CloseSocketNoResult, InvalidSocket>;

// A loopback port nobody listens on: taken from the system, then let go.
int FreeLoopbackPort() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int port = 0;
    {
        unique_socket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (s && ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ::WSACleanup();
    return port;
}

void EnsureLoaded() { ASSERT_TRUE(LoadNetLibrary(SignedLibrary())); }

// Runs first (declaration order): the process has not loaded the library yet.
TEST(NetLibrary, LoadsOnlyTheMakersSignedFileAndThenOnlyReports) {
    ASSERT_EQ(NetLibraryService(), nullptr) << "the library was loaded before this test";
    RecordingReceiver receiver;
    EXPECT_FALSE(StartNetTask(L"http://localhost:1/", &receiver));
    EXPECT_EQ(NetLibraryBoundExports().httpInit, nullptr);

    struct Row {
        const wchar_t* kind;
        bool loads;
    };
    const Row rows[] = {{L"unsigned", false}, {L"foreign", false}, {L"missing", false}, {L"signed", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind, row.kind + wcslen(row.kind)));
        const std::wstring path = DataLibrary(row.kind);
        EXPECT_EQ(LoadNetLibrary(path), row.loads);
        // A refused file is not even mapped into the process.
        EXPECT_EQ(::GetModuleHandleW(path.c_str()) != nullptr, row.loads);
        EXPECT_EQ(NetLibraryService() != nullptr, row.loads);
    }
    NetService* const service = NetLibraryService();
    // Loaded: a later call only reports, whatever file it names.
    EXPECT_TRUE(LoadNetLibrary(DataLibrary(L"unsigned")));
    EXPECT_TRUE(LoadNetLibrary(SignedLibrary()));
    EXPECT_EQ(NetLibraryService(), service);
    EXPECT_EQ(::GetModuleHandleW(DataLibrary(L"unsigned").c_str()), nullptr);
}

TEST(NetLibrary, ExportsBoundByNameAndZlibRoundTrip) {
    EnsureLoaded();
    const NetLibraryExports exports = NetLibraryBoundExports();
    ASSERT_NE(exports.httpInit, nullptr);
    ASSERT_NE(exports.httpUninit, nullptr);
    ASSERT_NE(exports.uncompress, nullptr);
    ASSERT_NE(exports.compress, nullptr);
    ASSERT_NE(exports.compressBound, nullptr);
    // HttpInit gives the same service until HttpUninit.
    EXPECT_EQ(exports.httpInit(), NetLibraryService());

    std::string text;
    for (int i = 0; i < 2000; ++i) text += "imei=861234567890123;version=" + std::to_string(i % 7) + "\n";
    const auto* source = reinterpret_cast<const unsigned char*>(text.data());
    const auto sourceLength = static_cast<unsigned long>(text.size());

    const unsigned long bound = exports.compressBound(sourceLength);
    ASSERT_GE(bound, sourceLength);
    std::vector<unsigned char> packed(bound);
    unsigned long packedLength = bound;
    ASSERT_EQ(exports.compress(packed.data(), &packedLength, source, sourceLength), kNetZlibOk);
    EXPECT_LT(packedLength, sourceLength);  // repetitive text does shrink: real deflate ran

    std::vector<unsigned char> unpacked(sourceLength);
    unsigned long unpackedLength = sourceLength;
    ASSERT_EQ(exports.uncompress(unpacked.data(), &unpackedLength, packed.data(), packedLength), kNetZlibOk);
    ASSERT_EQ(unpackedLength, sourceLength);
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), text);

    // Too little room, either way: zlib's buffer error.
    std::vector<unsigned char> small(16);
    unsigned long smallLength = static_cast<unsigned long>(small.size());
    EXPECT_EQ(exports.uncompress(small.data(), &smallLength, packed.data(), packedLength), kNetZlibBufferError);
    smallLength = static_cast<unsigned long>(small.size());
    EXPECT_EQ(exports.compress(small.data(), &smallLength, source, sourceLength), kNetZlibBufferError);
    // Not zlib data.
    unsigned long garbageLength = sourceLength;
    EXPECT_EQ(exports.uncompress(unpacked.data(), &garbageLength, source, sourceLength), kNetZlibDataError);
}

TEST(NetLibrary, TasksThatCannotStartFailAtOnce) {
    EnsureLoaded();
    RecordingReceiver receiver;
    EXPECT_FALSE(StartNetTask(L"", &receiver));

    NetTask* task = NetLibraryService()->CreateTask();
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(task->Start(0, nullptr), 0);
    task->Reserved();
    task->Release();
    EXPECT_EQ(receiver.calls.load(), 0);
}

TEST(NetLibrary, NothingListeningCompletesAsFailedOnALibraryThread) {
    EnsureLoaded();
    const int port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    const std::string place = "localhost:" + std::to_string(port) + "/upgrade/query";
    for (const std::string& url : {"http://" + place, "https://" + place, "ftp://" + place, std::string("localhost")}) {
        SCOPED_TRACE(url);
        RecordingReceiver receiver;
        RunTask(url, receiver);
        EXPECT_EQ(receiver.status, kNetTaskFailed);
        EXPECT_EQ(receiver.body, "");
        EXPECT_EQ(receiver.bodyLength, 0u);
    }
}

// A task released while its request runs: no crash, and its receiver is never called.
TEST(NetLibrary, ReleasedWhileRunningNeverCallsBack) {
    EnsureLoaded();
    const int port = FreeLoopbackPort();
    ASSERT_NE(port, 0);
    const std::wstring url = L"http://localhost:" + std::to_wstring(port) + L"/";
    RecordingReceiver released[4];
    for (RecordingReceiver& receiver : released) {
        // A wrong call back must show as a count, not as a second release.
        receiver.releaseInCallback = false;
        NetTask* task = NetLibraryService()->CreateTask();
        ASSERT_NE(task, nullptr);
        task->SetReceiver(&receiver);
        ASSERT_NE(task->Start(0, url.c_str()), 0);
        task->Release();
    }
    // A later task to the same place ends after the released ones have had their chance.
    RecordingReceiver last;
    ASSERT_TRUE(StartNetTask(url, &last));
    ASSERT_TRUE(last.WaitDone());
    for (RecordingReceiver& receiver : released) EXPECT_EQ(receiver.calls.load(), 0);
}

class NetLibraryServer : public testing::Test {
protected:
    void SetUp() override {
        EnsureLoaded();
        ASSERT_NE(tvsp::UpdateServerClient::HttpsPort(), 0) << "run under the launcher with the update server";
        ASSERT_TRUE(server.Clear());
    }
    tvsp::UpdateServerClient server;
};

TEST_F(NetLibraryServer, ImeiQueryOverHttpsSucceedsWithTheBodyAndReachesTheServer) {
    const std::string body = "{\"imei\":\"861234567890123\",\"models\":[{\"name\":\"K2\"}]}";
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, body));
    RecordingReceiver done;
    RunTask(tvsp::UpdateServerClient::HttpsUrl("/upgrade/query?imei=861234567890123"), done);
    EXPECT_EQ(done.status, kNetTaskSucceeded);
    EXPECT_EQ(done.body, body);
    EXPECT_EQ(done.bodyLength, body.size());

    bool ok = false;
    const std::vector<std::string> requests = server.Requests(&ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /upgrade/query?imei=861234567890123 HTTP/1.1\r\n", 0), 0u) << requests[0];
}

TEST_F(NetLibraryServer, CertificateNotByTheTrustedAuthorityFails) {
    ASSERT_NE(tvsp::UpdateServerClient::WrongHttpsPort(), 0);
    ASSERT_TRUE(server.Reply("/upgrade/query", 200, "must not be read"));
    RecordingReceiver done;
    RunTask(tvsp::UpdateServerClient::WrongHttpsUrl("/upgrade/query?imei=861234567890123"), done);
    EXPECT_EQ(done.status, kNetTaskFailed);
    EXPECT_EQ(done.body, "");
    EXPECT_EQ(done.bodyLength, 0u);
}

// Every way a reply can go wrong ends as status 3 with an empty body; the good ones as status 2.
TEST_F(NetLibraryServer, RepliesOfEachKind) {
    struct Row {
        const char* name;
        int status;
        std::string body;
        const char* mode;
        std::int32_t expected;
    };
    const std::string big(200000, 'b');
    const Row rows[] = {
        {"length", 200, "plain body", "length", kNetTaskSucceeded},
        {"chunked", 200, big, "chunked", kNetTaskSucceeded},
        {"closed after the body", 200, "until close", "close", kNetTaskSucceeded},
        {"empty", 200, "", "length", kNetTaskSucceeded},
        {"not found", 404, "missing", "length", kNetTaskFailed},
        {"server error", 500, "oops", "length", kNetTaskFailed},
        {"no content", 204, "", "length", kNetTaskFailed},
        {"cut off mid-body", 200, big, "midclose", kNetTaskFailed},
        {"past the 16 MiB bound", 200, big, "endless", kNetTaskFailed},
    };
    for (const bool secure : {false, true}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (secure ? " (https)" : " (http)"));
            ASSERT_TRUE(server.Reply("/r", row.status, row.body, row.mode));
            RecordingReceiver done;
            RunTask(secure ? tvsp::UpdateServerClient::HttpsUrl("/r") : tvsp::UpdateServerClient::HttpUrl("/r"), done);
            EXPECT_EQ(done.status, row.expected);
            const std::string& expected = row.expected == kNetTaskSucceeded ? row.body : std::string();
            // Sizes first: a mismatch of a long body is not printed whole.
            EXPECT_EQ(done.body.size(), expected.size());
            EXPECT_EQ(done.bodyLength, expected.size());
            EXPECT_TRUE(done.body == expected);
        }
    }
}

}  // namespace
}  // namespace TVSP
