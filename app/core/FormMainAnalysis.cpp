// The main window's side of averaging, the MATH trace and the spectrum: the
// settings their layers draw with, the panel handlers that change them, and
// the acquisition seams that reach the averaging history and the spectrum's
// transform and worker.
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

#include "app/core/FormMain.h"
#include "app/core/PanelDerived.h"
#include "app/platform/MemoryStatus.h"

namespace lumatrace {

std::optional<std::uint64_t> TFormMain::AnalysisHost::AvailablePhysicalMemory() {
    return lumatrace::AvailablePhysicalMemory();
}
void TFormMain::AnalysisHost::StopAcquisition() {
    form_.acq_->A_Stop();
}
MessageBoxService& TFormMain::AnalysisHost::Messages() {
    return form_.TFormSub::Messages();
}
void TFormMain::AnalysisHost::SetWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}
bool TFormMain::AnalysisHost::KeepAveraging() {
    return form_.acq_->Running() && form_.Settings().waveformMode == kWaveformAverage;
}

void TFormMain::CreateAnalysis() {
    analysisHost_ = std::make_unique<AnalysisHost>(*this);
    processing_ = std::make_unique<ViewProcessing>(*analysisHost_);
    analyzer_ = std::make_unique<SpectrumAnalyzer>(fft_.InitFft(), fft_.CalcFft());
    spectrum_ = std::make_unique<ViewSpectrum>(*analyzer_);
    view_.SetProcessingLayer(processing_.get());
    view_.SetSpectrumLayer(spectrum_.get());
}

// A transform that failed (in a redraw or on the roll worker) is reported
// here, outside the drawing and on this thread.
void TFormMain::ReportSpectrumFailure() {
    analyzer_->ReportPendingFailure(*analysisHost_, TFormSub::Messages());
}

void TFormMain::SetAnalysisMarkerLayer(MarkerLayer* markers) {
    processing_->SetMarkerLayer(markers);
    spectrum_->SetMarkerLayer(markers);
}

// ---------------------------------------------------------------------------
// Settings of the layers, taken from the panel before each redraw.

void TFormMain::UpdateAnalysisSettings() {
    const InstrumentSettings& s = Settings();
    processing_->SetMathSettings(MathSettingsFrom(Panel(), s));

    SpectrumDisplaySettings& d = spectrum_->Display();
    d.source = FftSourceChannel();
    d.sourceGround = s.displayCoupling[static_cast<std::size_t>(d.source)] == kCouplingGnd;
    d.dbv = FftVerticalType(Panel()) == kFftTypeDbv;
    d.window = s.fftWindow;
    d.fftScale = s.fftScale;
    d.hzPerDiv = fftHs_.hzPerDiv;
    d.binWidthHz = fftHs_.binWidthHz;
    d.recordLocked = true;  // RedrawAll holds WaveBufferMutex
    d.overviewLeft = OverviewLeft(markers_.Layout().waveBoxLeft, markers_.Layout().trigPosBoxLeft);
}

int TFormMain::FftSourceChannel() const {
    return lumatrace::FftSourceChannel(Panel());
}

void TFormMain::UpdateSpectrumSource() {
    const InstrumentSettings& s = Settings();
    const int ch = FftSourceChannel();
    SpectrumSource source;
    source.channel = ch;
    source.window = s.fftWindow;
    source.voltsPerDivMv = acqVoltsPerDivMv_[static_cast<std::size_t>(ch)];
    source.probeFactor = s.probeFactor[static_cast<std::size_t>(ch)];
    source.position = acqTracePosition_[static_cast<std::size_t>(ch)];
    analyzer_->SetSource(source);
}

void TFormMain::ShowAnalysisLabels() {
    if (Settings().fftOn) {
        const FftReadoutLabels labels =
            FftReadoutLabelsFor(FftSourceChannel(), Settings().fftWindow);
        LblSIMathOpe->setText(QString::fromStdString(labels.detail));
    } else {
        LblSIMathOpe->setText(QString::fromStdString(MathOperationLabel(processing_->Math())));
    }
}

