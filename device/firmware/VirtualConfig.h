// Configuration of the virtual instrument: the signals at its three inputs
// and the instrument switches (how many instruments, large memory, clock,
// faults). VIRTUAL.md describes the text format; applyVirtualConfig parses
// it. Pure: text in, settings out, no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace::device {

enum class Shape { Sine, Square, Triangle, Sawtooth, Pulse, Dc, Noise };

// One term of an input's signal. Periodic shapes are offset + amplitude x
// shape(phase); Pulse runs from offset to offset + amplitude; Dc is offset
// alone; Noise is Gaussian with rms volts. Volts at the input connector.
struct SignalTerm {
    Shape shape = Shape::Dc;
    double frequencyHz = 1000.0;
    double amplitude = 0.0;
    double offset = 0.0;
    double phaseDeg = 0.0;
    double duty = 0.5;  // fraction of the period at the high level (square, pulse)
    double rms = 0.0;

    bool operator==(const SignalTerm&) const = default;
};

using SignalSpec = std::vector<SignalTerm>;

enum InputIndex { kInputCh1 = 0, kInputCh2 = 1, kInputExt = 2, kInputCount = 3 };

// Fail call `call` (1 = the first) of library function `function` with major
// code `code`; `detail` is the minor code (code 12) or the OS error (code 1).
struct FaultRule {
    std::string function;
    uint32_t call = 1;
    uint32_t code = 0;
    uint32_t detail = 0;

    bool operator==(const FaultRule&) const = default;
};

// How the library reaches the instruments: through the driver on the host
// kernel model's virtual USB bus, or by calling their endpoints directly.
enum class TransportKind { Driver, Direct };

struct VirtualConfig {
    TransportKind transport = TransportKind::Driver;
    unsigned instruments = 1;
    bool largeMemory = true;
    uint8_t firmwareVersion = 123;
    uint8_t fpgaVersion = 105;
    std::optional<uint64_t> seed;             // none: a new random seed at each power-on
    double timescale = 1.0;                   // instrument seconds per wall-clock second
    int64_t clockStepPs = 0;                  // > 0: time moves only by this much per command
    int64_t autoTimeoutPs = 100'000'000'000;  // 100 ms
    int64_t unplugAfterPs = -1;               // < 0: never
    uint32_t failAcquisition = 0;             // the n-th acquisition fails (0: none)
    uint16_t failAcquisitionMinor = 6;
    std::array<SignalSpec, kInputCount> inputs;
    std::vector<FaultRule> faults;
};

struct ConfigError {
    int line = 0;  // 1-based statement line
    std::string message;
};

inline constexpr unsigned kMaxInstruments = 8;
inline constexpr std::size_t kMaxSignalTerms = 16;

// The instrument as shipped: signals that look right at the program's
// default panel settings.
VirtualConfig defaultVirtualConfig();

// Applies the statements of `text` on top of `config`. A statement with an
// error is skipped whole and reported; the others take effect.
std::vector<ConfigError> applyVirtualConfig(std::string_view text, VirtualConfig& config);

// Library functions that a fault rule may name.
bool isFailableFunction(std::string_view name);

}  // namespace lumatrace::device
