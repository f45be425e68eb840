#include "app/display/Spectrum.h"

#include <algorithm>

#include "app/display/SpectrumScales.h"

namespace lumatrace {

FftParams MakeFftParams(const SpectrumSource& source) {
    FftParams p{};
    p.shift = source.channel == 1 ? 16 : 0;
    p.window = source.window;
    p.rangeMv = 10.0 * source.voltsPerDivMv * source.probeFactor;
    p.offsetCodes = (250 - source.position) * 2.048;
    return p;
}

SpectrumAnalyzer::SpectrumAnalyzer(Zep9100InitFftFn init, Zep9100CalcFftFn calc,
                                   const SampleBuffer& record, SampleBuffer& snapshot)
    : init_(init),
      calc_(calc),
      record_(record),
      snapshot_(snapshot),
      realOut_(kFftMaxLength, 0.0),
      imagOut_(kFftMaxLength, 0.0) {}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    StopWorker();
}

void SpectrumAnalyzer::SetLibrary(Zep9100InitFftFn init, Zep9100CalcFftFn calc) {
    StopWorker();
    std::lock_guard<std::mutex> lock(transformMutex_);
    init_ = init;
    calc_ = calc;
}

bool SpectrumAnalyzer::ChangeMemorySize(int memoryPoints, bool fftOn, SpectrumHost& host,
                                        MessageBoxService& messages) {
    // The worker must not transform with the old length against a re-initialised library.
    StopWorker();
    length_ = FftLengthFor(memoryPoints);
    if (fftOn)
        RaiseRequest();
    if (InitSpectrum())
        return true;
    host.StopAcquisition();
    messages.Show(MessageIcon::Error, kSpectrumMessageTitle,
                  UiText("Messages", kFftInitFailureText));
    return false;
}

bool SpectrumAnalyzer::InitSpectrum() {
    std::lock_guard<std::mutex> lock(transformMutex_);
    {
        std::lock_guard<std::mutex> out(outputMutex_);
        std::fill(realOut_.begin(), realOut_.end(), 0.0);
        std::fill(imagOut_.begin(), imagOut_.end(), 0.0);
    }
    std::fill(snapshot_.begin(), snapshot_.end(), 0u);
    if (init_ == nullptr)
        return false;
    return init_(length_, FftStages(length_), length_ / 2) != 0;
}

void SpectrumAnalyzer::SetSource(const SpectrumSource& source) {
    std::lock_guard<std::mutex> lock(sourceMutex_);
    source_ = source;
}

SpectrumSource SpectrumAnalyzer::Source() const {
    std::lock_guard<std::mutex> lock(sourceMutex_);
    return source_;
}

SpectrumAnalyzer::Result SpectrumAnalyzer::ComputeSpectrum(bool recordLocked) {
    if (!recordOnShow_.load() || !request_.exchange(false))
        return Result::Skipped;
    const FftParams params = MakeFftParams(Source());
    std::lock_guard<std::mutex> lock(transformMutex_);
    if (recordLocked) {
        TakeRecord(record_, snapshot_);
    } else {
        SnapshotForSpectrum(record_, snapshot_);
    }
    bool ok = false;
    if (calc_ != nullptr) {
        std::lock_guard<std::mutex> out(outputMutex_);
        ok = calc_(&params, snapshot_.data(), realOut_.data(), imagOut_.data()) != 0;
    }
    if (ok)
        return Result::Computed;
    failurePending_.store(true);
    return Result::Failed;
}

void SpectrumAnalyzer::ClearOutputs() {
    std::lock_guard<std::mutex> out(outputMutex_);
    std::fill(realOut_.begin(), realOut_.end(), 0.0);
    std::fill(imagOut_.begin(), imagOut_.end(), 0.0);
}

void SpectrumAnalyzer::CopyOutputs(int first, int last, std::vector<double>& re,
                                   std::vector<double>& im) {
    first = std::max(first, 0);
    last = std::min(last, kFftMaxLength - 1);
    const std::size_t size = static_cast<std::size_t>(std::max(last + 1, 0));
    if (re.size() < size)
        re.resize(size);
    if (im.size() < size)
        im.resize(size);
    if (first > last)
        return;
    std::lock_guard<std::mutex> out(outputMutex_);
    std::copy(realOut_.begin() + first, realOut_.begin() + last + 1, re.begin() + first);
    std::copy(imagOut_.begin() + first, imagOut_.begin() + last + 1, im.begin() + first);
}

void SpectrumAnalyzer::StartWorker() {
    EndWorker();  // a replacement keeps the request it was started for
    worker_ = std::make_unique<TFftThread>([this] { ComputeSpectrum(); });
    worker_->Start();
}

void SpectrumAnalyzer::EndWorker() {
    if (worker_) {
        worker_->Terminate();
        worker_->WaitFor();
        worker_.reset();
    }
}

void SpectrumAnalyzer::StopWorker() {
    EndWorker();
    request_.store(false);
}

void SpectrumAnalyzer::SwitchOff() {
    StopWorker();
    ClearOutputs();
}

bool SpectrumAnalyzer::ReportPendingFailure(SpectrumHost& host, MessageBoxService& messages) {
    if (!failurePending_.exchange(false))
        return false;
    host.StopAcquisition();
    messages.Show(MessageIcon::Error, kSpectrumMessageTitle,
                  UiText("Messages", kFftCalcFailureText));
    return true;
}

}  // namespace lumatrace
