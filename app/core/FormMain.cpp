#include "app/core/FormMain.h"
#include "app/core/PanelController.h"
#include "app/core/PanelDerived.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "app/core/FormDrv.h"
#include "app/core/PanelValues.h"
#include "app/core/WindowRules.h"
#include "app/settings/FormSplash.h"
#include "app/settings/PanelRules.h"

namespace lumatrace {

namespace {

constexpr std::string_view kTitle = "Lumatrace";
constexpr int kTimerIntervalMs = 10;
// Everything around the wave panel inside PanelMain: the marker strips left
// and right, the trigger-position strip above and the scroll-bar strip below.
constexpr int kAroundWaveWidth = 48;
constexpr int kAroundWaveHeight = 63;
constexpr int kStripWidth = 20;
constexpr int kTrigPBaseHeight = 38;
constexpr int kTrigPHeight = 32;
constexpr int kScrlBarHeight = 18;
constexpr int kScrollBarHeight = 10;
constexpr int kWaveLeft = 24;
constexpr int kWaveTop = 41;
constexpr int kMaxDroppedName = 255;
constexpr int kUnitFlashMs = 20;

// A message the device library posted, on its way to the user-interface thread.
class DeviceMessageEvent final : public QEvent {
  public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    DeviceMessageEvent(std::uint32_t message, std::intptr_t lParam)
        : QEvent(EventType()), message(message), lParam(lParam) {}
    const std::uint32_t message;
    const std::intptr_t lParam;
};

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Color ToColor(const QColor& c) {
    return MakeColor(c.red(), c.green(), c.blue());
}

// Display items 0..9 and the colour slots of the view: the view keeps a slot
// between CH2 and MATH that no item feeds.
int SlotOfDisplayItem(int item) {
    return item < 2 ? item : item + 1;
}

class SessionVersions final : public VersionSource {
  public:
    SessionVersions(DeviceSession& session, const DeviceStartup& startup)
        : session_(session), startup_(startup) {}
    bool DeviceReady() const override { return startup_.deviceReady; }
    bool ReadDeviceInfo(std::array<std::uint8_t, kDeviceInfoSize>& info) override {
        if (!session_.ReadDeviceInfo()) {
            return false;
        }
        std::copy(session_.deviceInfo.begin(), session_.deviceInfo.end(), info.begin());
        return true;
    }
    bool ReadVersion(std::uint32_t& driverVersion, std::uint32_t& libraryVersion) override {
        if (!session_.ReadVersion()) {
            return false;
        }
        driverVersion = session_.driverVersion;
        libraryVersion = session_.libraryVersion;
        return true;
    }

