#include "app/settings/FormPrm.h"

#include "app/platform/MessageBox.h"
#include "app/platform/SettingsFolder.h"
#include "app/settings/FormSub.h"
#include "app/settings/PanelState.h"

namespace lumatrace {

namespace {

Qt::WindowStates ToQt(ParamWindowState state) {
    switch (state) {
        case ParamWindowState::Minimised:
            return Qt::WindowMinimized;
        case ParamWindowState::Maximised:
            return Qt::WindowMaximized;
        case ParamWindowState::Normal:
            break;
    }
    return Qt::WindowNoState;
}

ParamWindowState FromQt(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized) {
        return ParamWindowState::Minimised;
    }
    if (state & Qt::WindowMaximized) {
        return ParamWindowState::Maximised;
    }
    return ParamWindowState::Normal;
}

}  // namespace

TFormPrm::TFormPrm(TFormSub& main, ParamFormServices services) : main_(main) {
    if (services.files != nullptr) {
        files_ = services.files;
    } else {
        ownFiles_ = std::make_unique<LocalFileStore>();
        files_ = ownFiles_.get();
    }
    messages_ = services.messages != nullptr ? services.messages : &main.Messages();
    const std::optional<std::filesystem::path> folder =
        services.folder ? services.folder : SettingsFolder(ProcessEnvironment());
    if (folder) {
        file_ = ParameterFilePath(*folder);
        files_->MakeDirectories(*folder);
    }
    sizes_ = main.DerivedSizes();
    frame_ = main.FrameExtent();
}

TFormPrm::~TFormPrm() = default;

bool TFormPrm::ReadParameters(std::string& message) {
    message.clear();
    readProblem_.clear();
    if (file_.empty()) {
        main_.ApplyDefaults();
        return true;
    }
    ParamLoadResult loaded = LoadParameterFile(*files_, file_);
    switch (loaded.status) {
        case ParamLoadStatus::Missing:
            main_.ApplyDefaults();
            return true;
        case ParamLoadStatus::Loaded: {
            std::string problem = ApplySnapshot(loaded.snapshot);
            if (problem.empty()) {
                return true;
            }
            // Sound as a file but not for this panel: as damaged as any other.
            files_->Remove(file_);
            loaded.message = UiText("Files", kParamReadErrorMessage);
            loaded.detail = std::move(problem);
            break;
        }
        case ParamLoadStatus::Corrupt:
        case ParamLoadStatus::Unreadable:
            break;
    }
    main_.ApplyDefaults();
    message = std::move(loaded.message);
    readProblem_ = std::move(loaded.detail);
    return false;
}

bool TFormPrm::WriteParameters() {
    if (file_.empty()) {
        messages_->Show(MessageIcon::Error, kParamWriteErrorTitle,
                        UiText("Files", kParamWriteErrorMessage));
        return false;
    }
    return StoreParameterFile(*files_, *messages_, file_, TakeSnapshot());
}

