// Starts the whole program on the virtual instrument with arbitrary bytes as
// its parameter file: decode, apply, replay and the first layout must never
// crash, abort or hang, whatever the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QApplication>
#include <QElapsedTimer>

#include "app/core/FormMain.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace {

std::filesystem::path g_folder;
QApplication* g_app = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("ZEP9100_VIRTUAL", "seed = 1", 1);
    char folder[] = "/tmp/lumatrace-startup-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::abort();
    }
    g_folder = folder;
    ::setenv("APPDATA", folder, 1);
    g_app = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumatrace;
    const std::filesystem::path dir = g_folder / "ORVEX" / "ZEP-9100";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "Zep9100.prm", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    testing::RecordingMessageBox messages;
    MainServices services;
    services.form.messages = &messages;
    services.splashMs = 0;
    services.form.workArea = [] { return WorkArea{0, 0, 1600, 1000}; };
    auto form = std::make_unique<TFormMain>(std::move(services));
    if (form->StartupFailed()) {
        std::abort();  // the libraries sit beside the fuzzer
    }
    form->show();
    QElapsedTimer waited;
    waited.start();
    while (!form->FirstLayoutDone()) {
        if (waited.elapsed() > 5000) {
            std::abort();  // the first layout never came
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    form->close();
    form.reset();
    std::filesystem::remove_all(dir);
    return 0;
}
