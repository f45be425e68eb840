// TFormSub: the operating surface of the program. The settings panel with its
// three pages, the tool bars, the set-information column, the status panels,
// the main menu, the actions and their shortcuts, the keyboard rules and the
// Help and Version commands.
//
// The main window derives from this form. Every event of a control reaches a
// virtual handler named after the control and the event (ComboBoxVd1Change,
// UpDownCh1Click, A_AutoExecute, M_TdClick, ...). The handlers here do the
// panel's own part (lists swapped in, menu items checked, controls enabled);
// a derived form overrides them, calls the base first, then acts on the
// instrument.
//
// Two window-manager matters stay with the desktop: which window edges resize
// the window and which system-menu entries are greyed (an X11 window manager
// decides both), and the working folder of the viewer the manual opens in
// (the desktop's default handler chooses it).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QPointer>

#include "app/platform/Desktop.h"
#include "app/platform/Dialogs.h"
#include "app/platform/MessageBox.h"
#include "app/settings/FormBase.h"
#include "app/settings/PanelKeys.h"
#include "app/settings/PanelRules.h"
#include "app/settings/PanelState.h"
#include "app/settings/PanelWidgets.h"
#include "app/settings/SettingsModel.h"
#include "app/settings/ValueTables.h"
#include "app/settings/WindowPlacement.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class QToolBar;

namespace lumatrace {

class TFormVer;

// Services the form uses; null members get the desktop implementations.
struct FormServices {
    MessageBoxService* messages = nullptr;
    DesktopService* desktop = nullptr;
    // Folder of the user's manual; empty: the folder of the running program.
    std::filesystem::path programFolder;
    // The screen's work area; empty: the primary screen's available geometry.
    std::function<WorkArea()> workArea{};
};

class TFormSub : public TFormBase {
    Q_OBJECT

  public:
    explicit TFormSub(FormServices services = {}, QWidget* parent = nullptr);
    ~TFormSub() override;

    // Settings and on-flags shared with the main window.
    InstrumentSettings& Settings() { return settings_; }
    const InstrumentSettings& Settings() const { return settings_; }

    // List providers. Valid between creation and close.
    const ValueLists& Lists() const { return *lists_; }

    // The panel's state. The handlers change it and the controls show it;
    // whoever changes it from outside a handler (the parameter file, a
    // waveform set) calls ShowPanel afterwards.
    PanelState& Panel() { return panel_; }
    const PanelState& Panel() const { return panel_; }
    // Brings every control of the state, and the menu items that mirror
    // them, in line with it. Runs no handler.
    void ShowPanelState();
    // The control that shows a part of the state.
    QComboBox* ListWidget(PanelList list) const;
    SpeedButton* LatchWidget(PanelLatch latch) const;
    QCheckBox* CheckWidget(PanelCheck check) const;
    std::vector<QRadioButton*> RadioWidgets(PanelRadio group) const;
    QAction* FlagAction(PanelFlag flag) const;

    // The default sequence: window placement, then every control and value.
    virtual void ApplyDefaults();
    // The spectrum defaults alone.
    void ApplyFftDefaults();
    // Start-up synchronisation: fit the memory list to the device, read the
    // on-flags from their controls, then replay every panel handler once.
    void SynchronisePanel(bool largeMemory);
    // The memory-size list offers 1MPoint only with the large memory; a
    // selected 1MPoint falls back to 10kPoint without it.
    void FitMemorySizeList(bool largeMemory);
    // Runs every change handler once, in the fixed order.
    virtual void ReplayPanelSettings();

    // Hint display of every control of the hint table.
    void ApplyHintVisibility(bool on);

    // Window placement. Bounds are the outer window: frame position, client
    // size plus a frame extent. The extent is passed in so a caller can keep
    // the one it saw at creation; the window system may only tell the real
    // frame once the window is shown, and sizes saved with one extent and
    // restored with another would drift from session to session.
    WorkArea ScreenWorkArea() const;
    // Window size minus client size, the menu bar not counted.
    QSize FrameExtent() const;
    // The default window from the current frame (the menu bar counted as
    // frame, so the client area below it is 870 x 521) and work area.
    DerivedWindowSizes DerivedSizes() const;
    // The window as the parameter file keeps it; a window that docks more
    // than the panel and the wave area leaves that out.
    virtual WindowRect WindowBounds(QSize frameExtent) const;
    virtual void PlaceWindow(const WindowRect& bounds, QSize frameExtent);

    // The message boxes of the form and of the objects working for it.
    MessageBoxService& Messages() const { return *messages_; }

