#include "device/firmware/FrontEnd.h"

#include <algorithm>

namespace lumatrace::device {

uint32_t AcquisitionMode::recordLength() const {
    static constexpr uint32_t kLengths[3] = {10000, 100000, 1000000};
    return kLengths[memoryIndex];
}

Picoseconds AcquisitionMode::sampleInterval() const {
    return static_cast<Picoseconds>(equivalentTime ? 10 : sampleIntervalNs) * 1000;
}

AcquisitionMode powerOnMode() {
    return AcquisitionMode{};
}

protocol::Result decodeMode(const uint32_t* w, bool largeMemory, AcquisitionMode& out,
                            uint16_t& detail) {
    // Largest value of each word; words 7, 17 and 20 have further rules.
    static constexpr uint32_t kMax[protocol::kModeWords] = {
        7, 7, 500, 500, 1, 1, 2, 10000000, 1, 1, 1, 1, 2, 2, 2, 1, 500, 999999, 3999999, 2, 655350};
    for (std::size_t i = 0; i < protocol::kModeWords; ++i) {
        if (w[i] > kMax[i]) {
            detail = static_cast<uint16_t>(i);
            return protocol::kBadParameter;
        }
    }
    auto bad = [&](uint16_t word) {
        detail = word;
        return protocol::kBadParameter;
    };
    if (w[7] < 10 || w[7] % 10 != 0)
        return bad(7);
    if (w[20] % 10 != 0)
        return bad(20);
    if (w[10] == 1 && w[11] == 1)
        return bad(11);
    if (w[6] == 2 && !largeMemory) {
        detail = 6;
        return protocol::kNoLargeMemory;
    }
    AcquisitionMode m;
    for (int ch = 0; ch < 2; ++ch) {
        m.channel[ch].voltsPerDivIndex = w[0 + ch];
        m.channel[ch].positionWord = w[2 + ch];
        m.channel[ch].acCoupled = w[4 + ch] == 1;
        m.channel[ch].bandwidthLimited = w[8 + ch] == 1;
    }
    m.memoryIndex = w[6];
    m.sampleIntervalNs = w[7];
    m.equivalentTime = w[10] == 1;
    m.roll = w[11] == 1;
    m.triggerMode = w[12];
    m.triggerSource = w[13];
    m.triggerCoupling = w[14];
    m.fallingSlope = w[15] == 1;
    m.levelWord = w[16];
    m.triggerPosition = w[17];
    m.delayIntervals = w[18];
    m.pulseCondition = w[19];
    m.pulseWidthNs = w[20];
    if (m.triggerPosition >= m.recordLength())
        return bad(17);
    out = m;
    return protocol::kOk;
}

double codesPerVolt(uint32_t voltsPerDivMv) {
    // 1024 codes span ten divisions.
    return 1024.0 / (10.0 * voltsPerDivMv / 1000.0);
}

double zeroCode(uint32_t positionWord) {
    return positionWord * 2.048;
}

namespace {

FilterChain channelChain(const ChannelSetting& s) {
    return s.bandwidthLimited ? FilterChain::lowPass(kBandwidthLimitHz) : FilterChain::identity();
}

FilterChain couplingChain(uint32_t coupling) {
    switch (coupling) {
        case 1:
            return FilterChain::highPass(kTriggerRejectHz);
        case 2:
            return FilterChain::lowPass(kTriggerRejectHz);
        default:
            return FilterChain::identity();
    }
}

}  // namespace

std::shared_ptr<const CompiledSignal> compileChannel(const SignalSpec& signal,
                                                     const ChannelSetting& s, uint64_t noiseSeed) {
    return std::make_shared<const CompiledSignal>(signal, channelChain(s), s.acCoupled,
                                                  codesPerVolt(kVoltsPerDivMv[s.voltsPerDivIndex]),
                                                  zeroCode(s.positionWord), noiseSeed);
}

std::shared_ptr<const CompiledSignal> compileTriggerPath(
    const std::array<SignalSpec, kInputCount>& inputs, const AcquisitionMode& mode) {
    FilterChain coupling = couplingChain(mode.triggerCoupling);
    if (mode.triggerSource == kInputExt) {
        return std::make_shared<const CompiledSignal>(inputs[kInputExt], coupling, false,
                                                      codesPerVolt(kExtVoltsPerDivMv), 512.0, 0);
    }
    const ChannelSetting& s = mode.channel[mode.triggerSource];
    return std::make_shared<const CompiledSignal>(
        inputs[mode.triggerSource], channelChain(s).then(coupling), s.acCoupled,
        codesPerVolt(kVoltsPerDivMv[s.voltsPerDivIndex]), zeroCode(s.positionWord), 0);
}

}  // namespace lumatrace::device