std::string TFormPrm::ApplySnapshot(const ParamSnapshot& s) {
    // Check everything first, so a snapshot that does not fit changes nothing.
    for (const ParamControlInfo& info : ParamControls()) {
        if (const auto& record = s.Control(info.id)) {
            if (std::string problem = CheckParamRecord(info.id, *record, main_.Panel());
                !problem.empty()) {
                return problem;
            }
        }
    }

    // Display items; files without the FFT item leave it alone. Their colours
    // also colour the trace buttons, whose records may then say otherwise.
    for (int item = 0; item < kParamDisplayItems; ++item) {
        const auto i = static_cast<std::size_t>(item);
        if (s.displayColors[i]) {
            main_.SetDisplayColor(item, *s.displayColors[i]);
        }
        if (s.itemPositions[i]) {
            main_.SetItemPosition(item, *s.itemPositions[i]);
        }
    }

    ApplyWindowPlacement(s);

    PanelState& panel = main_.Panel();
    panel.Flag(PanelFlag::Scale) = s.scaleChecked;
    panel.Flag(PanelFlag::Grid) = s.gridChecked;
    panel.Flag(PanelFlag::XY) = s.xyChecked;
    panel.Flag(PanelFlag::Hint) = s.hintChecked;
    panel.Checked(PanelCheck::Delay) = s.delayChecked;
    panel.Checked(PanelCheck::Pulse) = s.pulseChecked;
    panel.Checked(PanelCheck::Equ) = s.equChecked;
    panel.Checked(PanelCheck::Roll) = s.rollChecked;

    InstrumentSettings& settings = main_.Settings();
    settings.trigLevelOffset = s.trigLevelOffset.ToLongDouble();
    settings.trigCouplingBySource = {s.trigCouplingBySource[0], s.trigCouplingBySource[1]};
    settings.trigDelay = s.trigDelay;
    settings.pulseWidth = s.pulseWidth;
    settings.acquireCountIndex = s.acquireCountIndex;
    settings.acquireCountReserved = s.reservedValue;
    if (s.fftVScaleIndex) {
        settings.fftVScaleIndex = {(*s.fftVScaleIndex)[0], (*s.fftVScaleIndex)[1]};
    }
    if (s.fftPositionByType) {
        settings.fftPositionByType = {(*s.fftPositionByType)[0], (*s.fftPositionByType)[1]};
    }

    // The records in file order; the codec has already upgraded the lists of
    // older files.
    for (const ParamControlInfo& info : ParamControls()) {
        if (const auto& record = s.Control(info.id)) {
            ApplyParamRecord(info.id, *record, panel);
        }
    }
    main_.ShowPanelState();
    main_.SetShowHint(s.hintChecked);
    if (!s.Control(ParamControl::SpeedButtonFft)) {
        // A file from before the spectrum.
        main_.ApplyFftDefaults();
    }
    return {};
}

void TFormPrm::ApplyWindowPlacement(const ParamSnapshot& s) {
    const WindowPlacementDecision decision = DecideWindowPlacement(
        s.workAreaSize, s.windowState, s.windowRect, main_.ScreenWorkArea(), sizes_);
    main_.PlaceWindow(decision.rect, frame_);
    if (decision.state) {
        main_.setWindowState(ToQt(*decision.state));
    }
}

ParamSnapshot TFormPrm::TakeSnapshot() const {
    ParamSnapshot s;
    s.version = ParamFileVersion();
    s.workAreaSize = WorkAreaSize(main_.ScreenWorkArea());
    for (int item = 0; item < kParamDisplayItems; ++item) {
        const auto i = static_cast<std::size_t>(item);
        s.displayColors[i] = main_.GetDisplayColor(item);
        s.itemPositions[i] = main_.GetItemPosition(item);
    }
    s.windowState = FromQt(main_.windowState());
    s.windowRect = main_.WindowBounds(frame_);

    const PanelState& panel = main_.Panel();
    s.scaleChecked = panel.Flag(PanelFlag::Scale);
    s.gridChecked = panel.Flag(PanelFlag::Grid);
    s.xyChecked = panel.Flag(PanelFlag::XY);
    s.hintChecked = panel.Flag(PanelFlag::Hint);
    s.delayChecked = panel.Checked(PanelCheck::Delay);
    s.pulseChecked = panel.Checked(PanelCheck::Pulse);
    s.equChecked = panel.Checked(PanelCheck::Equ);
    s.rollChecked = panel.Checked(PanelCheck::Roll);

    const InstrumentSettings& settings = main_.Settings();
    s.trigLevelOffset = Extended80::FromLongDouble(settings.trigLevelOffset);
    s.trigCouplingBySource = {settings.trigCouplingBySource[0], settings.trigCouplingBySource[1]};
    s.trigDelay = settings.trigDelay;
    s.pulseWidth = settings.pulseWidth;
    s.acquireCountIndex = settings.acquireCountIndex;
    s.reservedValue = settings.acquireCountReserved;
    s.fftVScaleIndex =
        std::array<std::int32_t, 2>{settings.fftVScaleIndex[0], settings.fftVScaleIndex[1]};
    s.fftPositionByType =
        std::array<std::int32_t, 2>{settings.fftPositionByType[0], settings.fftPositionByType[1]};

    for (const ParamControlInfo& info : ParamControls()) {
        s.Control(info.id) = CaptureParamRecord(info.id, panel);
    }
    return s;
}

}  // namespace lumatrace
