// The main window's file commands: opening a waveform set (from the dialog,
// the command line, another instance or a drop), saving one or a picture of
// the screen, and the colour dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <span>

#include "app/core/FormMain.h"
#include "app/files/FileDialogRules.h"
#include "app/files/SettingsMirrors.h"
#include "app/files/WaveformFiles.h"
#include "app/platform/QtDialogs.h"
#include "app/settings/FormSetup.h"
#include "app/settings/ImageExport.h"

namespace lumatrace {

namespace {

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// The hourglass for the length of a file operation.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

// Restoring a set's settings: the panel's controls take their states without
// running their handlers (the whole panel is replayed afterwards), the
// mirrors their values.
class TFormMain::RestoreTarget final : public SettingsRestoreHost {
  public:
    explicit RestoreTarget(TFormMain& form) : form_(form) {}

    void SetItemIndex(std::string_view control, int index) override {
        if (auto* list = form_.findChild<QComboBox*>(QString::fromUtf8(control))) {
            const QSignalBlocker block(list);
            list->setCurrentIndex(index);
        }
    }
    void SetChecked(std::string_view control, bool checked) override {
        if (auto* button = form_.findChild<QAbstractButton*>(QString::fromUtf8(control))) {
            const QSignalBlocker block(button);
            button->setChecked(checked);
        }
    }
    void SetDown(std::string_view control, bool down) override { SetChecked(control, down); }
    void SetMirror(std::string_view mirror, int element, long double value) override {
        if (!SetInstrumentMirror(form_.Settings(), mirror, element, value) &&
            mirror == "equivalentAsRealTime") {
            form_.acq_->equivalentAsRealTime = value != 0;
        }
    }