  private:
    DeviceSession& session_;
    const DeviceStartup& startup_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Paint boxes

PaintBox::PaintBox(std::function<const QImage&()> picture, QWidget* parent)
    : QWidget(parent), picture_(std::move(picture)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& image = picture_();
    if (!image.isNull()) {
        painter.drawImage(0, 0, image);
    }
}

// ---------------------------------------------------------------------------
// Creation

TFormMain::TFormMain(MainServices services)
    : TFormSub(services.form),
      services_(std::move(services)),
      ownLoader_(services_.loader ? nullptr : std::make_unique<DynamicLibraryLoader>()),
      ownClock_(services_.clock ? nullptr : std::make_unique<SteadyClock>()),
      loader_(services_.loader ? services_.loader : ownLoader_.get()),
      clock_(services_.clock ? services_.clock : ownClock_.get()),
      session_(library_, *clock_) {
    setObjectName("FormMain");
    FormCreate();
}

TFormMain::~TFormMain() {
    // A window destroyed without being closed still leaves the instrument
    // and the libraries in order.
    FormClose();
}

void TFormMain::ComputeExtras() {
    minWidthExtra_ = width() - PanelMain->width() + kAroundWaveWidth;
    minHeightExtra_ = height() - PanelMain->height() + kAroundWaveHeight;
}

void TFormMain::FormCreate() {
    // 2. The wave area and the size extras around it.
    BuildWaveArea();
    ComputeExtras();

    // 3. The parameter file and the session window.
    prm_ = std::make_unique<TFormPrm>(*this, services_.param);
    drv_ = new TFormDrv(this);
    drv_->hide();
    drv_->SetMainWindowRaiser([this] { BringToFront(); });
    session_.SetLog(drv_);
    // The library calls this from its own threads: only queue the message.
    session_.SetPostToUi([this](std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
        QCoreApplication::postEvent(this, new DeviceMessageEvent(message, lParam));
    });
    acq_ = std::make_unique<AcquisitionControl>(Settings(), session_, *this, Messages());
    panelControl_ = std::make_unique<PanelController>(Panel(), Settings(), *acq_);
    versions_ = std::make_unique<SessionVersions>(session_, startup_);
    acq_->deviceReady = true;

    // 4, 5. The two libraries; without either there is no program.
    if (!session_.Bind(*loader_)) {
        Messages().Show(MessageIcon::Error, kTitle, LibraryLoadFailureText(kDeviceLibraryFile));
        startupFailed_ = true;
        return;
    }
    if (!fft_.Bind(*loader_)) {
        Messages().Show(MessageIcon::Error, kTitle, LibraryLoadFailureText(kFftLibraryFile));
        session_.Unbind();
        startupFailed_ = true;
        return;
    }

    CreateAnalysis();
    SetAnalysisMarkerLayer(&markers_);
    CreateFileServices();
    CreateMeasurePanel();
    CreateLanguageMenu();

    // 6. Splash.
    std::unique_ptr<TFormSplash> splash;
    if (services_.splashMs > 0) {
        splash = std::make_unique<TFormSplash>();
        splash->show();
        splash->repaint();
        QCoreApplication::processEvents();
    }

    // 7.
    formReady_ = false;
    acq_->formReady = false;
    acq_->deviceReady = true;
    setWindowTitle(Text(kTitle));
    TimerStatus = new QTimer(this);
    TimerStatus->setObjectName("TimerStatus");
    TimerStatus->setInterval(kTimerIntervalMs);
    connect(TimerStatus, &QTimer::timeout, this, [this] { TimerStatusTimer(); });
    TimerRoll = new QTimer(this);
    TimerRoll->setObjectName("TimerRoll");
    TimerRoll->setInterval(kTimerIntervalMs);
    connect(TimerRoll, &QTimer::timeout, this, [this] { TimerRollTimer(); });
    frameTimer_ = new QTimer(this);
    frameTimer_->setSingleShot(true);
    frameTimer_->setTimerType(Qt::PreciseTimer);
    connect(frameTimer_, &QTimer::timeout, this, [this] { DrawPendingFrame(); });

    // 8. The splash stays up for its while; the window keeps painting.
    if (services_.splashMs > 0) {
        const std::uint64_t end = clock_->NowMs() + static_cast<std::uint64_t>(services_.splashMs);
        while (clock_->NowMs() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            clock_->SleepMs(10);
        }
    }

    // 9. The instrument.
    OpenInstrument(session_, startup_);

    // 10. Run-time state and pictures.
    Settings().runMode = kRunStop;
    view_.Horizontal().ScreenSamples = 1000000;
    surfaces_.SetPresenter([this] {
        for (QWidget* box :
             {static_cast<QWidget*>(PaintBoxWave), static_cast<QWidget*>(PaintBoxVolt),
              static_cast<QWidget*>(PaintBoxTrigL), static_cast<QWidget*>(PaintBoxTrigP)}) {
            box->update();
        }
    });
    LayOutWaveArea({450 + 12, 360 + 12});

    // 11. Parameter file (the guarded handlers stay idle until it is read).
    std::string prmMessage;
    const bool prmRead = prm_->ReadParameters(prmMessage);
    paramsRead_ = true;

    // 12.
    ReadInstrumentMemory(session_, startup_);
    acq_->deviceReady = startup_.deviceReady;

    // 13, 14. Memory-size list, then every handler once.
    SynchronisePanel(session_.memorySize != 0);
    MemorySizeChangedForSpectrum();
    UpdateSpectrumSource();
    UpdateAnalysisSettings();
    ShowAnalysisLabels();

    // 15.
    setAcceptDrops(true);
    QCoreApplication::processEvents();
    formReady_ = true;
    acq_->formReady = true;
    splash.reset();

    // 16.
    if (!prmRead) {
        Messages().Show(MessageIcon::Error, kTitle, prmMessage);
    }
    if (!startup_.deviceReady) {
        Messages().Show(MessageIcon::Error, kTitle, startup_.message);
    }
    if (!startup_.deviceReady) {
        SetRunActions(ComputeRunActions(kRunStop, false, false));
    }
}

void TFormMain::BuildWaveArea() {
    PanelMain = new QWidget;
    PanelMain->setObjectName("PanelMain");
    PanelMain->setAutoFillBackground(true);
    QPalette gray = PanelMain->palette();
    gray.setColor(QPalette::Window, QColor(128, 128, 128));
    PanelMain->setPalette(gray);
    PanelMain->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    PanelMain->setMinimumSize(450 + 12 + kAroundWaveWidth, 360 + 12 + kAroundWaveHeight);
    PanelMain->installEventFilter(this);

    PanelTrigPBase = new QWidget(PanelMain);
    PanelTrigPBase->setObjectName("PanelTrigPBase");
    auto* frame = new QFrame(PanelMain);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(3);
    frame->setAutoFillBackground(true);
    QPalette white = frame->palette();
    white.setColor(QPalette::Window, Qt::white);
    frame->setPalette(white);
    PanelWave = frame;
    PanelWave->setObjectName("PanelWave");
    PanelScrlBar = new QWidget(PanelMain);
    PanelScrlBar->setObjectName("PanelScrlBar");

    PaintBoxWave = new PaintBox(
        [this]() -> const QImage& { return surfaces_.Image(ViewImage::Wave); }, PanelWave);
    PaintBoxWave->setObjectName("PaintBoxWave");
    PaintBoxVolt = new PaintBox(
        [this]() -> const QImage& { return surfaces_.Image(ViewImage::Volt); }, PanelMain);
    PaintBoxVolt->setObjectName("PaintBoxVolt");
    PaintBoxTrigL = new PaintBox(
        [this]() -> const QImage& { return surfaces_.Image(ViewImage::TrigLevel); }, PanelMain);
    PaintBoxTrigL->setObjectName("PaintBoxTrigL");
    PaintBoxTrigP = new PaintBox(
        [this]() -> const QImage& { return surfaces_.Image(ViewImage::TrigPos); }, PanelTrigPBase);
    PaintBoxTrigP->setObjectName("PaintBoxTrigP");
    ScrollBar1 = new QScrollBar(Qt::Horizontal, PanelScrlBar);
    ScrollBar1->setObjectName("ScrollBar1");
    ScrollBar1->setEnabled(false);

    SetWaveView(PanelMain);
    BuildViewInteraction();
}

// ---------------------------------------------------------------------------
// Sizes

void TFormMain::LayOutWaveArea(Size wavePanel) {
    const int wp = wavePanel.width;
    const int hp = wavePanel.height;
    PanelTrigPBase->setGeometry(0, 0, wp + kAroundWaveWidth, kTrigPBaseHeight);
    PanelWave->setGeometry(kWaveLeft, kWaveTop, wp, hp);
    PaintBoxVolt->setGeometry(2, kWaveTop, kStripWidth, hp);
    PaintBoxTrigL->setGeometry(kWaveLeft + wp + 2, kWaveTop, kStripWidth, hp);
    PanelScrlBar->setGeometry(0, kWaveTop + hp + 4, wp + kAroundWaveWidth, kScrlBarHeight);

    // A box height that does not close whole divisions gives its remainder
    // to the strips above and below.
    const StripSplit split = SplitWaveRemainder(hp - 11);
    const int boxW = wp - 11;
    const int boxH = split.boxHeight;
    PaintBoxWave->setGeometry(5, 5 + split.extraAbove, boxW, boxH);
    PaintBoxTrigP->setGeometry(kWaveLeft + 5, 3 + split.extraAbove, boxW, kTrigPHeight);
    ScrollBar1->setGeometry(kWaveLeft + 5, 4 + split.extraBelow, boxW, kScrollBarHeight);

    view_.Resize(boxW, boxH);
    ViewImageSizes sizes;
    sizes.wave = {boxW, boxH};
    sizes.volt = {kStripWidth, hp};
    sizes.trigLevel = {kStripWidth, hp};
    sizes.trigPos = {boxW, kTrigPHeight};
    surfaces_.Resize(sizes);
    LayOutMarkers();
    ApplyScrollGeometry();
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    // The window's size rules work on the wave area's panel once the layout
    // has given it its size.
    // Taken up after the event that resized it: the rules may resize the
    // window again and the first layout runs the event loop.
    if (watched == PanelMain && event->type() == QEvent::Resize && !resizeQueued_) {
        resizeQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                resizeQueued_ = false;
                FormResize();
            },
            Qt::QueuedConnection);
    }
    return TFormSub::eventFilter(watched, event);
}

void TFormMain::FormResize() {
    if (!formReady_ || resizing_ || closed_) {
        return;
    }
    resizing_ = true;
    ComputeExtras();
    ApplySizeLimits();
    const Size panel{PanelMain->width(), PanelMain->height()};
    const Size wave =
        SnapWaveArea(panel.width - prevWindow_.width, panel.height - prevWindow_.height, panel);
    const QSize target(wave.width + minWidthExtra_, wave.height + minHeightExtra_);
    if (!isMaximized() && !isFullScreen() && target != size()) {
        resize(target);
        ComputeExtras();
    }
    prevWindow_ = {PanelMain->width(), PanelMain->height()};
    LayOutWaveArea(wave);
    resizing_ = false;

    if (!acq_->firstLayoutDone) {
        FirstLayout();
    }
    if (!acq_->deviceReady) {
        SetRunActions(ComputeRunActions(kRunStop, false, false));
    }
    RedrawAll();
}

void TFormMain::ApplySizeLimits() {
    // The rules count the whole window, frame included; Qt limits the client.
    const WorkArea area = ScreenWorkArea();
    const QSize frame = FrameExtent();
    const SizeLimits limits = ComputeSizeLimits(
        {area.width, area.height}, minWidthExtra_ + frame.width(), minHeightExtra_ + frame.height(),
        isMaximized(), frameGeometry().left() - area.left);
    const QSize minimum(limits.minimum.width - frame.width(),
                        limits.minimum.height - frame.height());
    const QSize maximum(limits.maximum.width - frame.width(),
                        limits.maximum.height - frame.height());
    setMinimumSize(minimum);
    setMaximumSize(maximum.expandedTo(minimum));
}

void TFormMain::FirstLayout() {
    // The trigger position fits the record, the level offset is known.
    ResolveFirstLayout(Settings(), Panel().Index(PanelList::TrigSrc));
    acq_->firstLayoutDone = true;
    CentreViewOnTrigger();
    acq_->A_Stop();
    QCoreApplication::processEvents();
    if (!pendingFile_.empty()) {
        const std::string file = std::move(pendingFile_);
        pendingFile_.clear();
        OpenWaveFile(file);
    }
    // Sends the mode record; the program comes up stopped.
    acq_->ApplyAndStart();
    RefreshReadouts();
    emit firstLayoutDone();
}

void TFormMain::HandleForwardedArguments(const std::vector<std::string>& arguments) {
    BringToFront();
    if (acq_->Running() || arguments.empty()) {
        return;
    }
    const std::string file = WaveFileFromArguments(arguments);
    if (!file.empty()) {
        OpenWaveFile(file);
    }
}

// ---------------------------------------------------------------------------
// Close

void TFormMain::closeEvent(QCloseEvent* event) {
    TFormSub::closeEvent(event);
    if (event->isAccepted()) {
        FormClose();
    }
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    if (!acq_->Running() && !urls.isEmpty() && urls.front().isLocalFile()) {
        // The first file only, and no longer a name than the file command takes.
        const std::string file = urls.front().toLocalFile().left(kMaxDroppedName).toStdString();
        OpenWaveFile(file);
    }
    BringToFront();
}

void TFormMain::FormClose() {
    if (closed_ || startupFailed_ || !acq_) {
        if (startupFailed_ && !closed_) {
            closed_ = true;
            fft_.Unbind();
            session_.Unbind();
        }
        return;
    }
    closed_ = true;
    if (acq_->Running()) {
        acq_->A_Stop();
    }
    TimerStatus->stop();
    TimerRoll->stop();
    frameTimer_->stop();
    prm_->WriteParameters();
    formReady_ = false;
    acq_->formReady = false;
    session_.CloseDevice();
    // Nothing the library queued may reach a closed window.
    QCoreApplication::removePostedEvents(this, DeviceMessageEvent::EventType());
    // No transform may outlive the library it calls.
    analyzer_->StopWorker();
    fft_.Unbind();
    session_.Unbind();
}

// ---------------------------------------------------------------------------
// Messages and timers

bool TFormMain::event(QEvent* event) {
    if (event->type() == DeviceMessageEvent::EventType()) {
        const auto* m = static_cast<DeviceMessageEvent*>(event);
        if (!closed_) {
            acq_->HandleDeviceMessage(m->message, m->lParam);
        }
        return true;
    }
    return TFormSub::event(event);
}

void TFormMain::TimerStatusTimer() {
    acq_->TimerStatusTick();
}

void TFormMain::TimerRollTimer() {
    acq_->TimerRollTick();
    ReportSpectrumFailure();
}

bool TFormMain::FormKeyDown(int key, KeyModifiers mods, bool autoRepeat) {
    if (key == Qt::Key_F12 && mods.shift && !mods.ctrl && !mods.alt) {
        drv_->ShowLog();
        return true;
    }
    // Ctrl with the scroll keys moves the view; the panel's keys follow.
    const bool scrolled = ScrollKeyDown(key, mods);
    return TFormSub::FormKeyDown(key, mods, autoRepeat) || scrolled;
}

// ---------------------------------------------------------------------------
// AcquisitionHost

void TFormMain::SetTriggerStatusText(std::string_view text) {
    PnlStsTrig->setText(Text(text));
}
void TFormMain::SetExecStatusText(std::string_view text) {
    PnlStsExec->setText(Text(text));
}
void TFormMain::SetErrorStatusText(std::string_view text) {
    PnlStsError->setText(Text(text));
}
void TFormMain::SetSamplingTimeLabel(std::string_view text) {
    LabelSISmpTm->setText(Text(text));
}

void TFormMain::SetRunActions(const RunActionState& state) {
    A_Auto->setEnabled(state.autoEnabled);
    A_Single->setEnabled(state.singleEnabled);
    A_Normal->setEnabled(state.normalEnabled);
    A_Stop->setEnabled(state.stopEnabled);
    if (state.rollCaptions) {
        A_Auto->setText("&Run");
        A_Auto->setIconText("Run");
        A_Auto->setToolTip("Run");
    } else {
        A_Auto->setText("&Auto");
        A_Auto->setIconText("Auto");
        A_Auto->setToolTip("Auto Run");
    }
}

void TFormMain::SetTriggerControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             ComboBoxTrigSrc, ComboBoxTrigCup, ComboBoxTrigSp, LabelTrigSrc, LabelTrigCup,
             LabelTrigSp, LabelTrigL, UpDownTrigL, LabelTrigP, UpDownTrigP, CheckBoxDelay}) {
        w->setEnabled(enabled);
    }
    const bool delay = enabled && Panel().Checked(PanelCheck::Delay);
    for (QWidget* w :
         std::initializer_list<QWidget*>{LabelDelay, EditDelay, LabelDelayUt, UpDownDelay}) {
        w->setEnabled(delay);
    }
    for (const char* name : {"M_TrigSrc", "M_TrigCup", "M_TrigSp", "M_TrigDelay"}) {
        if (QAction* item = MenuItem(name)) {
            item->setEnabled(enabled);
        }
    }
    PaintBoxTrigL->setEnabled(enabled);
    PaintBoxTrigP->setEnabled(enabled);
}

