// TFormMain: the main window. The control panel of TFormSub around the
// waveform view, the device session and acquisition control behind it, the
// two 10 ms timers and the messages the device library posts.
#pragma once

#include <QCursor>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/core/AcquisitionControl.h"
#include "app/core/DeviceSession.h"
#include "app/core/DeviceStartup.h"
#include "app/core/FftLibrary.h"
#include "app/core/FramePacer.h"
#include "app/core/PanelController.h"
#include "app/core/WindowRules.h"
#include "app/display/InteractionHost.h"
#include "app/display/QtViewSurfaces.h"
#include "app/display/SpectrumScales.h"
#include "app/display/ViewInteraction.h"
#include "app/display/ViewMarkers.h"
#include "app/display/ViewProcessing.h"
#include "app/display/ViewSpectrum.h"
#include "app/display/WaveView.h"
#include "app/files/WaveformCodec.h"
#include "app/i18n/Language.h"
#include "app/platform/Clock.h"
#include "app/platform/Dialogs.h"
#include "app/platform/FileStore.h"
#include "app/platform/LibraryLoader.h"
#include "app/settings/DisplayColorDraft.h"
#include "app/settings/FormPrm.h"
#include "app/settings/FormSub.h"
#include "app/settings/VersionInfo.h"
#include "app/settings/WallClock.h"

class QDockWidget;
class QMenu;
class QScrollBar;
class QTimer;

namespace lumatrace {

class MeasurePanel;
struct MeasureInput;
class RemoteInstrument;
class TFormDrv;
class TFormSetup;
class TFormSplash;

// One of the main window's paint boxes: shows its off-screen picture and
// reports what the pointer does over it.
class PaintBox : public QWidget {
    Q_OBJECT

  public:
    PaintBox(std::function<const QImage&()> picture, QWidget* parent);

  signals:
    void pointerPressed(Qt::MouseButton button, QPoint at);
    void pointerMoved(QPoint at);
    void pointerReleased();
    void pointerLeft();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::function<const QImage&()> picture_;
};

// What the main window is built with; null members get the real services.
struct MainServices {
    FormServices form;
    ParamFormServices param;
    LibraryLoader* loader = nullptr;
    Clock* clock = nullptr;
    // How long the splash window stays before the instrument is opened.
    int splashMs = 2000;
    // Files, the file and colour dialogs and the wall clock of the file
    // commands.
    FileStore* files = nullptr;
    FileDialogService* fileDialogs = nullptr;
    ColorDialogService* colorDialogs = nullptr;
    WallClock* wallClock = nullptr;
};

class TFormMain : public TFormSub, public AcquisitionHost, public InteractionHost {
    Q_OBJECT

  public:
    explicit TFormMain(MainServices services = {});
    ~TFormMain() override;

    // A library could not be bound: its message has been shown and the
    // program must end without showing this window.
    bool StartupFailed() const { return startupFailed_; }

    // Name of a waveform file given on the command line, opened after the
    // first layout.
    void SetPendingFile(std::string fileName) { pendingFile_ = std::move(fileName); }
    // Arguments a later start of the program handed over: a file named in
    // them is opened, but only while stopped.
    void HandleForwardedArguments(const std::vector<std::string>& arguments);

    // Paint boxes, strips and timers (object names as listed).
    QWidget* PanelMain = nullptr;
    QWidget* PanelTrigPBase = nullptr;
    QWidget* PanelWave = nullptr;
    QWidget* PanelScrlBar = nullptr;
    PaintBox* PaintBoxWave = nullptr;
    PaintBox* PaintBoxVolt = nullptr;
    PaintBox* PaintBoxTrigL = nullptr;
    PaintBox* PaintBoxTrigP = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QTimer* TimerStatus = nullptr;
    QTimer* TimerRoll = nullptr;