  private:
    TFormMain& form_;
};

void TFormMain::CreateFileServices() {
    if (!services_.files) {
        ownFiles_ = std::make_unique<LocalFileStore>();
        services_.files = ownFiles_.get();
    }
    if (!services_.fileDialogs) {
        ownFileDialogs_ = std::make_unique<QtFileDialogService>(this);
        services_.fileDialogs = ownFileDialogs_.get();
    }
    if (!services_.colorDialogs) {
        ownColorDialogs_ = std::make_unique<QtColorDialogService>(this);
        services_.colorDialogs = ownColorDialogs_.get();
    }
    if (!services_.wallClock) {
        ownWallClock_ = std::make_unique<SystemWallClock>();
        services_.wallClock = ownWallClock_.get();
    }
    // The save dialog renames the file when its filter changes.
    SaveDialog1.nameForFilter = [](std::string_view name, int filterIndex) {
        return FileNameForFilter(name, filterIndex);
    };
    colorTarget_ = std::make_unique<FormSubColorTarget>(*this, [this] {
        view_.MarkGridDirty();
        RedrawAll();
    });
}

// ---------------------------------------------------------------------------
// Opening a set

void TFormMain::OpenWaveFile(const std::string& fileName) {
    fileLoading_ = true;
    std::string message;
    bool loaded = false;
    {
        WaitCursor wait;
        RestoreTarget target(*this);
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        loaded =
            LoadWaveformFile(*services_.files, std::filesystem::path(fileName), target,
                             std::span<SampleWord>(WaveBuffer.data(), WaveBuffer.size()), message);
    }
    if (!loaded) {
        BringToFront();
        fileLoading_ = false;
        Messages().Show(MessageIcon::Error, kOpenTitle, message);
        RedrawAll();
        return;
    }
    WaitCursor wait;
    setWindowTitle(QString::fromUtf8("Lumatrace - " + fileName));
    // Re-applying the source must not carry the trigger level over from the
    // source shown before.
    acq_->panel.trigSourceIndex = ComboBoxTrigSrc->currentIndex();
    ReplayPanelSettings();
    PageControlBtn->setFocus();
    // The record is on show as if it had just been acquired, with the
    // positions and scales it was saved with.
    TakeAcquisitionCopies();
    acq_->AfterRecord();
    acq_->dataValid = true;
    if (SpectrumShown()) {
        RaiseSpectrumRequest();
    }
    fileLoading_ = false;
    view_.Horizontal().viewAnchorHold = true;
    RecomputeViewWindow();
    PanelMain->update();
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Commands

void TFormMain::A_OpenExecute() {
    for (;;) {
        const std::optional<FileDialogResult> chosen =
            services_.fileDialogs->GetOpenFileName(OpenDialog1);
        if (!chosen) {
            return;
        }
        const OpenDialogCheck check = CheckOpenDialog(chosen->path, *services_.files, Messages());
        if (!check.close) {
            // The dialog comes back with an empty name.
            OpenDialog1.fileName.clear();
            continue;
        }
        QCoreApplication::processEvents();
        OpenWaveFile(check.path);
        return;
    }
}

void TFormMain::A_SaveExecute() {
    for (;;) {
        const std::optional<FileDialogResult> chosen =
            services_.fileDialogs->GetSaveFileName(SaveDialog1);
        if (!chosen) {
            return;
        }
        SaveDialog1.filterIndex = chosen->filterIndex;
        const SaveDialogCheck check =
            CheckSaveDialog(chosen->path, chosen->filterIndex, *services_.files, Messages());
        SaveDialog1.fileName = check.path;
        if (!check.close) {
            continue;
        }
        QCoreApplication::processEvents();
        WaitCursor wait;
        if (chosen->filterIndex == kSaveFilterWaveform) {
            std::lock_guard<std::mutex> lock(WaveBufferMutex);
            const auto points = static_cast<std::size_t>(Settings().memoryPoints);
            SaveWaveformFile(*services_.files, Messages(), std::filesystem::path(check.path),
                             FileSettings(), std::span<const SampleWord>(WaveBuffer.data(), points),
                             CurrentIndexTimestamp());
        } else {
            ExportPicture(check.path, check.extension);
        }
        return;
    }
}

void TFormMain::A_SetupExecute() {
    if (!formSetup_) {
        formSetup_ = new TFormSetup(*colorTarget_, *services_.colorDialogs, this);
    }
    formSetup_->ShowModal();
}

// ---------------------------------------------------------------------------
// What a set and a picture record

WaveformFileSettings TFormMain::FileSettings() const {
    const InstrumentSettings& s = Settings();
    WaveformFileSettings f;
    const QComboBox* vd[] = {ComboBoxVd1, ComboBoxVd2};
    const QComboBox* pb[] = {ComboBoxPb1, ComboBoxPb2};
    const QComboBox* cup[] = {ComboBoxCup1, ComboBoxCup2};
    for (std::size_t ch = 0; ch < 2; ++ch) {
        ChannelFileSettings& c = f.channel[ch];
        c.channelOn = s.channelOn[ch] != 0;
        c.voltsPerDivText = Utf8(vd[ch]->currentText());
        c.voltsPerDivIndex = vd[ch]->currentIndex();
        c.voltsPerDivMv = s.voltsPerDivMv[ch];
        c.probeText = Utf8(pb[ch]->currentText());
        c.probeIndex = pb[ch]->currentIndex();
        c.probeFactor = s.probeFactor[ch];
        c.couplingText = Utf8(cup[ch]->itemText(s.displayCoupling[ch]));
        c.displayCoupling = s.displayCoupling[ch];
        c.tracePosition = s.tracePosition[ch];
        c.bandwidthLimit = s.bandwidthLimit[ch];
    }
    f.trigMode = s.trigMode;
    f.trigSourceText = Utf8(ComboBoxTrigSrc->currentText());
    f.trigSourceIndex = ComboBoxTrigSrc->currentIndex();
    f.trigCouplingText = Utf8(ComboBoxTrigCup->currentText());
    f.trigCouplingIndex = ComboBoxTrigCup->currentIndex();
    f.trigCouplingBySource = s.trigCouplingBySource;
    f.trigSlopeText = Utf8(ComboBoxTrigSp->currentText());
    f.trigSlopeIndex = ComboBoxTrigSp->currentIndex();
    f.trigLevel = s.trigLevel;
    f.trigLevelOffset = s.trigLevelOffset;
    f.trigPosition = s.trigPosition;
    f.delayChecked = CheckBoxDelay->isChecked();
    f.delayText = Utf8(EditDelay->text());
    f.delayUnitText = Utf8(LabelDelayUt->text());
    f.trigDelay = s.trigDelay;
    f.pulseChecked = CheckBoxPulse->isChecked();
    f.pulseText = Utf8(EditPulse->text());
    f.pulseUnitText = Utf8(LabelPulseUt->text());
    f.pulseAbove = RdBtnAbove->isChecked();
    f.pulseWidth = s.pulseWidth;
    f.timeDivText = Utf8(ComboBoxTd->currentText());
    f.timeDivIndex = ComboBoxTd->currentIndex();
    f.equivalentActive = s.equivalentActive != 0;
    f.equivalentAsRealTime = acq_->equivalentAsRealTime;
    f.samplingTimeText = s.samplingTimeText;
    f.memorySizeText = Utf8(ComboBoxMemSize->itemText(s.memorySizeIndex));
    f.memorySizeIndex = s.memorySizeIndex;
    f.memoryPoints = s.memoryPoints;
    f.equivalentChecked = CheckBoxEqu->isChecked();
    f.rollActive = s.rollActive != 0;
    f.rollChecked = CheckBoxRoll->isChecked();
    f.waveformText = Utf8(ComboBoxWaveForm->itemText(s.waveformMode));
    f.waveformMode = s.waveformMode;
    f.numberText = Utf8(ComboBoxNumber->currentText());
    f.numberIndex = ComboBoxNumber->currentIndex();
    f.acquireCountIndex = s.acquireCountIndex;
    f.acquireCountReserved = s.acquireCountReserved;
    f.cursorTOn = s.cursorTOn != 0;
    f.cursorT1 = s.cursorT1;
    f.cursorT2 = s.cursorT2;
    f.cursorVOn = s.cursorVOn != 0;
    f.cursorV1 = s.cursorV1;
    f.cursorV2 = s.cursorV2;
    return f;
}

bool TFormMain::ExportPicture(const std::string& fileName, const std::string& extension) {
    const InstrumentSettings& s = Settings();
    ImageExportRequest r;
    r.fileName = std::filesystem::path(fileName);
    r.extension = extension;
    r.pictures = {surfaces_.Image(ViewImage::Wave), surfaces_.Image(ViewImage::Volt),
                  surfaces_.Image(ViewImage::TrigLevel), surfaces_.Image(ViewImage::TrigPos)};
    ImageCaptionSettings& c = r.settings;
    FillCaptionFromMirrors(s, c);
    c.equivalentAsRealTime = acq_->equivalentAsRealTime;
    c.timeDivText = Utf8(ComboBoxTd->currentText());
    c.memorySizeText = Utf8(ComboBoxMemSize->itemText(s.memorySizeIndex));
    c.acquireCountText = Utf8(ComboBoxNumber->currentText());
    c.xyOn = A_XY->isChecked();
    const QComboBox* vd[] = {ComboBoxVd1, ComboBoxVd2};
    const QComboBox* pb[] = {ComboBoxPb1, ComboBoxPb2};
    for (std::size_t ch = 0; ch < 2; ++ch) {
        c.channels[ch].voltsPerDivText = Utf8(vd[ch]->currentText());
        c.channels[ch].probeText = Utf8(pb[ch]->currentText());
    }
    c.fftVScaleText = Utf8(ComboBoxFftVScale->currentText());
    c.fftHScaleText = Utf8(ComboBoxFftHScale->currentText());
    c.fftSource = FftSourceChannel();
    c.mathScaleText = Utf8(ComboBoxMath->currentText());
    c.mathOperand1 = RdBtnMath12->isChecked() ? 1 : 0;
    c.mathOperand2 = RdBtnMath21->isChecked() ? 0 : 1;
    c.mathOperator = static_cast<int>(processing_->Math().op);
    c.trigSourceText = Utf8(ComboBoxTrigSrc->currentText());
    c.trigCouplingText = Utf8(ComboBoxTrigCup->currentText());
    c.trigSlopeText = Utf8(ComboBoxTrigSp->currentText());
    c.trigLevelInfo = Utf8(LabelSITrigL->text());
    c.trigPosInfo = Utf8(LabelSITrigP->text());
    c.delayChecked = CheckBoxDelay->isChecked();
    c.delayText = Utf8(EditDelay->text());
    c.delayUnitText = Utf8(LabelDelayUt->text());
    c.pulseChecked = CheckBoxPulse->isChecked();
    c.pulseText = Utf8(EditPulse->text());
    c.pulseUnitText = Utf8(LabelPulseUt->text());
    c.pulseCondition = RdBtnAbove->isChecked() ? 2 : 1;
    c.cursorTText = cursorTText_;
    c.cursorVText = {cursorVText_[kTraceCh1], cursorVText_[kTraceCh2], cursorVText_[kTraceMath],
                     cursorVText_[kTraceFft]};
    ImageExporter exporter(*services_.files, Messages(), *services_.wallClock);
    return exporter.Export(r);
}

}  // namespace lumatrace