void TFormMain::SetPulseControlsEnabled(bool enabled) {
    CheckBoxPulse->setEnabled(enabled);
    const bool pulse = enabled && Panel().Checked(PanelCheck::Pulse);
    for (QWidget* w : std::initializer_list<QWidget*>{LabelPulse, EditPulse, LabelPulseUt,
                                                      UpDownPulse, RdBtnUnder, RdBtnAbove}) {
        w->setEnabled(pulse);
    }
    if (QAction* item = MenuItem("M_TrigPulse")) {
        item->setEnabled(enabled);
    }
}

void TFormMain::RunControlsSwitched(bool running) {
    A_Open->setEnabled(!running);
    A_Save->setEnabled(!running);
    A_Setup->setEnabled(!running);
    ComboBoxMemSize->setEnabled(!running);
    LabelMemSize->setEnabled(!running);
    if (QAction* item = MenuItem("M_MemSize")) {
        item->setEnabled(!running);
    }
    ApplyHintVisibility(!running && Panel().Flag(PanelFlag::Hint));
    if (running) {
        // A file shown before is no longer what is on the screen.
        setWindowTitle(Text(kTitle));
    }
    EnsureFocus();
}

void TFormMain::SetStatusTimer(bool enabled) {
    if (enabled) {
        TimerStatus->start();
    } else {
        TimerStatus->stop();
    }
}