    AcquisitionControl& Acquisition() { return *acq_; }
    DeviceSession& Session() { return session_; }
    WaveView& View() { return view_; }
    // Averaging and the MATH trace of the view.
    const ViewProcessing& Processing() const { return *processing_; }
    TFormDrv& SessionWindow() { return *drv_; }
    const DeviceStartup& Startup() const { return startup_; }
    // What the version dialog reads from the instrument.
    VersionSource* Versions() { return versions_.get(); }
    bool FormReady() const { return formReady_; }
    bool FirstLayoutDone() const { return acq_ && acq_->firstLayoutDone; }
    // What remote commands act on: this window's panel, through its own
    // handlers (FormMainRemote.cpp). Used on this window's thread.
    std::unique_ptr<RemoteInstrument> CreateRemoteInstrument();
    // The settings the view draws with, as they stand.
    ViewSettings CurrentViewSettings() const;
    const QImage& WavePicture() { return surfaces_.Image(ViewImage::Wave); }
    // Markers, pointer and up-down handling of the views.
    const ViewMarkers& Markers() const { return markers_; }
    const ViewInteraction& Interaction() const { return interaction_; }
    const QImage& VoltPicture() { return surfaces_.Image(ViewImage::Volt); }
    // The one-line cursor readouts of the last refresh (the image export
    // prints them): time (or frequency), and voltage by trace index.
    const std::string& CursorTText() const { return cursorTText_; }
    const std::array<std::string, kTraceCount>& CursorVText() const { return cursorVText_; }
    // The horizontal scroll bar's geometry as last applied.
    const ScrollGeometry& ScrollBarGeometry() const { return scrollGeometry_; }
    // The measurements panel, docked below the wave area (FormMainMeasure.cpp).
    MeasurePanel* Measurements() const { return measurePanel_; }
    QDockWidget* MeasurementsDock() const { return measureDock_; }
    // Records taken in and pictures of the wave area drawn since start-up: the
    // program's pace, which a run with LUMATRACE_RUN_COUNTS set reports.
    struct RunCounts {
        std::uint64_t records = 0;
        std::uint64_t frames = 0;
    };
    RunCounts Counts() const;

    // AcquisitionHost.
    void SetTriggerStatusText(std::string_view text) override;
    void SetExecStatusText(std::string_view text) override;
    void SetErrorStatusText(std::string_view text) override;
    void SetSamplingTimeLabel(std::string_view text) override;
    void SetRunActions(const RunActionState& state) override;
    void SetTriggerControlsEnabled(bool enabled) override;
    void SetPulseControlsEnabled(bool enabled) override;
    void RunControlsSwitched(bool running) override;
    void SetStatusTimer(bool enabled) override;
    bool StatusTimerRunning() const override;
    void SetRollTimer(bool enabled) override;
    // Shared by AcquisitionHost and InteractionHost.
    void RedrawAll() override;
    void RedrawRecord() override;
    // Draws the picture a record is waiting for (at the display's next frame)
    // now; nothing when none is due.
    void DrawPendingFrame();
    void RecomputeViewWindow() override;
    int ScreenSamples() const override;
    void SetScreenSamples(int samples) override;
    double HorizontalZoom() const override;
    void SetHorizontalZoom(double zoom) override;
    double StartPhase() const override;
    void SetStartPhase(double phase) override;
    int WaveWidth() const override;
    void TakeAcquisitionCopies() override;
    void CancelPointerDrags() override;
    void ReleaseViewAnchor() override;
    void BringToFront() override;
    bool FileLoading() const override;
    bool SpectrumShown() const override;
    bool SpectrumInFront() const override;
    void RaiseSpectrumRequest() override;
    void ClearSpectrum() override;
    bool SpectrumWorkerExists() const override;
    void StopSpectrumWorker() override;
    void ReplaceSpectrumWorker() override;
    void UpdateFftFrequencyList(bool equivalentDisplay) override;
    bool PrepareAverage() override;
    bool AverageHistoryHasData() const override;
    void ShrinkAverageHistory() override;
    void RecordOnShow() override;

