// The command protocol between the device access library and the instrument,
// carried as the payload of bulk transfers. PROTOCOL.md describes it in full;
// this header is the one definition both sides compile against.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumatrace::device::protocol {

// One bulk read or write moves at most this many bytes (the driver's limit).
inline constexpr std::size_t kMaxTransfer = 65536;

enum Opcode : uint16_t {
    kGetInfo = 0x0001,
    kSetMode = 0x0010,
    kStart = 0x0011,
    kStop = 0x0012,
    kGetStatus = 0x0013,
    kGetData = 0x0014,
    kGetPhase = 0x0015,
    // Unsolicited messages of the instrument, sent between responses.
    kEventProgress = 0x8001,
    kEventFailure = 0x8002,
};

// Result codes of a response; a non-zero code other than kBadParameter and
// kNoLargeMemory is reported to the program as a device error with this
// value as its minor code.
enum Result : uint16_t {
    kOk = 0,
    kUnknownCommand = 1,
    kMalformed = 2,
    kBadParameter = 3,  // detail: index of the offending word or argument
    kNoLargeMemory = 4,
    kNoTriggerPhase = 5,
    kAcquisitionFailed = 6,
};

inline constexpr std::size_t kCommandHeaderBytes = 8;
inline constexpr std::size_t kResponseHeaderBytes = 16;
inline constexpr std::size_t kModeWords = 21;
inline constexpr std::size_t kInfoBlockBytes = 26;
inline constexpr std::size_t kInfoResponseBytes = 32;  // info block, 2 zero bytes, memory size
inline constexpr std::size_t kStatusResponseBytes = 12;
inline constexpr uint32_t kMaxRecordSamples = 1000000;

struct CommandHeader {
    uint16_t opcode = 0;
    uint16_t tag = 0;
    uint32_t length = 0;  // payload bytes after the header
};

struct ResponseHeader {
    uint16_t opcode = 0;  // the command's opcode, or an event opcode
    uint16_t tag = 0;     // the command's tag; 0 for events
    uint16_t result = kOk;
    uint16_t detail = 0;
    uint32_t length = 0;  // payload bytes that follow in further transfers
    uint32_t reserved = 0;
};

// Little-endian field access, independent of the host's byte order.
inline void putU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
    putU16(p, static_cast<uint16_t>(v));
    putU16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline uint16_t getU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t getU32(const uint8_t* p) {
    return static_cast<uint32_t>(getU16(p)) | (static_cast<uint32_t>(getU16(p + 2)) << 16);
}

inline void encode(const CommandHeader& h, uint8_t* p) {
    putU16(p, h.opcode);
    putU16(p + 2, h.tag);
    putU32(p + 4, h.length);
}
inline CommandHeader decodeCommand(const uint8_t* p) {
    return {getU16(p), getU16(p + 2), getU32(p + 4)};
}
inline void encode(const ResponseHeader& h, uint8_t* p) {
    putU16(p, h.opcode);
    putU16(p + 2, h.tag);
    putU16(p + 4, h.result);
    putU16(p + 6, h.detail);
    putU32(p + 8, h.length);
    putU32(p + 12, h.reserved);
}
inline ResponseHeader decodeResponse(const uint8_t* p) {
    return {getU16(p), getU16(p + 2), getU16(p + 4), getU16(p + 6), getU32(p + 8), getU32(p + 12)};
}

}  // namespace lumatrace::device::protocol
