// The value of --remote.
#include <gtest/gtest.h>

#include "app/remote/RemoteAddress.h"

namespace lumatrace {
namespace {

TEST(RemoteAddress, AcceptedForms) {
    struct Case {
        const char* text;
        const char* address;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"", "127.0.0.1", 5025},
        {"5025", "127.0.0.1", 5025},
        {"6000", "127.0.0.1", 6000},
        {"0", "127.0.0.1", 0},
        {"65535", "127.0.0.1", 65535},
        {"00080", "127.0.0.1", 80},
        {"127.0.0.1:5025", "127.0.0.1", 5025},
        {"0.0.0.0:5025", "0.0.0.0", 5025},
        {"192.168.1.20:7000", "192.168.1.20", 7000},
        {"localhost:5025", "127.0.0.1", 5025},
        {"[::1]:5025", "::1", 5025},
        {"[::]:1", "::", 1},
        {"[fe80::1:2]:5025", "fe80::1:2", 5025},
    };
    for (const Case& c : cases) {
        const RemoteEndpointResult r = ParseRemoteEndpoint(c.text);
        ASSERT_TRUE(r.endpoint.has_value()) << c.text << ": " << r.error;
        EXPECT_EQ(r.endpoint->address, c.address) << c.text;
        EXPECT_EQ(r.endpoint->port, c.port) << c.text;
        EXPECT_TRUE(r.error.empty()) << c.text;
    }
}

TEST(RemoteAddress, RefusedFormsSayWhy) {
    const char* refused[] = {
        "65536",          "-1",         "+5025",       "50 25",        "port",
        "5025:",          ":5025",      "127.0.0.1",   "127.0.0.1:",   "127.0.0.1:x",
        "256.0.0.1:5025", "1.2.3:5025", "host:5025",   "::1:5025",     "[::1]",
        "[::1]5025",      "[::1:5025",  "[1.2.3.4]:1", "[zz::1]:5025", "1.2.3.4:99999",
        "1.2.3.4:5025:1",
    };
    for (const char* text : refused) {
        const RemoteEndpointResult r = ParseRemoteEndpoint(text);
        EXPECT_FALSE(r.endpoint.has_value()) << text;
        EXPECT_FALSE(r.error.empty()) << text;
    }
}

}  // namespace
}  // namespace lumatrace