    // InteractionHost.
    void SendSettings(bool restartSampling) override;
    void RefreshReadout(Readout readout) override;
    void RollStep() override;
    void SetPointerShape(PointerSurface surface, PointerShape shape) override;
    void ShowHint(PointerSurface surface, HintSource hint) override;
    void ToggleCursorSelection(bool pairT) override;
    void SetScrollPosition(int position) override;
    void SetScrollSpectrumMode(bool spectrum) override;
    void SetScrollHint(std::string_view hint) override;
    void SetTrigPosControlsEnabled(bool enabled) override;

  signals:
    // The first layout has been done (the program is stopped and the mode
    // record sent).
    void firstLayoutDone();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    QMenu* createPopupMenu() override;
    // The parameter file keeps the window without the measurements panel.
    WindowRect WindowBounds(QSize frameExtent) const override;
    void PlaceWindow(const WindowRect& bounds, QSize frameExtent) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // Panel handlers: the panel's part first, then the instrument's.
    void ComboBoxVd1Change() override;
    void ComboBoxVd2Change() override;
    void ComboBoxPb1Change() override;
    void ComboBoxPb2Change() override;
    void ComboBoxCup1Change() override;
    void ComboBoxCup2Change() override;
    void ComboBoxTrigSrcChange() override;
    void ComboBoxTrigCupChange() override;
    void ComboBoxTrigSpChange() override;
    void ComboBoxTdChange() override;
    void ComboBoxMemSizeChange() override;
    void ComboBoxWaveFormChange() override;
    void ComboBoxNumberChange() override;
    void SpeedButtonCh1Click() override;
    void SpeedButtonCh2Click() override;
    void SpeedButtonDtClick() override;
    void SpeedButtonDvClick() override;
    void SpeedButtonMathClick() override;
    void SpeedButtonFftClick() override;
    void CheckBoxDelayClick() override;
    void CheckBoxPulseClick() override;
    void CheckBoxEquClick() override;
    void CheckBoxRollClick() override;
    void RdBtnFull1Click() override;
    void RdBtn20MHz1Click() override;
    void RdBtnFull2Click() override;
    void RdBtn20MHz2Click() override;
    void RdBtnUnderClick() override;
    void RdBtnAboveClick() override;
    void UpDownDelayClick(UpDownButton button) override;
    void UpDownPulseClick(UpDownButton button) override;
    void UpDownCh1Click(UpDownButton button) override;
    void UpDownCh2Click(UpDownButton button) override;
    void UpDownMathClick(UpDownButton button) override;
    void UpDownFftClick(UpDownButton button) override;
    void UpDownTrigLClick(UpDownButton button) override;
    void UpDownTrigPClick(UpDownButton button) override;
    void UpDownDtClick(UpDownButton button) override;
    void UpDownDvClick(UpDownButton button) override;
    void UpDownCh1MouseUp() override;
    void UpDownCh2MouseUp() override;
    void UpDownMathMouseUp() override;
    void UpDownFftMouseUp() override;
    void UpDownTrigLMouseUp() override;
    void UpDownTrigPMouseUp() override;
    void UpDownDtMouseUp() override;
    void UpDownDvMouseUp() override;
    void EditDelayKeyDown(int key) override;
    void EditDelayExit() override;
    void EditPulseKeyDown(int key) override;
    void EditPulseExit() override;

    // Averaging, MATH and the spectrum (FormMainAnalysis.cpp).
    void ComboBoxMathChange() override;
    void RdBtnMath11Click() override;
    void RdBtnMath12Click() override;
    void RdBtnMath21Click() override;
    void RdBtnMath22Click() override;
    void RdBtnAddClick() override;
    void RdBtnSubClick() override;
    void RdBtnMulClick() override;
    void RdBtnDivClick() override;
    void ComboBoxFftVScaleChange() override;
    void ComboBoxFftHScaleChange() override;
    void RdBtnFftSrc1Click() override;
    void RdBtnFftSrc2Click() override;
    void RdBtnFftVstVClick() override;
    void RdBtnFftVstdBVClick() override;
    void RdBtnFftWndRcClick() override;
    void RdBtnFftWndHmClick() override;
    void RdBtnFftWndHnClick() override;
    void RdBtnFftWndBhClick() override;