    // Display items (colour column and position column).
    void SetDisplayColor(int displayItem, std::uint32_t color);
    std::uint32_t GetDisplayColor(int displayItem) const;
    void SetItemPosition(int displayItem, int value);
    int GetItemPosition(int displayItem) const;

    // Puts an FFT horizontal list (memory group, list k) in the list and its
    // menu, keeping the index where the new list has it.
    void SetFftHScaleList(int group, int k);

    // Puts the waveform view to the left of the set-information column.
    void SetWaveView(QWidget* view);
    // The version dialog shown by Help > Version (created by the program
    // after the main window). Without one a dialog for "no instrument" is
    // made on first use.
    void SetVersionDialog(TFormVer* dialog);

    // A channel's probe change is being applied (the V/div handler runs
    // inside it and must not re-send the device mode).
    bool ProbeChangeInProgress(int ch) const;
    // Shift+Ctrl+Alt cursor steps move both cursors of the pair.
    bool CursorPairMove() const { return cursorPairMove_; }

    // The dialogs' settings; the file commands use them.
    FileDialogOptions OpenDialog1;
    FileDialogOptions SaveDialog1;

    // Cursor-selector glyphs ImgLstCur[0..3].
    std::array<QImage, 4> ImgLstCur;

    // ---- Controls (object names as listed) --------------------------------
    QWidget* PanelButton;
    QTabWidget* PageControlBtn;
    QWidget* TabSheetFunc1;
    QWidget* TabSheetFunc2;
    QWidget* TabSheetFunc3;

    QFrame* GroupBoxVert;
    QLabel* PanelVert;
    SpeedButton* SpeedButtonCh1;
    SpeedButton* SpeedButtonCh2;
    UpDown* UpDownCh1;
    UpDown* UpDownCh2;
    AccelLabel* LabelVd;
    AccelLabel* LabelPb;
    AccelLabel* LabelCup;
    QComboBox* ComboBoxVd1;
    QComboBox* ComboBoxVd2;
    QComboBox* ComboBoxPb1;
    QComboBox* ComboBoxPb2;
    QComboBox* ComboBoxCup1;
    QComboBox* ComboBoxCup2;

    QFrame* GroupBoxTrig;
    QLabel* PanelTrig;
    QLabel* LabelTrigSrc;
    QLabel* LabelTrigCup;
    QLabel* LabelTrigSp;
    QComboBox* ComboBoxTrigSrc;
    QComboBox* ComboBoxTrigCup;
    QComboBox* ComboBoxTrigSp;
    QLabel* LabelTrigL;
    UpDown* UpDownTrigL;
    QLabel* LabelTrigP;
    UpDown* UpDownTrigP;
    QCheckBox* CheckBoxDelay;
    QLabel* LabelDelay;
    PanelEdit* EditDelay;
    QLabel* LabelDelayUt;
    UpDown* UpDownDelay;
    QCheckBox* CheckBoxPulse;
    QLabel* LabelPulse;
    PanelEdit* EditPulse;
    QLabel* LabelPulseUt;
    UpDown* UpDownPulse;
    QFrame* PanelPCond;
    QRadioButton* RdBtnUnder;
    QRadioButton* RdBtnAbove;

    QFrame* GroupBoxHorz;
    QLabel* PanelHorz;
    QLabel* LabelTd;
    QComboBox* ComboBoxTd;
    QLabel* LabelMemSize;
    QComboBox* ComboBoxMemSize;

    QFrame* GroupBoxCur;
    QLabel* PanelCur;
    SpeedButton* SpeedButtonDt;
    SpeedButton* SpeedButtonDv;
    QToolButton* SpeedButtonDtc;
    QToolButton* SpeedButtonDvc;
    UpDown* UpDownDt;
    UpDown* UpDownDv;

    QFrame* GroupBoxBandWidth;
    QLabel* PanelBandWidth;
    QGroupBox* GroupBoxBw1;
    QGroupBox* GroupBoxBw2;
    QRadioButton* RdBtnFull1;
    QRadioButton* RdBtn20MHz1;
    QRadioButton* RdBtnFull2;
    QRadioButton* RdBtn20MHz2;

    QFrame* GroupBoxAcq;
    QLabel* PanelAcq;
    QCheckBox* CheckBoxEqu;
    QCheckBox* CheckBoxRoll;
    QLabel* LabelWaveForm;
    QComboBox* ComboBoxWaveForm;
    QLabel* LabelNumber;
    QComboBox* ComboBoxNumber;

