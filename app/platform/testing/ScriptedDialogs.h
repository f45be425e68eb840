#pragma once

#include <deque>
#include <vector>

#include "app/platform/Clock.h"
#include "app/platform/Desktop.h"
#include "app/platform/Dialogs.h"

namespace lumatrace::testing {

// Dialogs that record the options they were opened with and answer from a
// queue (cancel when the queue is empty).
class ScriptedFileDialogs final : public FileDialogService {
  public:
    std::vector<FileDialogOptions> opened;  // open and save, in order
    std::deque<std::optional<FileDialogResult>> answers;

    std::optional<FileDialogResult> GetOpenFileName(const FileDialogOptions& options) override {
        return Answer(options);
    }
    std::optional<FileDialogResult> GetSaveFileName(const FileDialogOptions& options) override {
        return Answer(options);
    }

  private:
    std::optional<FileDialogResult> Answer(const FileDialogOptions& options) {
        opened.push_back(options);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class ScriptedColorDialog final : public ColorDialogService {
  public:
    std::vector<std::uint32_t> initialColors;
    std::deque<std::optional<std::uint32_t>> answers;

    std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) override {
        initialColors.push_back(initial);
        if (answers.empty()) {
            return std::nullopt;
        }
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class FakeDesktop final : public DesktopService {
  public:
    std::vector<std::filesystem::path> opened;
    DesktopOpenResult result = DesktopOpenResult::Opened;

    DesktopOpenResult OpenFile(const std::filesystem::path& file) override {
        opened.push_back(file);
        return result;
    }
};

// A clock that moves only when told to, or by the time a caller sleeps.
class ManualClock final : public Clock {
  public:
    std::uint64_t now = 0;
    std::vector<std::uint32_t> sleeps;

    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override {
        sleeps.push_back(ms);
        now += ms;
    }
};

}  // namespace lumatrace::testing