bool TFormMain::StatusTimerRunning() const {
    return TimerStatus->isActive();
}

void TFormMain::SetRollTimer(bool enabled) {
    if (enabled) {
        TimerRoll->start();
    } else {
        TimerRoll->stop();
    }
}

ViewSettings TFormMain::CurrentViewSettings() const {
    const InstrumentSettings& s = Settings();
    ViewSettings v;
    v.formReady = formReady_;
    v.displayInitialised = acq_->firstLayoutDone;
    v.displaySuspended = FileLoading();
    v.runMode = s.runMode;
    v.rollActive = s.rollActive != 0;
    v.equivalentActive = s.equivalentActive != 0;
    v.equivalentAsRealTime = acq_->equivalentAsRealTime;
    v.dataValid = acq_->dataValid;
    v.recordSinceStart = acq_->recordSinceStart;
    v.waveformMode = s.waveformMode;
    v.channelOn = {s.channelOn[0] != 0, s.channelOn[1] != 0};
    v.mathOn = s.mathOn != 0;
    v.fftOn = s.fftOn != 0;
    v.tracePosition = s.tracePosition;
    v.voltsPerDivMv = s.voltsPerDivMv;
    v.probeFactor = s.probeFactor;
    v.acqTracePosition = acqTracePosition_;
    v.acqVoltsPerDivMv = acqVoltsPerDivMv_;
    v.memoryPoints = s.memoryPoints;
    v.trigPosition = s.trigPosition;
    v.timePerDiv = static_cast<double>(s.timePerDiv);
    v.prevTimePerDiv = static_cast<double>(acq_->prevTimePerDiv);
    v.gridOn = Panel().Flag(PanelFlag::Grid);
    v.scaleOn = Panel().Flag(PanelFlag::Scale);
    v.xyOn = Panel().Flag(PanelFlag::XY);
    for (int item = 0; item < kDisplayItemCount; ++item) {
        v.displayColors[static_cast<std::size_t>(SlotOfDisplayItem(item))] = s.DisplayColor(item);
    }
    v.buttonShadowColor = ToColor(palette().color(QPalette::Dark));
    v.cursorTOn = s.cursorTOn != 0;
    v.cursorVOn = s.cursorVOn != 0;
    v.traceOrder = viewState_.traceOrder;
    v.lastCursorPairT = viewState_.lastCursorPairT;
    return v;
}