    void A_AutoExecute() override;
    void A_StopExecute() override;
    void A_SingleExecute() override;
    void A_NormalExecute() override;
    void A_VisibleExecute() override;
    void A_XYExecute() override;
    void A_OpenExecute() override;
    void A_SaveExecute() override;
    void A_SetupExecute() override;
    void A_DtcExecute() override;
    void A_DvcExecute() override;

    void ReplayPanelSettings() override;
    bool FormKeyDown(int key, KeyModifiers mods, bool autoRepeat) override;
    void TimerStatusTimer() override;
    void TimerRollTimer() override;

  private:
    void FormCreate();
    // Redraws the view; averageStep false for a record AverageRecord has
    // taken into the average already.
    void Redraw(bool averageStep);
    void BuildWaveArea();
    void FormResize();
    void ApplySizeLimits();
    void LayOutWaveArea(Size wavePanel);
    void FirstLayout();
    void FormClose();
    void ComputeExtras();
    void OpenWaveFile(const std::string& fileName);
    // What the delay edit reads as a time; nullopt when it reads as none.
    std::optional<long double> TypedDelayNs() const;
    void BandwidthClicked(int ch);
    void ApplyDelayEdit();
    void ApplyPulseEdit();
    void ShowDelay();
    void ShowPulse();
    void ShowWaveformLabel();
    bool PanelReplayed() const { return paramsRead_; }

    // Averaging, MATH and the spectrum (FormMainAnalysis.cpp).
    // What averaging and the spectrum need from the window, kept apart from
    // the window's own interface.
    class AnalysisHost final : public AverageHost, public SpectrumHost {
      public:
        explicit AnalysisHost(TFormMain& form) : form_(form) {}
        std::optional<std::uint64_t> AvailablePhysicalMemory() override;
        void StopAcquisition() override;
        MessageBoxService& Messages() override;
        void SetWaitCursor(bool on) override;
        bool KeepAveraging() override;

      private:
        TFormMain& form_;
    };
    void CreateAnalysis();
    void ReportSpectrumFailure();
    void SetAnalysisMarkerLayer(MarkerLayer* markers);
    void UpdateAnalysisSettings();
    int FftSourceChannel() const;
    void UpdateSpectrumSource();
    void ShowAnalysisLabels();
    void UpdateSpectrumScale(bool equivalentDisplay);
    void SpectrumSettingsChanged(bool newTransform);
    void MathSettingsChanged();
    void FftWindowChosen(int window);
    void MemorySizeChangedForSpectrum();

    // The view's side of the window (FormMainView.cpp).
    void BuildViewInteraction();
    void LayOutMarkers();
    void RefreshReadouts();
    void ApplyScrollGeometry();
    void PlaceScrollBar();
    void ScrollBarMoved();
    void ScrollBarReleased();
    void CentreViewOnTrigger();
    void ScrollBarAction(int action);
    bool ScrollKeyDown(int key, KeyModifiers mods);
    // The persistent view state brought up to date from the settings; what
    // the interaction works on.
    ViewSettings& SyncViewState();
    InteractionContext MakeInteractionContext();
    void PrepareMarkers();
    void PointerMove(PointerSurface surface, QPoint at);
    void PointerDown(PointerSurface surface, Qt::MouseButton button, QPoint at);
    void PointerUp(PointerSurface surface);
    void PointerLeave(PointerSurface surface);
    void StepUpDown(UpDownControl control, const UpDown* upDown, UpDownButton button);
    void ReleaseUpDown(UpDownControl control);
    void TraceButtonSwitched(int trace, bool on);
    PaintBox* BoxOf(PointerSurface surface) const;