// The frequency list follows the record length and the sampling class; the
// chosen item gives the frequency per division and the bins on screen.
void TFormMain::UpdateSpectrumScale(bool equivalentDisplay) {
    const InstrumentSettings& s = Settings();
    if (RebuildFftHScaleList(Lists(), fftHs_, s.memorySizeIndex, s.sampleIntervalNs,
                             equivalentDisplay)) {
        const QSignalBlocker block(ComboBoxFftHScale);
        SetFftHScaleList(fftHs_.group, fftHs_.klass);
    }
    const SpectrumWindow before = view_.Spectrum();
    SelectFftHScale(fftHs_, Panel().Index(PanelList::FftHScale), analyzer_->FftLength(),
                    s.sampleIntervalNs, equivalentDisplay, view_.Spectrum());
    // A bar scrolling the spectrum is re-scaled to the new bins.
    const SpectrumWindow& after = view_.Spectrum();
    if (SpectrumInFront() &&
        (after.FftBins != before.FftBins || after.BinsPerScreen != before.BinsPerScreen ||
         after.SpecStart != before.SpecStart || after.SpecLeftBlank != before.SpecLeftBlank)) {
        PlaceScrollBar();
    }
}

void TFormMain::SpectrumSettingsChanged(bool newTransform) {
    if (!PanelReplayed()) {
        return;
    }
    UpdateSpectrumSource();
    if (newTransform && Settings().fftOn) {
        RaiseSpectrumRequest();
    }
    ShowAnalysisLabels();
    RecomputeViewWindow();
    RedrawAll();
}

