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
#include "app/core/PanelDerived.h"
#include "app/files/FileDialogRules.h"
#include "app/files/SettingsMirrors.h"
#include "app/files/WaveformFiles.h"
#include "app/platform/QtDialogs.h"
#include "app/platform/UiText.h"
#include "app/settings/FormSetup.h"
#include "app/settings/ImageExport.h"

namespace lumatrace {

namespace {

// The hourglass for the length of a file operation.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

// Restoring a set's settings: the panel state takes the controls' states by
// name without running their handlers (the whole panel is shown and replayed
// afterwards), the mirrors their values.
class TFormMain::RestoreTarget final : public SettingsRestoreHost {
  public:
    explicit RestoreTarget(TFormMain& form) : form_(form) {}

    void SetItemIndex(std::string_view control, int index) override {
        SelectPanelItem(form_.Panel(), control, index);
    }
    void SetChecked(std::string_view control, bool checked) override {
        SetPanelChecked(form_.Panel(), control, checked);
    }
    void SetDown(std::string_view control, bool down) override {
        SetPanelChecked(form_.Panel(), control, down);
    }
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
        Messages().Show(MessageIcon::Error, UiText("Files", kOpenTitle), message);
        RedrawAll();
        return;
    }
    WaitCursor wait;
    setWindowTitle(QString::fromUtf8("Lumatrace - " + fileName));
    ShowPanelState();
    // Re-applying the source must not carry the trigger level over from the
    // source shown before.
    acq_->panel.trigSourceIndex = Panel().Index(PanelList::TrigSrc);
    ReplayPanelSettings();
    PageControlBtn->setFocus();
    // The record is on show as if it had just been acquired, with the
    // positions and scales it was saved with.
    TakeAcquisitionCopies();
    acq_->AfterRecord();
    acq_->dataValid = true;
    RecordOnShow();
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
    return FileSettingsFrom(Panel(), Settings(), acq_->equivalentAsRealTime);
}

bool TFormMain::ExportPicture(const std::string& fileName, const std::string& extension) {
    ImageExportRequest r;
    r.fileName = std::filesystem::path(fileName);
    r.extension = extension;
    r.pictures = {surfaces_.Image(ViewImage::Wave), surfaces_.Image(ViewImage::Volt),
                  surfaces_.Image(ViewImage::TrigLevel), surfaces_.Image(ViewImage::TrigPos)};
    CaptionReadouts readouts;
    readouts.trigLevelInfo = trigLevelText_;
    readouts.trigPosInfo = trigPosText_;
    readouts.cursorTText = cursorTText_;
    readouts.cursorVText = {cursorVText_[kTraceCh1], cursorVText_[kTraceCh2],
                            cursorVText_[kTraceMath], cursorVText_[kTraceFft]};
    r.settings = CaptionSettingsFrom(Panel(), Settings(), acq_->equivalentAsRealTime, readouts);
    ImageExporter exporter(*services_.files, Messages(), *services_.wallClock);
    return exporter.Export(r);
}

}  // namespace lumatrace
