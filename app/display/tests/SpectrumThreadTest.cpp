// The spectrum worker of the 1M-point roll configuration against a user-interface thread that
// keeps rolling the record, redrawing, clearing, stopping and restarting. Meant to run under
// ThreadSanitizer: what is checked here besides the results is that nothing races.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "app/display/FftThread.h"
#include "app/display/Spectrum.h"
#include "app/display/SpectrumScales.h"
#include "app/display/tests/SpectrumTestSupport.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {
namespace {

using namespace std::chrono_literals;
using testing::FillSine;
using testing::NewRecord;
using testing::StopCounter;

// Waits for a condition the worker brings about; the limit only keeps a broken build from
// hanging and is no statement about speed.
template <typename Pred>
bool Eventually(Pred pred) {
    const auto limit = std::chrono::steady_clock::now() + 120s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(DisplaySpectrumThread, WorkerStepsUntilTerminated) {
    std::atomic<int> steps{0};
    TFftThread worker([&] { ++steps; }, 1ms);
    EXPECT_FALSE(worker.Running());
    worker.WaitFor();  // not started: nothing to wait for
    worker.Start();
    worker.Start();  // already running: no second thread
    ASSERT_TRUE(Eventually([&] { return steps.load() >= 3; }));
    worker.Terminate();
    worker.WaitFor();
    EXPECT_FALSE(worker.Running());
    const int after = steps.load();
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(steps.load(), after);

    // A long period does not hold up termination.
    TFftThread slow([&] { ++steps; }, std::chrono::hours(1));
    slow.Start();
    ASSERT_TRUE(Eventually([&] { return steps.load() > after; }));
    slow.Terminate();
    slow.WaitFor();
}

class DisplaySpectrumThreadRoll : public ::testing::Test {
  protected:
    DisplaySpectrumThreadRoll() : analyzer(&Zep9100InitFft, &Zep9100CalcFft, *record, *snapshot) {}

    void SetUp() override {
        ASSERT_TRUE(analyzer.ChangeMemorySize(1000000, true, host, messages));
        analyzer.SetSource({0, 0, 500, 1, 250});
        analyzer.SetRecordOnShow(true);
    }

    // One roll step: the record rewritten under the buffer lock, then the request raised.
    void RollStep(int bin) {
        {
            std::lock_guard<std::mutex> lock(WaveBufferMutex);
            FillSine(*record, n, 0, 512.0, 204.8, bin);
        }
        analyzer.RaiseRequest();
    }

    // The bin of the largest amplitude in what a redraw would copy.
    int PeakBin() {
        analyzer.CopyOutputs(0, n / 2 - 1, re, im);
        int best = 0;
        for (int k = 1; k < n / 2; ++k) {
            const std::size_t i = static_cast<std::size_t>(k);
            const std::size_t b = static_cast<std::size_t>(best);
            if (re[i] * re[i] + im[i] * im[i] > re[b] * re[b] + im[b] * im[b])
                best = k;
        }
        return best;
    }

    static constexpr int n = 524288;
    std::unique_ptr<SampleBuffer> record = NewRecord();
    std::unique_ptr<SampleBuffer> snapshot = NewRecord();
    StopCounter host;
    lumatrace::testing::RecordingMessageBox messages;
    SpectrumAnalyzer analyzer;
    std::vector<double> re, im;
};

TEST_F(DisplaySpectrumThreadRoll, StartRollStopSwitchOffAndMemoryChange) {
    // Start: the worker picks up the request of the first roll step.
    RollStep(1000);
    analyzer.StartWorker();
    ASSERT_TRUE(analyzer.WorkerRunning());
    ASSERT_TRUE(Eventually([&] { return PeakBin() == 1000; }));

    // Rolling: records keep arriving while redraws copy the outputs; a record cleared on a
    // restart also clears the spectrum under the buffer lock.
    for (int step = 0; step < 6; ++step) {
        RollStep(2000 + step);
        const int peak = PeakBin();
        EXPECT_TRUE(peak == 0 || (peak >= 1000 && peak <= 2005)) << peak;
        if (step == 3) {
            std::lock_guard<std::mutex> lock(WaveBufferMutex);
            analyzer.ClearOutputs();
        }
        std::this_thread::sleep_for(2ms);
    }
    // The last record's spectrum, whole.
    ASSERT_TRUE(Eventually([&] { return PeakBin() == 2005; }));

    // Stop: the worker is gone and the request is down.
    RollStep(3000);
    analyzer.StopWorker();
    EXPECT_FALSE(analyzer.WorkerRunning());
    EXPECT_FALSE(analyzer.RequestPending());

    // A restart replaces the worker; switching FFT off ends it and zeroes the outputs.
    analyzer.StartWorker();
    analyzer.StartWorker();
    RollStep(3500);
    ASSERT_TRUE(Eventually([&] { return PeakBin() == 3500; }));
    analyzer.SwitchOff();
    EXPECT_FALSE(analyzer.WorkerRunning());
    EXPECT_EQ(PeakBin(), 0);
    analyzer.CopyOutputs(0, n / 2 - 1, re, im);
    EXPECT_EQ(re[3500], 0.0);

    // A memory-size change while the worker runs stops it before re-initialising.
    analyzer.StartWorker();
    RollStep(4000);
    ASSERT_TRUE(analyzer.ChangeMemorySize(1000000, true, host, messages));
    EXPECT_FALSE(analyzer.WorkerRunning());
    EXPECT_TRUE(analyzer.RequestPending());
    analyzer.StartWorker();
    ASSERT_TRUE(Eventually([&] { return PeakBin() == 4000; }));
    analyzer.StopWorker();

    EXPECT_EQ(host.stops, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DisplaySpectrumThreadRoll, WorkerFailureIsReportedOnTheUserInterfaceThread) {
    analyzer.SetLibrary(&Zep9100InitFft, nullptr);
    analyzer.StartWorker();
    RollStep(1000);
    ASSERT_TRUE(Eventually([&] { return !analyzer.RequestPending(); }));
    analyzer.StopWorker();
    EXPECT_TRUE(analyzer.ReportPendingFailure(host, messages));
    EXPECT_EQ(host.stops, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "FFT演算エラー\r\nFFT演算をOFFにしてください。");
    analyzer.SetLibrary(&Zep9100InitFft, &Zep9100CalcFft);
}

}  // namespace
}  // namespace lumatrace
