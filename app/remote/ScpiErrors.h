// The error/event queue of the remote interface and the IEEE 488.2 status
// bytes it feeds.
//
// Numbers and texts are the standard ones, so that a client's generic error
// handling understands them. A queued entry may carry a device-dependent
// detail after the text, separated by ';' as the standard allows:
// -222,"Data out of range;V/div 10 mV .. 2 V".
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace lumatrace {

// Error and event numbers used by the remote interface.
namespace scpi_error {
inline constexpr int kNoError = 0;
inline constexpr int kCommandError = -100;
inline constexpr int kInvalidCharacter = -101;
inline constexpr int kSyntaxError = -102;
inline constexpr int kInvalidSeparator = -103;
inline constexpr int kDataTypeError = -104;
inline constexpr int kParameterNotAllowed = -108;
inline constexpr int kMissingParameter = -109;
inline constexpr int kCommandHeaderError = -110;
inline constexpr int kHeaderSeparatorError = -111;
inline constexpr int kMnemonicTooLong = -112;
inline constexpr int kUndefinedHeader = -113;
inline constexpr int kHeaderSuffixOutOfRange = -114;
inline constexpr int kNumericDataError = -120;
inline constexpr int kInvalidCharacterInNumber = -121;
inline constexpr int kExponentTooLarge = -123;
inline constexpr int kTooManyDigits = -124;
inline constexpr int kInvalidSuffix = -131;
inline constexpr int kSuffixTooLong = -134;
inline constexpr int kSuffixNotAllowed = -138;
inline constexpr int kInvalidCharacterData = -141;
inline constexpr int kCharacterDataTooLong = -144;
inline constexpr int kInvalidStringData = -151;
inline constexpr int kInvalidBlockData = -161;
inline constexpr int kExecutionError = -200;
inline constexpr int kSettingsConflict = -221;
inline constexpr int kDataOutOfRange = -222;
inline constexpr int kIllegalParameterValue = -224;
inline constexpr int kDataCorruptOrStale = -230;
inline constexpr int kHardwareError = -240;
inline constexpr int kMassStorageError = -250;
inline constexpr int kFileNameNotFound = -256;
inline constexpr int kFileNameError = -257;
inline constexpr int kQueueOverflow = -350;
inline constexpr int kInputBufferOverrun = -363;
inline constexpr int kQueryInterrupted = -410;
inline constexpr int kQueryUnterminated = -420;
}  // namespace scpi_error

// The standard text of an error number; the generic text of its class for a
// number this interface does not name ("Command error" for -1xx and so on).
std::string_view ScpiErrorText(int code);

// True for -100..-199: errors the parser finds in the message itself. After
// one the rest of the program message is not executed.
bool IsScpiCommandError(int code);

// Standard Event Status Register bits (IEEE 488.2, 11.5.1).
namespace scpi_esr {
inline constexpr std::uint8_t kOperationComplete = 0x01;
inline constexpr std::uint8_t kQueryError = 0x04;
inline constexpr std::uint8_t kDeviceError = 0x08;
inline constexpr std::uint8_t kExecutionError = 0x10;
inline constexpr std::uint8_t kCommandError = 0x20;
inline constexpr std::uint8_t kPowerOn = 0x80;
}  // namespace scpi_esr

// Status Byte bits: the SCPI error-queue summary, the event summary and the
// master summary.
namespace scpi_stb {
inline constexpr std::uint8_t kErrorQueue = 0x04;
inline constexpr std::uint8_t kEventSummary = 0x20;
inline constexpr std::uint8_t kMasterSummary = 0x40;
}  // namespace scpi_stb

struct ScpiErrorEntry {
    int code = 0;
    std::string detail;  // may be empty

    bool operator==(const ScpiErrorEntry&) const = default;
};

// The error/event queue and the status registers of one instrument, shared
// by every client: errors are the instrument's, not a connection's.
class ScpiStatus {
  public:
    // Queue length before overflow; at least 2.
    explicit ScpiStatus(std::size_t capacity = 32);

    // Queues an error and sets its class bit in the event status register.
    // A full queue keeps its oldest entries and its last one becomes -350
    // "Queue overflow"; further errors are dropped until one is read.
    void Push(int code, std::string detail = {});
    // Oldest entry, removed; 0 "No error" when the queue is empty.
    ScpiErrorEntry Pop();
    std::size_t Count() const { return queue_.size(); }
    std::size_t Capacity() const { return capacity_; }

    // *CLS: the queue and the event status register are cleared.
    void Clear();

    // *ESR? reads and clears the event status register.
    std::uint8_t ReadEventStatus();
    std::uint8_t EventStatus() const { return esr_; }
    void SetEventBits(std::uint8_t bits) { esr_ |= bits; }
    std::uint8_t eventEnable = 0;    // *ESE
    std::uint8_t serviceEnable = 0;  // *SRE
    // *STB?: error-queue, event and master summaries.
    std::uint8_t StatusByte() const;

  private:
    std::size_t capacity_;
    std::deque<ScpiErrorEntry> queue_;
    std::uint8_t esr_ = scpi_esr::kPowerOn;
};

// An entry as :SYSTem:ERRor? answers it: -113,"Undefined header;FOO".
std::string FormatScpiError(const ScpiErrorEntry& entry);

}  // namespace lumatrace
