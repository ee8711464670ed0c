// The client check's XML answer read through Wine's XML DOM, as a table of replies.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/win/strings.h"
#include "update/client_check_reply.h"

namespace TVSP {
namespace {

TEST(ClientCheckReply, Table) {
    struct Row {
        const wchar_t* name;
        const wchar_t* text;
        bool parsed;
        const wchar_t* version;
        const wchar_t* url;
    };
    const Row rows[] = {
        {L"plain", L"<result><updateinfo><version>1.0.4</version><url>http://h/u.cab</url></updateinfo></result>", true,
         L"1.0.4", L"http://h/u.cab"},
        {L"with a declaration and white space",
         L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<result>\r\n  <updateinfo>\r\n    <version>2.0.0</version>\r\n"
         L"    <url>http://h/2.cab</url>\r\n  </updateinfo>\r\n</result>\r\n",
         true, L"2.0.0", L"http://h/2.cab"},
        {L"names in another case", L"<RESULT><UpdateInfo><VERSION>1.1</VERSION><Url>http://h/x</Url></UpdateInfo></RESULT>",
         true, L"1.1", L"http://h/x"},
        {L"a duplicate: the later wins",
         L"<result><updateinfo><version>1</version><version>2</version><url>a</url><url>b</url></updateinfo></result>",
         true, L"2", L"b"},
        {L"other children ignored", L"<result><updateinfo><notes>n</notes><version>3</version></updateinfo><x/></result>",
         true, L"3", L""},
        {L"no version element", L"<result><updateinfo><url>http://h/x</url></updateinfo></result>", true, L"", L"http://h/x"},
        {L"wrong root", L"<reply><updateinfo><version>1</version></updateinfo></reply>", false, L"", L""},
        {L"wrong first child", L"<result><info/><updateinfo><version>1</version></updateinfo></result>", false, L"", L""},
        {L"no children", L"<result/>", false, L"", L""},
        {L"not XML", L"version=1.0.4", false, L"", L""},
        {L"unclosed", L"<result><updateinfo><version>1", false, L"", L""},
        {L"empty", L"", false, L"", L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        const auto reply = ParseClientCheckReply(row.text);
        ASSERT_EQ(reply.has_value(), row.parsed);
        if (!reply) continue;
        EXPECT_EQ(reply->version, row.version);
        EXPECT_EQ(reply->url, row.url);
    }
}

}  // namespace
}  // namespace TVSP
