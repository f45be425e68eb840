#include "app/core/DeviceStartup.h"
#include "app/platform/UiText.h"

namespace lumatrace {

std::string LibraryLoadFailureText(std::string_view fileName) {
    std::string text(fileName);
    text += UiText("Messages", " のロードに失敗しました。");
    return text;
}

void OpenInstrument(DeviceSession& session, DeviceStartup& startup) {
    if (!session.OpenDevice()) {
        startup.message = UiText("Messages", "使用可能なデバイスがありません。\r\n[ ") +
                          session.LastErrorText() + " ]";
        startup.deviceReady = false;
    }
}

void ReadInstrumentMemory(DeviceSession& session, DeviceStartup& startup) {
    if (startup.deviceReady && !session.ReadMemorySize()) {
        startup.message = UiText("Messages", "実装メモリサイズが不正です。");
        startup.deviceReady = false;
    }
}

}  // namespace lumatrace
