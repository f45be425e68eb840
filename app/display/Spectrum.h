// The spectrum of the record on show: binding to the FFT library's two functions, the
// transform request, the output arrays and the worker used in the 1M-point roll
// configuration.
//
// Threads: everything here is called on the user-interface thread except what the worker
// runs (ComputeSpectrum). Transforms and initialisations never overlap (the library's state is
// not synchronised); the outputs are written under a lock that CopyOutputs also takes, so a
// redraw sees one whole spectrum.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "app/display/FftThread.h"
#include "app/display/WaveBuffers.h"
#include "app/platform/MessageBox.h"
#include "app/platform/UiText.h"
#include "fft/include/zep9100fft.h"

namespace lumatrace {

// What the main window does for the spectrum: stopping acquisition (as the Stop action) after
// a failed initialisation or transform.
class SpectrumHost {
  public:
    virtual ~SpectrumHost() = default;
    virtual void StopAcquisition() = 0;
};

// The channel transformed and how its codes become volts, as of the record on show.
struct SpectrumSource {
    int channel = 0;         // 0 CH1 (RdBtnFftSrc1), 1 CH2
    int window = 0;          // fftWindow
    int voltsPerDivMv = 50;  // of the channel when the record was taken
    int probeFactor = 10;    // current
    int position = 250;      // of the channel when the record was taken
};

// The parameter block of one transform.
FftParams MakeFftParams(const SpectrumSource& source);

inline constexpr const char* kSpectrumMessageTitle = "Lumatrace";
inline constexpr const char* kFftInitFailureText =
    UI_TEXT_NOOP("Messages", "FFT演算初期化処理エラー\r\nFFT演算をOFFにしてください。");
inline constexpr const char* kFftCalcFailureText =
    UI_TEXT_NOOP("Messages", "FFT演算エラー\r\nFFT演算をOFFにしてください。");

class SpectrumAnalyzer {
  public:
    enum class Result { Skipped, Computed, Failed };

    // Null pointers stand for an unbound library: every call then fails.
    SpectrumAnalyzer(Zep9100InitFftFn init, Zep9100CalcFftFn calc,
                     const SampleBuffer& record = WaveBuffer,
                     SampleBuffer& snapshot = FftInputSnapshot);
    ~SpectrumAnalyzer();  // stops the worker
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    void SetLibrary(Zep9100InitFftFn init, Zep9100CalcFftFn calc);

    int FftLength() const { return length_; }
    int FftBins() const { return length_ / 2; }

    // Memory-size change (and start-up): FFT length from the record length, request raised
    // when FFT is on, library initialised. Stops the worker first. On failure acquisition is
    // stopped and the initialisation message shown; returns false.
    bool ChangeMemorySize(int memoryPoints, bool fftOn, SpectrumHost& host,
                          MessageBoxService& messages);
    // Zeroes outputs and snapshot and initialises the library for the current length.
    bool InitSpectrum();

    void SetSource(const SpectrumSource& source);
    SpectrumSource Source() const;

    // Mirror of "a record is on show", read by the worker.
    void SetRecordOnShow(bool shown) { recordOnShow_.store(shown); }
    bool RecordOnShow() const { return recordOnShow_.load(); }

    // The transform request: raised by each data arrival and roll step while FFT is on, by
    // switching FFT on, by a change of source or window and by a memory-size change while FFT
    // is on.
    void RaiseRequest() { request_.store(true); }
    bool RequestPending() const { return request_.load(); }

    // One transform of the record on show when requested. The request is taken down before
    // the snapshot, so a record arriving during the transform asks for the next one.
    // `recordLocked`: the caller holds WaveBufferMutex already (a redraw does).
    Result ComputeSpectrum(bool recordLocked = false);

    // Zeroes the outputs (FFT switched off, record cleared).
    void ClearOutputs();
    // Copies bins [first, last] of both outputs into re/im (resized to hold index last).
    void CopyOutputs(int first, int last, std::vector<double>& re, std::vector<double>& im);

    // Worker for the 1M-point roll configuration: any previous one is terminated and waited
    // for first; a pending request stays for the new one.
    void StartWorker();
    // Terminates and waits for the worker; the request is taken down.
    void StopWorker();
    bool WorkerRunning() const { return worker_ != nullptr; }
    // FFT switched off: worker stopped and outputs zeroed.
    void SwitchOff();

    // A failed transform (on either thread) is reported here, on the user-interface thread,
    // outside any redraw: acquisition stopped and the message shown once. Returns true when
    // something was reported.
    bool ReportPendingFailure(SpectrumHost& host, MessageBoxService& messages);

  private:
    void EndWorker();

    Zep9100InitFftFn init_;
    Zep9100CalcFftFn calc_;
    const SampleBuffer& record_;
    SampleBuffer& snapshot_;
    int length_ = 8192;

    mutable std::mutex sourceMutex_;
    SpectrumSource source_;

    std::atomic<bool> request_{false};
    std::atomic<bool> recordOnShow_{false};
    std::atomic<bool> failurePending_{false};

    // Lock order: transformMutex_, then WaveBufferMutex or outputMutex_; never the reverse.
    std::mutex transformMutex_;  // one transform or initialisation at a time
    std::mutex outputMutex_;     // the outputs while the library writes or a redraw copies
    std::vector<double> realOut_;
    std::vector<double> imagOut_;

    std::unique_ptr<TFftThread> worker_;
};

}  // namespace lumatrace
