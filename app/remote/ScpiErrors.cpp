#include "app/remote/ScpiErrors.h"

#include <algorithm>
#include <array>
#include <utility>

#include "app/remote/ScpiResponse.h"

namespace lumatrace {

namespace {

struct ErrorText {
    int code;
    std::string_view text;
};

constexpr std::array kTexts = {
    ErrorText{0, "No error"},
    ErrorText{-100, "Command error"},
    ErrorText{-101, "Invalid character"},
    ErrorText{-102, "Syntax error"},
    ErrorText{-103, "Invalid separator"},
    ErrorText{-104, "Data type error"},
    ErrorText{-108, "Parameter not allowed"},
    ErrorText{-109, "Missing parameter"},
    ErrorText{-110, "Command header error"},
    ErrorText{-111, "Header separator error"},
    ErrorText{-112, "Program mnemonic too long"},
    ErrorText{-113, "Undefined header"},
    ErrorText{-114, "Header suffix out of range"},
    ErrorText{-120, "Numeric data error"},
    ErrorText{-121, "Invalid character in number"},
    ErrorText{-123, "Exponent too large"},
    ErrorText{-124, "Too many digits"},
    ErrorText{-128, "Numeric data not allowed"},
    ErrorText{-130, "Suffix error"},
    ErrorText{-131, "Invalid suffix"},
    ErrorText{-134, "Suffix too long"},
    ErrorText{-138, "Suffix not allowed"},
    ErrorText{-140, "Character data error"},
    ErrorText{-141, "Invalid character data"},
    ErrorText{-144, "Character data too long"},
    ErrorText{-148, "Character data not allowed"},
    ErrorText{-150, "String data error"},
    ErrorText{-151, "Invalid string data"},
    ErrorText{-158, "String data not allowed"},
    ErrorText{-160, "Block data error"},
    ErrorText{-161, "Invalid block data"},
    ErrorText{-168, "Block data not allowed"},
    ErrorText{-200, "Execution error"},
    ErrorText{-220, "Parameter error"},
    ErrorText{-221, "Settings conflict"},
    ErrorText{-222, "Data out of range"},
    ErrorText{-224, "Illegal parameter value"},
    ErrorText{-230, "Data corrupt or stale"},
    ErrorText{-240, "Hardware error"},
    ErrorText{-250, "Mass storage error"},
    ErrorText{-256, "File name not found"},
    ErrorText{-257, "File name error"},
    ErrorText{-300, "Device-specific error"},
    ErrorText{-350, "Queue overflow"},
    ErrorText{-363, "Input buffer overrun"},
    ErrorText{-400, "Query error"},
    ErrorText{-410, "Query INTERRUPTED"},
    ErrorText{-420, "Query UNTERMINATED"},
};

// The standard caps an error string at 255 characters, text and detail.
constexpr std::size_t kMaxErrorString = 255;

std::uint8_t EventBitOf(int code) {
    if (code <= -100 && code > -200) {
        return scpi_esr::kCommandError;
    }
    if (code <= -200 && code > -300) {
        return scpi_esr::kExecutionError;
    }
    if (code <= -300 && code > -400) {
        return scpi_esr::kDeviceError;
    }
    if (code <= -400 && code > -500) {
        return scpi_esr::kQueryError;
    }
    return 0;
}

}  // namespace

std::string_view ScpiErrorText(int code) {
    for (const ErrorText& e : kTexts) {
        if (e.code == code) {
            return e.text;
        }
    }
    const int classCode = code / 100 * 100;
    for (const ErrorText& e : kTexts) {
        if (e.code == classCode) {
            return e.text;
        }
    }
    return "Device-specific error";
}

bool IsScpiCommandError(int code) {
    return code <= -100 && code > -200;
}

ScpiStatus::ScpiStatus(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 2)) {}

void ScpiStatus::Push(int code, std::string detail) {
    esr_ |= EventBitOf(code);
    if (queue_.size() < capacity_) {
        queue_.push_back({code, std::move(detail)});
        return;
    }
    // Full: the last place tells that something was lost.
    if (queue_.back().code != scpi_error::kQueueOverflow) {
        queue_.back() = {scpi_error::kQueueOverflow, {}};
        esr_ |= EventBitOf(scpi_error::kQueueOverflow);
    }
}

ScpiErrorEntry ScpiStatus::Pop() {
    if (queue_.empty()) {
        return {scpi_error::kNoError, {}};
    }
    ScpiErrorEntry entry = std::move(queue_.front());
    queue_.pop_front();
    return entry;
}

void ScpiStatus::Clear() {
    queue_.clear();
    esr_ = 0;
}

std::uint8_t ScpiStatus::ReadEventStatus() {
    const std::uint8_t value = esr_;
    esr_ = 0;
    return value;
}

std::uint8_t ScpiStatus::StatusByte() const {
    std::uint8_t stb = 0;
    if (!queue_.empty()) {
        stb |= scpi_stb::kErrorQueue;
    }
    if ((esr_ & eventEnable) != 0) {
        stb |= scpi_stb::kEventSummary;
    }
    if ((stb & serviceEnable & ~scpi_stb::kMasterSummary) != 0) {
        stb |= scpi_stb::kMasterSummary;
    }
    return stb;
}

std::string FormatScpiError(const ScpiErrorEntry& entry) {
    std::string text(ScpiErrorText(entry.code));
    if (!entry.detail.empty()) {
        text += ';';
        text += entry.detail;
    }
    if (text.size() > kMaxErrorString) {
        text.resize(kMaxErrorString);
    }
    return std::to_string(entry.code) + ',' + QuoteScpiString(text);
}

}  // namespace lumatrace
