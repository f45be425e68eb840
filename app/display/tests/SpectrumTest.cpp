#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/display/Spectrum.h"
#include "app/display/SpectrumScales.h"
#include "app/display/tests/SpectrumTestSupport.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {
namespace {

using testing::FillSine;
using testing::NewRecord;
using testing::StopCounter;

// 500 mV/div with a x1 probe at the centre position: 5 V across 1024 codes, 0 V at code 512.
constexpr int kVdiv = 500;
constexpr int kProbe = 1;

class DisplaySpectrum : public ::testing::Test {
  protected:
    DisplaySpectrum() : analyzer(&Zep9100InitFft, &Zep9100CalcFft, *record, *snapshot) {}

    void SetUp() override {
        ASSERT_TRUE(analyzer.ChangeMemorySize(10000, false, host, messages));
        analyzer.SetRecordOnShow(true);
    }

    // Amplitude (volts RMS, window-corrected) of bin k of the last transform.
    double Amplitude(int k, int window) {
        analyzer.CopyOutputs(0, analyzer.FftBins() - 1, re, im);
        const std::size_t i = static_cast<std::size_t>(k);
        return BinAmplitude(re[i] * re[i] + im[i] * im[i], k, window);
    }

    void Transform(int channel, int window) {
        analyzer.SetSource({channel, window, kVdiv, kProbe, 250});
        analyzer.RaiseRequest();
        ASSERT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Computed);
    }

    std::unique_ptr<SampleBuffer> record = NewRecord();
    std::unique_ptr<SampleBuffer> snapshot = NewRecord();
    StopCounter host;
    lumatrace::testing::RecordingMessageBox messages;
    SpectrumAnalyzer analyzer;
    std::vector<double> re, im;
};

TEST_F(DisplaySpectrum, ParameterBlockFromTheSource) {
    const FftParams p = MakeFftParams({1, 3, 200, 10, 300});
    EXPECT_EQ(p.shift, 16);
    EXPECT_EQ(p.window, 3);
    EXPECT_DOUBLE_EQ(p.rangeMv, 20000.0);
    EXPECT_DOUBLE_EQ(p.offsetCodes, -50 * 2.048);
    EXPECT_EQ(MakeFftParams({0, 0, 50, 1, 250}).shift, 0);
}

TEST_F(DisplaySpectrum, ConstantRecordShowsItsLevelInBinZeroForEveryWindow) {
    const int code = 717;  // 5000 mV x 205 / 1024 = 1.000977 V
    const double level = CodeToMillivolts(code, 250, FullScaleMv(kVdiv, kProbe)) / 1000.0;
    for (int i = 0; i < 8192; ++i)
        (*record)[static_cast<std::size_t>(i)] = MakeSampleWord(code, 0);
    for (int window = 0; window < kFftWindowCount; ++window) {
        SCOPED_TRACE(window);
        Transform(0, window);
        EXPECT_NEAR(Amplitude(0, window), level, level * 2e-3);
    }
    // With the rectangular window nothing else shows: 0 V, and the dBV floor or below.
    Transform(0, 0);
    for (int k = 1; k < analyzer.FftBins(); ++k) {
        const double a = Amplitude(k, 0);
        ASSERT_LT(a, 1e-9) << k;
        ASSERT_LE(SpectrumValue(a, true), -180.0) << k;
    }
}

TEST_F(DisplaySpectrum, BinCentredOneVoltSineReadsItsRmsValueForEveryWindow) {
    const int bin = 64;
    for (int channel = 0; channel < 2; ++channel) {
        FillSine(*record, 8192, channel, 512.0, 204.8, bin);  // 1 V amplitude
        for (int window = 0; window < kFftWindowCount; ++window) {
            SCOPED_TRACE(::testing::Message() << "channel " << channel << " window " << window);
            Transform(channel, window);
            const double a = Amplitude(bin, window);
            EXPECT_NEAR(a, std::sqrt(0.5), 3e-3);
            EXPECT_NEAR(SpectrumValue(a, true), -3.01, 0.04);
            // Far from the sine only quantisation noise remains.
            EXPECT_LT(Amplitude(bin * 20, window), 5e-3);
        }
    }
}