void TFormMain::RedrawAll() {
    Redraw(true);
}

void TFormMain::RedrawRecord() {
    if (!formReady_ || !acq_ || closed_) {
        return;
    }
    {
        const ViewSettings v = CurrentViewSettings();
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        view_.AverageRecord(v, surfaces_);
    }
    const QScreen* shownOn = screen();
    framePacer_.SetFrameMs(FramePacer::FrameMsFor(shownOn ? shownOn->refreshRate() : 0.0));
    const FramePacer::Decision d = framePacer_.Request(clock_->NowMs());
    switch (d.kind) {
        case FramePacer::Decision::Kind::DrawNow:
            Redraw(false);
            break;
        case FramePacer::Decision::Kind::DrawLater:
            frameTimer_->start(d.delayMs);
            break;
        case FramePacer::Decision::Kind::AlreadyDue:
            break;
    }
}

void TFormMain::DrawPendingFrame() {
    if (framePacer_.Due()) {
        Redraw(false);
    }
}

void TFormMain::Redraw(bool averageStep) {
    if (!formReady_ || !acq_ || closed_) {
        return;
    }
    // Whatever was due is drawn now.
    frameTimer_->stop();
    framePacer_.Drawn(clock_->NowMs());
    const ViewSettings v = CurrentViewSettings();
    UpdateAnalysisSettings();
    PrepareMarkers();
    {
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        view_.RedrawAll(v, surfaces_, averageStep);
    }
    ++framesDrawn_;
    ReportSpectrumFailure();
    RefreshReadouts();
    MeasureAfterRedraw();
}