    QFrame* GroupBoxMath;
    QLabel* PanelMath;
    SpeedButton* SpeedButtonMath;
    UpDown* UpDownMath;
    QLabel* LabelMath;
    QComboBox* ComboBoxMath;
    QGroupBox* GroupBoxMath1;
    QGroupBox* GroupBoxOpe;
    QGroupBox* GroupBoxMath2;
    QRadioButton* RdBtnMath11;
    QRadioButton* RdBtnMath12;
    QRadioButton* RdBtnMath21;
    QRadioButton* RdBtnMath22;
    QRadioButton* RdBtnAdd;
    QRadioButton* RdBtnSub;
    QRadioButton* RdBtnMul;
    QRadioButton* RdBtnDiv;

    QFrame* GroupBoxFft;
    QLabel* PanelFft;
    SpeedButton* SpeedButtonFft;
    UpDown* UpDownFft;
    QLabel* LabelFftVScale;
    QComboBox* ComboBoxFftVScale;
    QLabel* LabelFftHScale;
    QComboBox* ComboBoxFftHScale;
    QGroupBox* GroupBoxFftSrc;
    QGroupBox* GroupBoxFftVst;
    QGroupBox* GroupBoxFftWnd;
    QRadioButton* RdBtnFftSrc1;
    QRadioButton* RdBtnFftSrc2;
    QRadioButton* RdBtnFftVstV;
    QRadioButton* RdBtnFftVstdBV;
    QRadioButton* RdBtnFftWndRc;
    QRadioButton* RdBtnFftWndHm;
    QRadioButton* RdBtnFftWndHn;
    QRadioButton* RdBtnFftWndBh;

    QWidget* PanelBaseMain;
    QFrame* PanelToolBar;
    QToolBar* ToolBarBtn;
    QToolBar* ToolBarOther;
    QToolBar* ToolBarExec;
    QWidget* PanelBaseSub;
    QFrame* PanelSetInfo;
    QWidget* PanelSITop;
    QWidget* PanelSISpace;
    QWidget* PanelSpace;
    QLabel* LabelSISmpTm;
    QLabel* LabelSIEqu;
    QLabel* LabelSIRoll;
    QLabel* LabelSIWf;
    QLabel* LabelSITrigL;
    QLabel* LabelSITrigP;
    QFrame* PanelSICsr;
    QFrame* PanelSIDt;
    QLabel* LblSIDt;
    QLabel* LabelSIDt1;
    QLabel* LabelSIDt2;
    QFrame* PanelSICh1;
    QLabel* LblSICh1;
    QLabel* LabelSIBw1;
    QLabel* LabelSICh11;
    QLabel* LabelSICh12;
    QFrame* PanelSICh2;
    QLabel* LblSICh2;
    QLabel* LabelSIBw2;
    QLabel* LabelSICh21;
    QLabel* LabelSICh22;
    QFrame* PanelSIMath;
    QLabel* LblSIMath;
    QLabel* LblSIMathOpe;
    QLabel* LabelSIMath1;
    QLabel* LabelSIMath2;
    QFrame* PanelStatus;
    QLabel* PnlStsExec;
    QLabel* PnlStsError;
    QLabel* PnlStsTrig;
    QStatusBar* StatusBar1;

    // ---- Actions and menu -------------------------------------------------
    QAction* A_Open;
    QAction* A_Save;
    QAction* A_Auto;
    QAction* A_Stop;
    QAction* A_Single;
    QAction* A_Normal;
    QAction* A_Scale;
    QAction* A_Grid;
    QAction* A_Cur;
    QAction* A_XY;
    QAction* A_Fft;
    QAction* A_Dtc;
    QAction* A_Dvc;
    QAction* A_Setup;

    QMenuBar* MainMenu1;
    // Any menu item or submenu by object name ("M_Td_5ms", "M_Vd1", ...);
    // null when there is none.
    QAction* MenuItem(const std::string& name) const;

  protected:
    // ---- Handlers of the panel's controls ----------------------------------
    virtual void ComboBoxVd1Change();
    virtual void ComboBoxVd2Change();
    virtual void ComboBoxPb1Change();
    virtual void ComboBoxPb2Change();
    virtual void ComboBoxCup1Change();
    virtual void ComboBoxCup2Change();
    virtual void ComboBoxTrigSrcChange();
    virtual void ComboBoxTrigCupChange();
    virtual void ComboBoxTrigSpChange();
    virtual void ComboBoxTdChange();
    virtual void ComboBoxMemSizeChange();
    virtual void ComboBoxWaveFormChange();
    virtual void ComboBoxNumberChange();
    virtual void ComboBoxMathChange();
    virtual void ComboBoxFftVScaleChange();
    virtual void ComboBoxFftHScaleChange();