TEST_F(DisplaySpectrum, TransformRunsOncePerRequestAndOnlyWithARecord) {
    FillSine(*record, 8192, 0, 512.0, 204.8, 10);
    analyzer.SetSource({0, 0, kVdiv, kProbe, 250});
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Skipped);  // no request

    analyzer.RaiseRequest();
    analyzer.SetRecordOnShow(false);
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Skipped);
    EXPECT_TRUE(analyzer.RequestPending());  // kept for when a record is on show

    analyzer.SetRecordOnShow(true);
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Computed);
    EXPECT_FALSE(analyzer.RequestPending());
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Skipped);
    EXPECT_GT(Amplitude(10, 0), 0.7);

    // Switching off zeroes what is shown.
    analyzer.SwitchOff();
    EXPECT_EQ(Amplitude(10, 0), 0.0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(host.stops, 0);
}

TEST_F(DisplaySpectrum, MemorySizeSetsTheLengthAndRaisesTheRequestWhenOn) {
    struct Case {
        int points;
        bool fftOn;
        int n;
    };
    for (const Case& c :
         {Case{100000, true, 65536}, Case{1000000, false, 524288}, Case{10000, true, 8192}}) {
        SCOPED_TRACE(c.points);
        analyzer.StopWorker();  // takes the request down
        ASSERT_TRUE(analyzer.ChangeMemorySize(c.points, c.fftOn, host, messages));
        EXPECT_EQ(analyzer.FftLength(), c.n);
        EXPECT_EQ(analyzer.FftBins(), c.n / 2);
        EXPECT_EQ(analyzer.RequestPending(), c.fftOn);
    }
    // The library transforms at the new length: a sine on bin 100 of 8192 points.
    FillSine(*record, 8192, 0, 512.0, 204.8, 100);
    Transform(0, 0);
    EXPECT_NEAR(Amplitude(100, 0), std::sqrt(0.5), 3e-3);
}

TEST_F(DisplaySpectrum, FailedInitialisationStopsAndTellsTheUser) {
    analyzer.SetLibrary(nullptr, &Zep9100CalcFft);
    EXPECT_FALSE(analyzer.ChangeMemorySize(100000, true, host, messages));
    EXPECT_EQ(host.stops, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text, "FFT演算初期化処理エラー\r\nFFT演算をOFFにしてください。");
}

TEST_F(DisplaySpectrum, FailedTransformIsReportedOnceOutsideTheTransform) {
    analyzer.SetLibrary(&Zep9100InitFft, nullptr);
    analyzer.RaiseRequest();
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Failed);
    EXPECT_FALSE(analyzer.RequestPending());  // also after a failure
    EXPECT_TRUE(messages.shown.empty());      // not from inside a redraw or the worker

    EXPECT_TRUE(analyzer.ReportPendingFailure(host, messages));
    EXPECT_EQ(host.stops, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text, "FFT演算エラー\r\nFFT演算をOFFにしてください。");
    EXPECT_FALSE(analyzer.ReportPendingFailure(host, messages));
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(DisplaySpectrum, LibraryThatRefusesTheTransformIsAFailureToo) {
    // A library that lost its initialisation (a failed one) refuses every transform.
    EXPECT_EQ(Zep9100InitFft(3, 1, 1), 0);
    analyzer.RaiseRequest();
    EXPECT_EQ(analyzer.ComputeSpectrum(), SpectrumAnalyzer::Result::Failed);
    EXPECT_TRUE(analyzer.ReportPendingFailure(host, messages));
    ASSERT_TRUE(analyzer.InitSpectrum());
}

}  // namespace
}  // namespace lumatrace