void TFormMain::MathSettingsChanged() {
    if (!PanelReplayed()) {
        return;
    }
    UpdateAnalysisSettings();
    ShowAnalysisLabels();
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Panel handlers.

void TFormMain::SpeedButtonMathClick() {
    TFormSub::SpeedButtonMathClick();
    UpdateAnalysisSettings();
    ShowAnalysisLabels();
    TraceButtonSwitched(kTraceMath, Settings().mathOn != 0);
}

void TFormMain::ComboBoxMathChange() {
    TFormSub::ComboBoxMathChange();
    if (const std::optional<int> mv = ParseMillivolts(Panel().Text(PanelList::Math))) {
        Settings().mathScale = *mv;
    }
    MathSettingsChanged();
}

void TFormMain::RdBtnMath11Click() {
    TFormSub::RdBtnMath11Click();
    MathSettingsChanged();
}
void TFormMain::RdBtnMath12Click() {
    TFormSub::RdBtnMath12Click();
    MathSettingsChanged();
}
void TFormMain::RdBtnMath21Click() {
    TFormSub::RdBtnMath21Click();
    MathSettingsChanged();
}
void TFormMain::RdBtnMath22Click() {
    TFormSub::RdBtnMath22Click();
    MathSettingsChanged();
}
void TFormMain::RdBtnAddClick() {
    TFormSub::RdBtnAddClick();
    MathSettingsChanged();
}
void TFormMain::RdBtnSubClick() {
    TFormSub::RdBtnSubClick();
    MathSettingsChanged();
}
void TFormMain::RdBtnMulClick() {
    TFormSub::RdBtnMulClick();
    MathSettingsChanged();
}
void TFormMain::RdBtnDivClick() {
    TFormSub::RdBtnDivClick();
    MathSettingsChanged();
}

void TFormMain::SpeedButtonFftClick() {
    TFormSub::SpeedButtonFftClick();
    if (!PanelReplayed()) {
        return;
    }
    if (Settings().fftOn) {
        UpdateSpectrumSource();
        RaiseSpectrumRequest();
        if (acq_->Running() && Settings().rollActive && Settings().memorySizeIndex == 2) {
            analyzer_->StartWorker();
        }
    } else {
        analyzer_->SwitchOff();
    }
    ShowAnalysisLabels();
    RecomputeViewWindow();
    TraceButtonSwitched(kTraceFft, Settings().fftOn != 0);
}

void TFormMain::ComboBoxFftVScaleChange() {
    TFormSub::ComboBoxFftVScaleChange();
    SelectFftVScale(Settings(), FftVerticalType(Panel()), Panel().Index(PanelList::FftVScale),
                    Panel().Text(PanelList::FftVScale));
    SpectrumSettingsChanged(false);
}

void TFormMain::ComboBoxFftHScaleChange() {
    TFormSub::ComboBoxFftHScaleChange();
    if (!PanelReplayed()) {
        return;
    }
    SelectFftHScale(fftHs_, Panel().Index(PanelList::FftHScale), analyzer_->FftLength(),
                    Settings().sampleIntervalNs, acq_->EquivalentDisplay(), view_.Spectrum());
    SpectrumSettingsChanged(false);
}

void TFormMain::RdBtnFftSrc1Click() {
    TFormSub::RdBtnFftSrc1Click();
    SpectrumSettingsChanged(true);
}
void TFormMain::RdBtnFftSrc2Click() {
    TFormSub::RdBtnFftSrc2Click();
    SpectrumSettingsChanged(true);
}
void TFormMain::RdBtnFftVstVClick() {
    TFormSub::RdBtnFftVstVClick();
    SpectrumSettingsChanged(false);
}
void TFormMain::RdBtnFftVstdBVClick() {
    TFormSub::RdBtnFftVstdBVClick();
    SpectrumSettingsChanged(false);
}
void TFormMain::FftWindowChosen(int window) {
    Settings().fftWindow = window;
    SpectrumSettingsChanged(true);
}
void TFormMain::RdBtnFftWndRcClick() {
    TFormSub::RdBtnFftWndRcClick();
    FftWindowChosen(0);
}
void TFormMain::RdBtnFftWndHmClick() {
    TFormSub::RdBtnFftWndHmClick();
    FftWindowChosen(1);
}
void TFormMain::RdBtnFftWndHnClick() {
    TFormSub::RdBtnFftWndHnClick();
    FftWindowChosen(2);
}
void TFormMain::RdBtnFftWndBhClick() {
    TFormSub::RdBtnFftWndBhClick();
    FftWindowChosen(3);
}

// A new record length re-initialises the transform for its length; the roll
// timer's period follows it.
void TFormMain::MemorySizeChangedForSpectrum() {
    analyzer_->ChangeMemorySize(Settings().memoryPoints, Settings().fftOn != 0, *analysisHost_,
                                TFormSub::Messages());
    TimerRoll->setInterval(RollIntervalMsFor(Settings().memoryPoints));
    UpdateSpectrumScale(acq_->EquivalentDisplay());
}

// ---------------------------------------------------------------------------
// Acquisition seams.

bool TFormMain::SpectrumShown() const {
    return Settings().fftOn != 0;
}
bool TFormMain::SpectrumInFront() const {
    return CurrentViewSettings().SpectrumInFront();
}
void TFormMain::RaiseSpectrumRequest() {
    analyzer_->SetRecordOnShow(acq_->dataValid);
    analyzer_->RaiseRequest();
}
void TFormMain::ClearSpectrum() {
    analyzer_->ClearOutputs();
}
bool TFormMain::SpectrumWorkerExists() const {
    return analyzer_->WorkerRunning();
}
void TFormMain::StopSpectrumWorker() {
    analyzer_->StopWorker();
}
void TFormMain::ReplaceSpectrumWorker() {
    UpdateSpectrumSource();
    analyzer_->StartWorker();
}
void TFormMain::UpdateFftFrequencyList(bool equivalentDisplay) {
    UpdateSpectrumScale(equivalentDisplay);
}

bool TFormMain::PrepareAverage() {
    const InstrumentSettings& s = Settings();
    AverageConditions c;
    c.running = acq_->Running();
    c.waveformMode = s.waveformMode;
    c.equivalentActive = s.equivalentActive != 0;
    c.equivalentAsRealTime = acq_->equivalentAsRealTime;
    c.rollActive = s.rollActive != 0;
    c.memoryPoints = s.memoryPoints;
    c.acquireCount = s.acquireCount;
    return processing_->History().PrepareAverage(c, acq_->averageResize);
}
bool TFormMain::AverageHistoryHasData() const {
    return processing_->History().HasData();
}
void TFormMain::ShrinkAverageHistory() {
    processing_->History().Shrink();
}

}  // namespace lumatrace