    virtual void SpeedButtonCh1Click();
    virtual void SpeedButtonCh2Click();
    virtual void SpeedButtonDtClick();
    virtual void SpeedButtonDvClick();
    virtual void SpeedButtonMathClick();
    virtual void SpeedButtonFftClick();

    virtual void CheckBoxDelayClick();
    virtual void CheckBoxPulseClick();
    virtual void CheckBoxEquClick();
    virtual void CheckBoxRollClick();

    // Radio buttons: run when the button becomes checked.
    virtual void RdBtnFull1Click();
    virtual void RdBtn20MHz1Click();
    virtual void RdBtnFull2Click();
    virtual void RdBtn20MHz2Click();
    virtual void RdBtnUnderClick();
    virtual void RdBtnAboveClick();
    virtual void RdBtnMath11Click();
    virtual void RdBtnMath12Click();
    virtual void RdBtnMath21Click();
    virtual void RdBtnMath22Click();
    virtual void RdBtnAddClick();
    virtual void RdBtnSubClick();
    virtual void RdBtnMulClick();
    virtual void RdBtnDivClick();
    virtual void RdBtnFftSrc1Click();
    virtual void RdBtnFftSrc2Click();
    virtual void RdBtnFftVstVClick();
    virtual void RdBtnFftVstdBVClick();
    virtual void RdBtnFftWndRcClick();
    virtual void RdBtnFftWndHmClick();
    virtual void RdBtnFftWndHnClick();
    virtual void RdBtnFftWndBhClick();

    // Up-downs: one click per step; the mouse-up ends a step sequence.
    virtual void UpDownCh1Click(UpDownButton) {}
    virtual void UpDownCh2Click(UpDownButton) {}
    virtual void UpDownTrigLClick(UpDownButton) {}
    virtual void UpDownTrigPClick(UpDownButton) {}
    virtual void UpDownDelayClick(UpDownButton) {}
    virtual void UpDownPulseClick(UpDownButton) {}
    virtual void UpDownDtClick(UpDownButton) {}
    virtual void UpDownDvClick(UpDownButton) {}
    virtual void UpDownMathClick(UpDownButton) {}
    virtual void UpDownFftClick(UpDownButton) {}
    virtual void UpDownCh1MouseUp() {}
    virtual void UpDownCh2MouseUp() {}
    virtual void UpDownTrigLMouseUp() {}
    virtual void UpDownTrigPMouseUp() {}
    virtual void UpDownDelayMouseUp() {}
    virtual void UpDownPulseMouseUp() {}
    virtual void UpDownDtMouseUp() {}
    virtual void UpDownDvMouseUp() {}
    virtual void UpDownMathMouseUp() {}
    virtual void UpDownFftMouseUp() {}

    // Edits: every key that reaches them (Qt key code), and leaving them.
    virtual void EditDelayKeyDown(int) {}
    virtual void EditDelayExit() {}
    virtual void EditPulseKeyDown(int) {}
    virtual void EditPulseExit() {}

    // ---- Actions ------------------------------------------------------------
    virtual void A_OpenExecute() {}
    virtual void A_SaveExecute() {}
    virtual void A_AutoExecute() {}
    virtual void A_StopExecute() {}
    virtual void A_SingleExecute() {}
    virtual void A_NormalExecute() {}
    virtual void A_VisibleExecute() {}  // A_Scale and A_Grid
    virtual void A_CurExecute();
    virtual void A_XYExecute() {}
    virtual void A_FftExecute();
    virtual void A_DtcExecute();
    virtual void A_DvcExecute();
    virtual void A_SetupExecute() {}

