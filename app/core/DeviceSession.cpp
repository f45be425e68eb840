#include "app/core/DeviceSession.h"

#include <cinttypes>
#include <cstdio>

namespace lumatrace {

namespace {

std::string Format(const char* format, auto... values) {
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

}  // namespace

std::string ErrorCodeText(std::uint32_t word) {
    if (word == kUnboundErrorWord) {
        return "ZEP9100_ERR_WRAPDLL";
    }
    const std::uint32_t major = word & 0xFFFFu;
    const std::uint32_t high = word >> 16;
    switch (major) {
        case 1:
            // The library carries the operating system's error number in the
            // high half, so it survives the calls made since the failure.
            return Format("ZEP9100_ERR_SYSTEM (Error code: %" PRIX32 "H)", high);
        case 2:
            return "ZEP9100_ERR_NO_DEVICE";
        case 3:
            return "ZEP9100_ERR_IN_USE";
        case 4:
            return "ZEP9100_ERR_INVALID_DEVICENO";
        case 5:
            return "ZEP9100_ERR_INVALID_ARGUMENT";
        case 6:
            return "ZEP9100_ERR_INTERNAL";
        case 7:
            return "ZEP9100_ERR_TRANSFER_TIMEOUT";
        case 8:
            return "ZEP9100_ERR_TRANSFER_CANCEL";
        case 9:
            return "ZEP9100_ERR_TRANSFER_FAIL";
        case 10:
            return "ZEP9100_ERR_BUFF_OVERFLOW";
        case 11:
            return "ZEP9100_ERR_MEMSIZE";
        case 12:
            return Format("ZEP9100_ERR_DEVICE (Minor Error code: %" PRIu32 ")", high);
        default:
            return Format("Undefined Error (code: %" PRId32 ")", static_cast<std::int32_t>(word));
    }
}

DeviceMessage ClassifyDeviceMessage(std::uint32_t message, std::intptr_t lParam) {
    if (lParam != kDeviceMessageLParam) {
        return DeviceMessage::Ignored;
    }
    if (message == kMsgDataArrival) {
        return DeviceMessage::DataArrival;
    }
    if (message == kMsgAcquisitionFailed) {
        return DeviceMessage::AcquisitionFailed;
    }
    return DeviceMessage::Ignored;
}

DeviceSession::DeviceSession(DeviceLibrary& library, Clock& clock, SampleBuffer& fetch)
    : library_(library), clock_(clock), fetch_(fetch) {
    ResetFields();
    notifier_.post = &DeviceSession::Post;
    notifier_.context = this;
}

void DeviceSession::ResetFields() {
    deviceNo = 0xFFFF;
    driverVersion = 0xFFFFFFFFu;
    libraryVersion = 0xFFFFFFFFu;
    memorySize = 0xFFFFFFFFu;
    deviceInfo.fill(0xFF);
}

void DeviceSession::Post(void* context, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    auto* self = static_cast<DeviceSession*>(context);
    if (self->post_) {
        self->post_(message, wParam, lParam);
    }
}

bool DeviceSession::Done(std::uint32_t result, std::string_view call, std::string_view detail) {
    const bool ok = (result & 0xFFu) != 0;
    if (log_ != nullptr) {
        std::string line(call);
        if (!detail.empty()) {
            line += ' ';
            line += detail;
        }
        line += ok ? " : OK" : " : NG [" + LastErrorText() + "]";
        log_->Write(line);
    }
    return ok;
}

bool DeviceSession::Bind(LibraryLoader& loader, const std::string& fileName) {
    std::string error;
    const bool ok = BindDeviceLibrary(library_, loader, fileName, &error);
    if (ok) {
        ResetFields();
    }
    if (log_ != nullptr) {
        log_->Write("Bind " + fileName + (ok ? " : OK" : " : NG [" + error + "]"));
    }
    return ok;
}

bool DeviceSession::Unbind() {
    const bool ok = UnbindDeviceLibrary(library_);
    if (log_ != nullptr) {
        log_->Write(ok ? "Unbind : OK" : "Unbind : NG");
    }
    return ok;
}

bool DeviceSession::ReadVersion() {
    const bool ok = Done(library_.GetVersion(&driverVersion, &libraryVersion), "GetVersion");
    if (ok && log_ != nullptr) {
        log_->Write(
            Format("  driver %08" PRIX32 " library %08" PRIX32, driverVersion, libraryVersion));
    }
    return ok;
}

bool DeviceSession::OpenDevice() {
    const bool ok = Done(library_.Create(&deviceNo, &notifier_, kDeviceMessageBase), "Create");
    if (ok && log_ != nullptr) {
        log_->Write(Format("  device %u", static_cast<unsigned>(deviceNo)));
    }
    return ok;
}

bool DeviceSession::CloseDevice() {
    return Done(library_.Close(deviceNo), "Close");
}

bool DeviceSession::ReadDeviceInfo() {
    const bool ok = Done(library_.GetDevInfo(deviceNo, deviceInfo.data()), "GetDevInfo");
    if (ok && log_ != nullptr) {
        log_->Write(Format("  firmware %u FPGA %u", static_cast<unsigned>(deviceInfo[24]),
                           static_cast<unsigned>(deviceInfo[25])));
    }
    return ok;
}

bool DeviceSession::ReadMemorySize() {
    const bool ok = Done(library_.GetMemSize(deviceNo, &memorySize), "GetMemSize");
    if (ok && log_ != nullptr) {
        log_->Write(Format("  memory %" PRIu32, memorySize));
    }
    return ok;
}

bool DeviceSession::SendMode() {
    std::string words;
    if (log_ != nullptr) {
        for (std::uint32_t w : modeRecord) {
            words += Format(words.empty() ? "%" PRIu32 : ",%" PRIu32, w);
        }
    }
    return Done(library_.SetMode(deviceNo, modeRecord.data()), "SetMode", words);
}

bool DeviceSession::StartSampling(std::uint32_t& startTick) {
    const std::uint32_t result = library_.StartSampling(deviceNo, startFlag);
    startTick = TickMs();
    return Done(result, "StartSampling", Format("flag %" PRIu32, startFlag));
}

bool DeviceSession::StopSampling() {
    return Done(library_.StopSampling(deviceNo), "StopSampling");
}

bool DeviceSession::ReadStatus() {
    deviceStatus = 0xFFFFFFFFu;
    sampleCount = 0;
    statusExtra = 0;
    const std::uint32_t result =
        library_.GetStatus(deviceNo, &deviceStatus, &sampleCount, &statusExtra);
    const bool ok = (result & 0xFFu) != 0;
    // Polled every 10 ms: only changes of the status and failures are worth a line.
    if (!ok || deviceStatus != loggedStatus_) {
        loggedStatus_ = ok ? deviceStatus : 0xFFFFFFFEu;
        return Done(result, "GetStatus",
                    Format("status %" PRIu32 " count %" PRIu32, deviceStatus, sampleCount));
    }
    return ok;
}

bool DeviceSession::ReadData() {
    ClearRecordBelow(fetch_, fetchExtent_);
    fetchExtent_ = 0;
    if (sampleCount > kBufferWords) {
        if (log_ != nullptr) {
            log_->Write(
                Format("GetData count %" PRIu32 " : refused, beyond the buffer", sampleCount));
        }
        return false;
    }
    // The library writes at most the words asked for, whatever its result.
    fetchExtent_ = sampleCount;
    return Done(library_.GetData(deviceNo, sampleCount, fetch_.data()), "GetData",
                Format("count %" PRIu32, sampleCount));
}

bool DeviceSession::ReadEquPhase() {
    equPhase = 0xFFFFFFFFu;
    const bool ok = Done(library_.GetEquData(deviceNo, &equPhase), "GetEquData");
    if (!ok) {
        equPhase = 0xFFFFFFFFu;
    } else if (equPhase > kMaxEquPhase) {
        equPhase = kMaxEquPhase;
    }
    return ok;
}

std::string DeviceSession::LastErrorText() const {
    return ErrorCodeText(library_.GetLastError());
}

}  // namespace lumatrace