TFormMain::RunCounts TFormMain::Counts() const {
    return {acq_ ? acq_->recordsTaken : 0, framesDrawn_};
}

void TFormMain::RecomputeViewWindow() {
    if (!acq_) {
        return;
    }
    HorizontalView& h = view_.Horizontal();
    h.scrollPosition = ScrollBar1->value();
    view_.RecomputeViewWindow(CurrentViewSettings());
    ApplyScrollGeometry();
    SetScrollPosition(h.scrollPosition);
}

int TFormMain::ScreenSamples() const {
    return view_.Horizontal().ScreenSamples;
}
void TFormMain::SetScreenSamples(int samples) {
    if (view_.Horizontal().ScreenSamples == samples) {
        return;
    }
    view_.Horizontal().ScreenSamples = samples;
    ApplyScrollGeometry();
}
double TFormMain::HorizontalZoom() const {
    return view_.Horizontal().HorizontalZoom;
}
void TFormMain::SetHorizontalZoom(double zoom) {
    view_.Horizontal().HorizontalZoom = zoom;
}
double TFormMain::StartPhase() const {
    return view_.Horizontal().StartPhase;
}
void TFormMain::SetStartPhase(double phase) {
    view_.Horizontal().StartPhase = phase;
}
int TFormMain::WaveWidth() const {
    return view_.Geometry().WaveWidth;
}

void TFormMain::TakeAcquisitionCopies() {
    acqTracePosition_ = {Settings().tracePosition[kTraceCh1], Settings().tracePosition[kTraceCh2]};
    acqVoltsPerDivMv_ = Settings().voltsPerDivMv;
    // Equivalent time interleaves its passes at 100 ps.
    acqIntervalSeconds_ = acq_->EquivalentDisplay() ? 100e-12 : Settings().sampleIntervalNs * 1e-9;
    UpdateSpectrumSource();
}

void TFormMain::BringToFront() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

bool TFormMain::FileLoading() const {
    return fileLoading_;
}

// ---------------------------------------------------------------------------
// Run actions

