#include "app/remote/RemoteAddress.h"

#include <arpa/inet.h>

#include <cstring>

namespace lumatrace {

namespace {

RemoteEndpointResult Refuse(std::string why) {
    return {std::nullopt, std::move(why)};
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

bool IsAddress(int family, const std::string& text) {
    unsigned char buffer[16];
    return inet_pton(family, text.c_str(), buffer) == 1;
}

}  // namespace

RemoteEndpointResult ParseRemoteEndpoint(std::string_view text) {
    RemoteEndpoint endpoint{std::string(kDefaultRemoteAddress), kDefaultRemotePort};
    if (text.empty()) {
        return {endpoint, {}};
    }
    std::string_view portText = text;
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return Refuse("'[' without ']' in \"" + std::string(text) + "\"");
        }
        endpoint.address = std::string(text.substr(1, close - 1));
        if (!IsAddress(AF_INET6, endpoint.address)) {
            return Refuse("\"" + endpoint.address + "\" is not an IPv6 address");
        }
        if (close + 1 >= text.size() || text[close + 1] != ':') {
            return Refuse("a port must follow \"[" + endpoint.address + "]:\"");
        }
        portText = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        if (text.find(':') != colon) {
            return Refuse("an IPv6 address is written in brackets: [::1]:5025");
        }
        endpoint.address = std::string(text.substr(0, colon));
        if (endpoint.address == "localhost") {
            endpoint.address = std::string(kDefaultRemoteAddress);
        } else if (!IsAddress(AF_INET, endpoint.address)) {
            return Refuse("\"" + endpoint.address + "\" is not an IPv4 address");
        }
        portText = text.substr(colon + 1);
    }
    const auto port = ParsePort(portText);
    if (!port) {
        return Refuse("\"" + std::string(portText) + "\" is not a port number (0..65535)");
    }
    endpoint.port = *port;
    return {endpoint, {}};
}

}  // namespace lumatrace
