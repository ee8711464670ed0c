// Tests of the update server's command line.
#include "testing/update-server/options.h"

#include <gtest/gtest.h>

namespace tvsp::updsrv {
namespace {

TEST(update_server_options, FullCommandLine) {
    std::string error;
    const auto o = ParseOptions({"--http-port", "8080", "--https-port", "8443", "--cert", "c.pem", "--key", "k.pem",
                                 "--wrong-port", "9443", "--wrong-cert", "w.pem", "--wrong-key", "wk.pem",
                                 "--control-port", "7000", "--ready-file", "/r", "--prefix", "/p"},
                                &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->httpPort, 8080);
    EXPECT_EQ(o->httpsPort, 8443);
    EXPECT_EQ(o->wrongPort, 9443);
    EXPECT_EQ(o->controlPort, 7000);
    EXPECT_EQ(o->cert, "c.pem");
    EXPECT_EQ(o->key, "k.pem");
    EXPECT_EQ(o->wrongCert, "w.pem");
    EXPECT_EQ(o->wrongKey, "wk.pem");
    EXPECT_EQ(o->readyFile, "/r");
    EXPECT_EQ(o->prefix, "/p");
}

TEST(update_server_options, DefaultsPickFreePortsWithoutHttps) {
    const auto o = ParseOptions({}, nullptr);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->httpPort, 0);
    EXPECT_EQ(o->controlPort, 0);
    EXPECT_TRUE(o->cert.empty());
    EXPECT_TRUE(o->wrongCert.empty());
}

TEST(update_server_options, BadCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {"--http-port"},
        {"--http-port", "65536"},
        {"--http-port", "-1"},
        {"--control-port", "12x"},
        {"--cert", "c.pem"},
        {"--key", "k.pem"},
        {"--wrong-cert", "w.pem"},
        {"--https-port", "8443"},
        {"--wrong-port", "9443", "--cert", "c", "--key", "k"},
        {"--ready-file", ""},
        {"--bogus"},
    };
    for (const auto& args : cases) {
        std::string error;
        EXPECT_FALSE(ParseOptions(args, &error)) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace tvsp::updsrv