    MainServices services_;
    std::unique_ptr<LibraryLoader> ownLoader_;
    std::unique_ptr<Clock> ownClock_;
    LibraryLoader* loader_;
    Clock* clock_;
    DeviceLibrary library_;
    DeviceSession session_;
    FftLibrary fft_;
    std::unique_ptr<TFormPrm> prm_;
    TFormDrv* drv_ = nullptr;
    std::unique_ptr<AcquisitionControl> acq_;
    std::unique_ptr<PanelController> panelControl_;
    DeviceStartup startup_;
    std::unique_ptr<VersionSource> versions_;

    WaveView view_;
    QtViewSurfaces surfaces_;
    ViewMarkers markers_;
    ViewInteraction interaction_;
    // Stacking order and the last touched cursor pair live here between
    // redraws; the rest is copied in from the settings each time.
    ViewSettings viewState_;
    MarkerPixels markerPixels_;
    ScrollGeometry scrollGeometry_;
    std::array<QCursor, 2> moveCursors_;  // "HMove", "VMove"
    std::string cursorTText_;
    std::array<std::string, kTraceCount> cursorVText_;
    std::string trigLevelText_;  // the trigger readouts as last shown
    std::string trigPosText_;
    std::array<int, 2> acqTracePosition_{250, 250};
    std::array<int, 2> acqVoltsPerDivMv_{50, 50};

    std::unique_ptr<AnalysisHost> analysisHost_;
    std::unique_ptr<ViewProcessing> processing_;
    std::unique_ptr<SpectrumAnalyzer> analyzer_;
    std::unique_ptr<ViewSpectrum> spectrum_;
    FftHScaleState fftHs_;

    bool startupFailed_ = false;
    bool formReady_ = false;
    bool paramsRead_ = false;
    bool trigSourceChanging_ = false;
    std::string shownDelayUnit_ = "ns";  // what LabelDelayUt shows
    bool waveformChanging_ = false;
    bool closed_ = false;
    FramePacer framePacer_;
    QTimer* frameTimer_ = nullptr;
    std::uint64_t framesDrawn_ = 0;
    bool resizing_ = false;
    bool resizeQueued_ = false;
    int minWidthExtra_ = 0;
    int minHeightExtra_ = 0;
    Size prevWindow_{450, 360};
    std::string pendingFile_;

    // File commands (FormMainFiles.cpp).
    class RestoreTarget;
    class RemoteTarget;
    void CreateFileServices();
    WaveformFileSettings FileSettings() const;
    bool ExportPicture(const std::string& fileName, const std::string& extension);
    std::unique_ptr<FileStore> ownFiles_;
    std::unique_ptr<FileDialogService> ownFileDialogs_;
    std::unique_ptr<ColorDialogService> ownColorDialogs_;
    std::unique_ptr<WallClock> ownWallClock_;
    std::unique_ptr<DisplayColorTarget> colorTarget_;
    TFormSetup* formSetup_ = nullptr;
    bool fileLoading_ = false;

    // The measurements panel (FormMainMeasure.cpp).
    void CreateMeasurePanel();
    void ShowMeasurePanel(bool shown);
    void MeasureAfterRedraw();
    // The record on show as the measurements take it: words, the scales it was taken with,
    // MATH as the panel sets it, and the time between its samples (the remote commands' too).
    MeasureInput RecordMeasureInput() const;
    int MeasureDockExtent() const;  // height the shown panel adds to the window
    MeasurePanel* measurePanel_ = nullptr;
    QDockWidget* measureDock_ = nullptr;
    QAction* measureItem_ = nullptr;

    // The language item of the options menu (FormMainLanguage.cpp).
    void CreateLanguageMenu();
    void SelectLanguage(Language language);
    bool recordPending_ = false;         // a new record is on show, not yet measured
    double acqIntervalSeconds_ = 10e-9;  // time between samples as the record was taken
};

}  // namespace lumatrace