    // ---- Menu items ---------------------------------------------------------
    // List selection: the item's tag becomes the list's index, then the
    // list's change handler runs.
    virtual void M_Vd1Click(QAction* item);
    virtual void M_Vd2Click(QAction* item);
    virtual void M_Pb1Click(QAction* item);
    virtual void M_Pb2Click(QAction* item);
    virtual void M_Cup1Click(QAction* item);
    virtual void M_Cup2Click(QAction* item);
    virtual void M_TrigSrcClick(QAction* item);
    virtual void M_TrigCupClick(QAction* item);
    virtual void M_TrigSpClick(QAction* item);
    virtual void M_TdClick(QAction* item);
    virtual void M_MemSizeClick(QAction* item);
    virtual void M_WaveFormClick(QAction* item);
    virtual void M_NumberClick(QAction* item);
    virtual void M_ScaleMathClick(QAction* item);
    virtual void M_FftVScaleClick(QAction* item);
    virtual void M_FftHScaleClick(QAction* item);
    // Check mirrors.
    virtual void M_TrigDelayClick();
    virtual void M_TrigPulseClick();
    virtual void M_EquClick();
    virtual void M_RollClick();
    virtual void M_Ch1Click();
    virtual void M_Ch2Click();
    virtual void M_DtClick();
    virtual void M_DvClick();
    virtual void M_MathClick();
    virtual void M_HintClick();
    // Radio selection.
    virtual void M_BW1Click(QAction* item);
    virtual void M_BW2Click(QAction* item);
    virtual void M_Math1Click(QAction* item);
    virtual void M_Math2Click(QAction* item);
    virtual void M_OpeClick(QAction* item);
    virtual void M_FftSrcClick(QAction* item);
    virtual void M_FftVsTypClick(QAction* item);
    virtual void M_FftWndClick(QAction* item);
    // Help, version, exit.
    virtual void M_HelpClick();
    virtual void M_VersionClick();
    virtual void M_ExitClick();

    // ---- Keyboard -----------------------------------------------------------
    // The form sees every key of its controls first. Returns true when the
    // key is consumed. A derived form handles its own keys, then calls this.
    virtual bool FormKeyDown(int key, KeyModifiers mods, bool autoRepeat);
    virtual void FormKeyUp(int key);

    // ---- Hooks into the main window ------------------------------------------
    // The single drawing entry point.
    virtual void RedrawAll() {}
    // One tick of the status and roll timers (a keyboard step brings the
    // view up to date through them).
    virtual void TimerStatusTimer() {}
    virtual void TimerRollTimer() {}

    // Gives the page control the focus when no control has it.
    void EnsureFocus();
    // The up-down of an id, and its mouse-up handler.
    UpDown* UpDownOf(UpDownId id) const;
    void RunMouseUp(UpDownId id);
    // The context the key table needs.
    PanelKeyContext KeyContext() const;

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    void BuildPanel();
    void BuildPageVertical(QWidget* page);
    void BuildPageAcquire(QWidget* page);
    void BuildPageFft(QWidget* page);
    void BuildBaseMain();
    void BuildSetInfo();
    void BuildActions();
    void BuildMenu();
    void ConnectControls();
    void ApplyHints();

    void ChannelButtonChanged(int ch);
    void ProbeChanged(int ch);
    void CouplingChanged(int ch);
    void ApplyMathEnabling();
    void ApplyFftEnabling();
    void FftVScaleTypeChanged();
    void CursorButtonChanged(bool deltaV);
    void ToggleCursorSelection(bool deltaV);
    // The horizontal-scale menu items take the list's captions and are shown
    // only for existing items.
    void SyncFftHScaleMenu();
    void CheckMenuItem(const std::string& name);
    void CheckListMenuItem(const std::string& prefixSubmenu, int index);
    void SelectFromMenu(PanelList list, int index);
    void SelectRadioFromMenu(PanelRadio group, int member);
    void SetCheckFromMenu(PanelCheck check, bool on);
    // A list's new items and selection, shown at once.
    void SetList(PanelList list, ListState state);
    void ShowList(PanelList list);
    void ShowLatch(PanelLatch latch);
    void ShowCheck(PanelCheck check);
    void ShowRadio(PanelRadio group);
    void ShowFlag(PanelFlag flag);
    // Control changes reach the state before any handler runs.
    void ConnectPanelState();

    bool HandleKeyPress(QWidget* target, QKeyEvent* event);
    bool HandleKeyRelease(QKeyEvent* event);
    bool HandleToolTip(QWidget* target, QEvent* event);
    bool InThisForm(QObject* object) const;

    InstrumentSettings settings_;
    std::unique_ptr<ValueLists> lists_;
    PanelState panel_;
    std::array<bool, 2> probeChangeInProgress_{false, false};
    bool cursorPairMove_ = false;
    PanelKeySequence keySequence_;
    int drainingKey_ = kKeyNone;  // auto-repeats of this key are dropped
    bool pageControlHint_ = false;

    std::unique_ptr<MessageBoxService> ownMessages_;
    std::unique_ptr<DesktopService> ownDesktop_;
    MessageBoxService* messages_;
    DesktopService* desktop_;
    std::filesystem::path programFolder_;
    QPointer<TFormVer> versionDialog_;
    std::function<WorkArea()> workArea_;

    std::map<std::string, QAction*> menuItems_;
    QWidget* waveViewSlot_ = nullptr;
};

}  // namespace lumatrace
