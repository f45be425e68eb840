// Feeds arbitrary text to the virtual instrument's configuration parser and
// checks that whatever it accepts stays within the instrument's limits.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "device/firmware/VirtualConfig.h"

using namespace lumatrace::device;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    VirtualConfig config = defaultVirtualConfig();
    for (const ConfigError& e : applyVirtualConfig(text, config)) {
        require(e.line >= 1);
        require(!e.message.empty());
    }
    require(config.instruments <= kMaxInstruments);
    require(config.timescale >= 0.001 && config.timescale <= 1000.0);
    require(config.clockStepPs >= 0);
    require(config.autoTimeoutPs >= 1'000'000);
    for (const SignalSpec& spec : config.inputs) {
        require(spec.size() <= kMaxSignalTerms);
        for (const SignalTerm& t : spec) {
            require(t.frequencyHz > 0.0 && t.frequencyHz <= 1e9);
            require(std::fabs(t.amplitude) <= 1000.0 && std::fabs(t.offset) <= 1000.0);
            require(t.duty > 0.0 && t.duty < 1.0);
            require(t.rms >= 0.0 && t.rms <= 1000.0);
            require(std::isfinite(t.phaseDeg));
        }
    }
    for (const FaultRule& f : config.faults) {
        require(isFailableFunction(f.function));
        require(f.call >= 1 && f.code >= 1 && f.code <= 12 && f.detail <= 0xFFFF);
    }
    return 0;
}
