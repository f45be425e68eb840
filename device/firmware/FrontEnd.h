// The instrument's reading of the 21-word mode record and its analogue
// front end: input ranges, positions, coupling, bandwidth limit, trigger
// pick-off, and the 10-bit converter.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <memory>

#include "device/firmware/SignalModel.h"
#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {

struct ChannelSetting {
    uint32_t voltsPerDivIndex = 2;  // Table of ranges: 10 mV .. 2 V per division
    uint32_t positionWord = 250;    // 500 - trace position; zero code = word x 2.048
    bool acCoupled = false;
    bool bandwidthLimited = false;

    bool operator==(const ChannelSetting&) const = default;
};

struct AcquisitionMode {
    std::array<ChannelSetting, 2> channel;
    uint32_t memoryIndex = 0;
    uint32_t sampleIntervalNs = 200;
    bool equivalentTime = false;
    bool roll = false;
    uint32_t triggerMode = 0;  // 0 auto, 1 normal, 2 free run
    uint32_t triggerSource = 0;
    uint32_t triggerCoupling = 0;  // 0 DC, 1 LF reject, 2 HF reject
    bool fallingSlope = false;
    uint32_t levelWord = 250;  // level code = word x 2.048
    uint32_t triggerPosition = 5000;
    uint32_t delayIntervals = 0;
    uint32_t pulseCondition = 0;  // 0 off, 1 under, 2 above
    uint32_t pulseWidthNs = 10;

    uint32_t recordLength() const;
    // Equivalent-time passes always sample every 10 ns.
    Picoseconds sampleInterval() const;
};

// The mode the instrument powers up with (the program's defaults).
AcquisitionMode powerOnMode();

// Checks and decodes a mode record. On failure returns kBadParameter with
// the index of the first bad word in `detail`, or kNoLargeMemory.
protocol::Result decodeMode(const uint32_t* words, bool largeMemory, AcquisitionMode& mode,
                            uint16_t& detail);

inline constexpr uint32_t kVoltsPerDivMv[8] = {10, 20, 50, 100, 200, 500, 1000, 2000};
inline constexpr double kBandwidthLimitHz = 20e6;
inline constexpr double kTriggerRejectHz = 50e3;
inline constexpr uint32_t kExtVoltsPerDivMv = 500;

// Codes per volt at the converter for a range, and the zero code of a position.
double codesPerVolt(uint32_t voltsPerDivMv);
double zeroCode(uint32_t positionWord);
// Round half to even, clip to 0..1023. Inline: it runs for every sample.
inline uint32_t quantise(double code) {
    // Clipping first is the same as clipping the rounded value. Adding
    // 1.5 x 2^52 then leaves the nearest integer (ties to even, the default
    // rounding mode) in the low bits of the sum, without a conversion.
    double c = code > 0.0 ? code : 0.0;  // also maps NaN to 0
    c = c < 1023.0 ? c : 1023.0;
    return static_cast<uint32_t>(std::bit_cast<uint64_t>(c + 0x1.8p52)) & 0x3FF;
}

// What the converter of one channel sees.
std::shared_ptr<const CompiledSignal> compileChannel(const SignalSpec& signal,
                                                     const ChannelSetting& setting,
                                                     uint64_t noiseSeed);

// What the trigger comparator sees, in the source's code scale (EXT: 500
// mV/div, zero at code 512, DC coupled, no bandwidth limit). Noise-free:
// the comparator's hysteresis is taken to exceed the noise.
std::shared_ptr<const CompiledSignal> compileTriggerPath(
    const std::array<SignalSpec, kInputCount>& inputs, const AcquisitionMode& mode);

}  // namespace lumatrace::device
