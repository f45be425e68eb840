// Where the remote-control server listens: the value of --remote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumatrace {

// The raw-socket port instruments use by convention.
inline constexpr std::uint16_t kDefaultRemotePort = 5025;
// Only this machine unless the user names another address.
inline constexpr std::string_view kDefaultRemoteAddress = "127.0.0.1";

struct RemoteEndpoint {
    std::string address;                      // numeric IPv4 or IPv6 address, without brackets
    std::uint16_t port = kDefaultRemotePort;  // 0: any free port

    bool operator==(const RemoteEndpoint&) const = default;
};

struct RemoteEndpointResult {
    std::optional<RemoteEndpoint> endpoint;
    std::string error;  // why the text was refused, for the command line
};

// Parses "[ADDRESS:]PORT". An empty text (the option given without a value)
// means 127.0.0.1:5025. ADDRESS is a numeric IPv4 address, an IPv6 address
// in brackets ("[::1]:5025"), or "localhost" (127.0.0.1). PORT is 0..65535
// in decimal; 0 lets the system choose a free port.
RemoteEndpointResult ParseRemoteEndpoint(std::string_view text);

}  // namespace lumatrace
