// The program's main window on the virtual instrument under the offscreen
// platform: the fixture its tests share.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <QComboBox>
#include <QImage>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/FormMain.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "app/platform/testing/ScriptedDialogs.h"

namespace lumatrace {

inline constexpr int kWaitMs = 20000;

// Pixels of a colour given as the program stores it (0x00BBGGRR).
inline int CountPixels(const QImage& image, std::uint32_t bgr) {
    const QRgb want = qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                           static_cast<int>((bgr >> 16) & 0xFF));
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += (image.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF) ? 1 : 0;
        }
    }
    return n;
}

struct FormMainTest : ::testing::Test {
    testing::RecordingMessageBox messages;
    testing::ScriptedFileDialogs dialogs;
    testing::ScriptedColorDialog colors;
    WallClock* wallClock = nullptr;  // the real clock unless a test sets one
    std::filesystem::path appData;
    Clock* clock = nullptr;  // the window's clock when set before Start
    std::unique_ptr<TFormMain> form;

    void TearDown() override {
        form.reset();
        if (!appData.empty()) {
            std::filesystem::remove_all(appData);
        }
    }

    std::filesystem::path ParamFile() const {
        return appData / "ORVEX" / "ZEP-9100" / "Zep9100.prm";
    }

    // Starts the program on a virtual instrument with `configuration`.
    void Start(const char* configuration, LibraryLoader* loader = nullptr) {
        char folder[] = "/tmp/lumatrace-formmain-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        appData = folder;
        ::setenv("APPDATA", folder, 1);
        ::setenv("ZEP9100_VIRTUAL", configuration, 1);
        Launch(loader);
    }

    // Closes the program as the user does (the parameter file is written)
    // and starts it again on the same settings folder.
    void Restart() {
        form->close();
        form.reset();
        messages.shown.clear();
        Launch();
    }

    // Starts the program on the settings folder and instrument already set.
    void Launch(LibraryLoader* loader = nullptr) {
        MainServices services;
        services.form.messages = &messages;
        services.fileDialogs = &dialogs;
        services.colorDialogs = &colors;
        services.loader = loader;
        services.wallClock = wallClock;
        services.clock = clock;
        services.splashMs = 0;
        // Room to grow: the offscreen screen is small.
        services.form.workArea = [] { return WorkArea{0, 0, 1600, 1000}; };
        form = std::make_unique<TFormMain>(std::move(services));
        if (form->StartupFailed()) {
            return;
        }
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->FirstLayoutDone(); }, kWaitMs));
    }

    int Passes() { return form->Acquisition().passCount; }
    bool Stopped() { return form->Settings().runMode == kRunStop; }
};

// Picks a list item the way the user does.
inline void Pick(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

}  // namespace lumatrace