void TFormMain::A_AutoExecute() {
    acq_->A_Auto();
}
void TFormMain::A_StopExecute() {
    acq_->A_Stop();
}
void TFormMain::A_SingleExecute() {
    acq_->A_Single();
}
void TFormMain::A_NormalExecute() {
    acq_->A_Normal();
}
void TFormMain::A_VisibleExecute() {
    view_.MarkGridDirty();
    RedrawAll();
}
void TFormMain::A_XYExecute() {
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Panel handlers

void TFormMain::ComboBoxVd1Change() {
    TFormSub::ComboBoxVd1Change();
    panelControl_->VoltsPerDivChosen(0, ProbeChangeInProgress(0));
}

void TFormMain::ComboBoxVd2Change() {
    TFormSub::ComboBoxVd2Change();
    panelControl_->VoltsPerDivChosen(1, ProbeChangeInProgress(1));
}

void TFormMain::ComboBoxPb1Change() {
    panelControl_->ProbeChosen(0);
    TFormSub::ComboBoxPb1Change();
}

void TFormMain::ComboBoxPb2Change() {
    panelControl_->ProbeChosen(1);
    TFormSub::ComboBoxPb2Change();
}

void TFormMain::ComboBoxCup1Change() {
    TFormSub::ComboBoxCup1Change();
    panelControl_->CouplingChosen(0);
}

void TFormMain::ComboBoxCup2Change() {
    TFormSub::ComboBoxCup2Change();
    panelControl_->CouplingChosen(1);
}

void TFormMain::ComboBoxTrigSrcChange() {
    // The panel swaps the coupling list and runs the coupling handler; that
    // coupling belongs to the new source, which the core learns below.
    trigSourceChanging_ = true;
    TFormSub::ComboBoxTrigSrcChange();
    trigSourceChanging_ = false;
    panelControl_->TrigSourceChosen();
}

void TFormMain::ComboBoxTrigCupChange() {
    TFormSub::ComboBoxTrigCupChange();
    if (!trigSourceChanging_) {
        panelControl_->TrigCouplingChosen();
    }
}

void TFormMain::ComboBoxTrigSpChange() {
    TFormSub::ComboBoxTrigSpChange();
    panelControl_->SlopeChosen();
}

void TFormMain::ComboBoxTdChange() {
    TFormSub::ComboBoxTdChange();
    panelControl_->TimeDivChosen(TypedDelayNs());
    ShowDelay();
}

void TFormMain::ComboBoxMemSizeChange() {
    TFormSub::ComboBoxMemSizeChange();
    // The number list depends on the record length: the waveform handler runs
    // again, then the time/div handler inside the memory-size change applies.
    waveformChanging_ = true;
    TFormSub::ComboBoxWaveFormChange();
    waveformChanging_ = false;
    panelControl_->MemorySizeChosen(TypedDelayNs());
    ShowWaveformLabel();
    if (PanelReplayed()) {
        MemorySizeChangedForSpectrum();
    }
    ShowDelay();
}

void TFormMain::ComboBoxWaveFormChange() {
    waveformChanging_ = true;
    TFormSub::ComboBoxWaveFormChange();
    waveformChanging_ = false;
    panelControl_->WaveformChosen(true);
    ShowWaveformLabel();
}

void TFormMain::ShowWaveformLabel() {
    LabelSIWf->setText(Text(WaveformLabelText(Panel(), Settings().waveformMode)));
}

void TFormMain::ComboBoxNumberChange() {
    TFormSub::ComboBoxNumberChange();
    if (waveformChanging_) {
        return;
    }
    panelControl_->NumberChosen();
    ShowWaveformLabel();
}

void TFormMain::CheckBoxDelayClick() {
    TFormSub::CheckBoxDelayClick();
    if (PanelReplayed()) {
        panelControl_->DelayBoxChosen();
    }
}

void TFormMain::CheckBoxPulseClick() {
    TFormSub::CheckBoxPulseClick();
    panelControl_->PulseBoxChosen();
}

void TFormMain::CheckBoxEquClick() {
    TFormSub::CheckBoxEquClick();
    if (PanelReplayed()) {
        if (panelControl_->EquivalentBoxChosen()) {
            SetSamplingTimeLabel(SamplingTimeLabelText(Settings()));
        }
        LabelSIEqu->setText(Text(OnOffLabelText(Panel().Checked(PanelCheck::Equ))));
    }
}

void TFormMain::CheckBoxRollClick() {
    TFormSub::CheckBoxRollClick();
    if (PanelReplayed()) {
        panelControl_->RollBoxChosen();
        LabelSIRoll->setText(Text(OnOffLabelText(Panel().Checked(PanelCheck::Roll))));
    }
}

void TFormMain::BandwidthClicked(int ch) {
    if (PanelReplayed()) {
        panelControl_->BandwidthChosen(ch);
        (ch == 0 ? LabelSIBw1 : LabelSIBw2)
            ->setText(Text(BandwidthLabelText(Settings().bandwidthLimit[ch])));
    }
}
void TFormMain::RdBtnFull1Click() {
    TFormSub::RdBtnFull1Click();
    BandwidthClicked(0);
}
void TFormMain::RdBtn20MHz1Click() {
    TFormSub::RdBtn20MHz1Click();
    BandwidthClicked(0);
}
void TFormMain::RdBtnFull2Click() {
    TFormSub::RdBtnFull2Click();
    BandwidthClicked(1);
}
void TFormMain::RdBtn20MHz2Click() {
    TFormSub::RdBtn20MHz2Click();
    BandwidthClicked(1);
}

void TFormMain::RdBtnUnderClick() {
    TFormSub::RdBtnUnderClick();
    if (PanelReplayed()) {
        ApplyPulseEdit();
    }
}
void TFormMain::RdBtnAboveClick() {
    TFormSub::RdBtnAboveClick();
    if (PanelReplayed()) {
        ApplyPulseEdit();
    }
}

void TFormMain::ReplayPanelSettings() {
    // The delay and pulse are applied from their stored values: the edits
    // show whatever they showed before the settings were restored.
    panelControl_->SetReplaying(true);
    TFormSub::ReplayPanelSettings();
    panelControl_->SetReplaying(false);
    ShowDelay();
    ShowPulse();
}

// ---- Delay and pulse values ----------------------------------------------

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

void ClearUnderline(QWidget* edit) {
    QFont f = edit->font();
    f.setUnderline(false);
    edit->setFont(f);
}

}  // namespace

std::optional<long double> TFormMain::TypedDelayNs() const {
    return ParseTimeNs(EditDelay->text().toStdString(), shownDelayUnit_);
}

void TFormMain::ShowDelay() {
    const EditTexts shown = PanelEditTexts(Settings());
    const QString unit = Text(shown.delayUnitText);
    if (shown.delayUnitText != shownDelayUnit_) {
        shownDelayUnit_ = shown.delayUnitText;
        LabelDelayUt->setText(unit);
        // A changed unit flashes so that the new number is not misread.
        LabelDelayUt->setStyleSheet(QStringLiteral("background-color: yellow"));
        QTimer::singleShot(kUnitFlashMs, LabelDelayUt,
                           [label = LabelDelayUt] { label->setStyleSheet(QString()); });
    }
    EditDelay->setText(Text(shown.delayText));
    ClearUnderline(EditDelay);
}

void TFormMain::ShowPulse() {
    EditPulse->setText(Text(PanelEditTexts(Settings()).pulseText));
    ClearUnderline(EditPulse);
}

void TFormMain::ApplyDelayEdit() {
    if (!PanelReplayed()) {
        return;
    }
    panelControl_->DelayEntered(TypedDelayNs());
    ShowDelay();
}

void TFormMain::ApplyPulseEdit() {
    panelControl_->PulseEntered(EditPulse->text().toStdString(), kPulseUnitText);
    ShowPulse();
}

void TFormMain::EditDelayKeyDown(int key) {
    if (IsEnter(key)) {
        ApplyDelayEdit();
    }
}
void TFormMain::EditDelayExit() {
    ApplyDelayEdit();
}
void TFormMain::EditPulseKeyDown(int key) {
    if (IsEnter(key) && PanelReplayed()) {
        ApplyPulseEdit();
    }
}
void TFormMain::EditPulseExit() {
    if (PanelReplayed()) {
        ApplyPulseEdit();
    }
}

void TFormMain::UpDownDelayClick(UpDownButton button) {
    if (!PanelReplayed()) {
        return;
    }
    const Qt::KeyboardModifiers m = QApplication::keyboardModifiers();
    const int step = StepMultiplier(m & Qt::ShiftModifier, m & Qt::ControlModifier);
    panelControl_->DelayStepped(button == UpDownButton::Up ? step : -step);
    ShowDelay();
}

void TFormMain::UpDownPulseClick(UpDownButton button) {
    if (!PanelReplayed()) {
        return;
    }
    const Qt::KeyboardModifiers m = QApplication::keyboardModifiers();
    const int step = 10 * StepMultiplier(m & Qt::ShiftModifier, m & Qt::ControlModifier);
    panelControl_->PulseStepped(button == UpDownButton::Up ? step : -step);
    ShowPulse();
}

}  // namespace lumatrace
