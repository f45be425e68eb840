// TFormSub: creation, layout, actions and menu.
#include "app/settings/FormSub.h"

#include <functional>
#include <initializer_list>
#include <tuple>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/i18n/QtLanguage.h"
#include "app/platform/QtDesktop.h"
#include "app/platform/QtMessageBox.h"
#include "app/settings/FormVer.h"
#include "app/settings/MainMenuLayout.h"
#include "app/settings/PanelArt.h"
#include "app/settings/PanelTexts.h"

namespace lumatrace {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Fixed sizes of the layout.
constexpr int kPanelButtonWidth = 237;
constexpr int kToolBarHeight = 44;
constexpr int kSetInfoWidth = 90;
constexpr int kStatusHeight = 25;
constexpr int kStatusExecWidth = 120;
constexpr int kStatusTrigWidth = 140;
constexpr int kStatusBarHeight = 16;
constexpr int kDesignClientWidth = 795;
constexpr int kDesignClientHeight = 521;

QComboBox* MakeList(QWidget* parent, const char* name, int minimumChars = 6) {
    auto* list = Named(new QComboBox(parent), name);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(minimumChars);
    list->setMaxVisibleItems(16);
    list->setFocusPolicy(Qt::StrongFocus);
    return list;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text,
                  QWidget* buddy = nullptr) {
    auto* label = Named(new QLabel(text, parent), name);
    if (buddy) {
        label->setBuddy(buddy);
    }
    return label;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption) {
    return Named(new QRadioButton(caption, parent), name);
}

// A group of the panel: a raised frame with a title strip in the caption
// colours on top and a grid for the controls.
QFrame* MakeGroup(QWidget* page, const char* groupName, QLabel** title, const char* titleName,
                  const char* caption, QGridLayout** grid) {
    auto* group = Named(new QFrame(page), groupName);
    group->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(2, 2, 2, 3);
    layout->setSpacing(3);
    *title = Named(new QLabel(QString::fromLatin1(caption), group), titleName);
    (*title)->setAlignment(Qt::AlignCenter);
    (*title)->setAutoFillBackground(true);
    (*title)->setFixedHeight(16);
    QPalette pal = (*title)->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::Active, QPalette::HighlightedText));
    (*title)->setPalette(pal);
    QFont bold = (*title)->font();
    bold.setBold(true);
    (*title)->setFont(bold);
    layout->addWidget(*title);
    *grid = new QGridLayout();
    (*grid)->setContentsMargins(4, 0, 4, 0);
    (*grid)->setHorizontalSpacing(4);
    (*grid)->setVerticalSpacing(3);
    layout->addLayout(*grid);
    return group;
}

QGroupBox* MakeRadioGroup(QWidget* parent, const char* name, const QString& title) {
    auto* box = Named(new QGroupBox(title, parent), name);
    box->setFlat(false);
    return box;
}

// A caption over a value in the set-information column.
QLabel* SetInfoCaption(QWidget* parent, const char* name, const char* text) {
    auto* label = Named(new QLabel(QString::fromUtf8(text), parent), name);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, QColor(192, 192, 192));
    label->setPalette(pal);
    label->setFixedHeight(14);
    return label;
}

QLabel* SetInfoValue(QWidget* parent, const char* name) {
    auto* label = Named(new QLabel(parent), name);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, QColor(236, 236, 236));
    pal.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(pal);
    label->setFont(ReadoutFont());
    label->setMinimumHeight(16);
    return label;
}

QLabel* StatusPanel(QWidget* parent, const char* name, const QColor& textColor) {
    auto* label = Named(new QLabel(parent), name);
    label->setAutoFillBackground(true);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    label->setIndent(6);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, textColor);
    label->setPalette(pal);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

}  // namespace

// ---------------------------------------------------------------------------

TFormSub::TFormSub(FormServices services, QWidget* parent) : TFormBase(parent) {
    setObjectName(QStringLiteral("FormSub"));
    setWindowTitle(QStringLiteral("Lumatrace"));
    if (services.messages) {
        messages_ = services.messages;
    } else {
        ownMessages_ = std::make_unique<QtMessageBoxService>(this);
        messages_ = ownMessages_.get();
    }
    if (services.desktop) {
        desktop_ = services.desktop;
    } else {
        ownDesktop_ = std::make_unique<QtDesktopService>();
        desktop_ = ownDesktop_.get();
    }
    workArea_ = std::move(services.workArea);
    programFolder_ =
        services.programFolder.empty()
            ? std::filesystem::path(QCoreApplication::applicationDirPath().toStdString())
            : services.programFolder;
    for (int i = 0; i < 4; ++i) {
        ImgLstCur[static_cast<std::size_t>(i)] = CursorSelectorGlyph(i);
    }
    BuildPanel();
    BuildBaseMain();
    BuildActions();
    BuildMenu();
    ConnectControls();
    FormCreate();
    resize(kDesignClientWidth, kDesignClientHeight + MainMenu1->sizeHint().height());
}

TFormSub::~TFormSub() {
    qApp->removeEventFilter(this);
}

void TFormSub::FormCreate() {
    // 1. Fixed sizes.
    PanelButton->setFixedWidth(kPanelButtonWidth);
    PanelToolBar->setFixedHeight(kToolBarHeight);
    PanelSetInfo->setFixedWidth(kSetInfoWidth);
    PanelStatus->setFixedHeight(kStatusHeight);
    PnlStsExec->setFixedWidth(kStatusExecWidth);
    PnlStsTrig->setFixedWidth(kStatusTrigWidth);
    StatusBar1->setFixedHeight(kStatusBarHeight);
    PanelSITop->setFixedHeight(5);
    PanelSISpace->setFixedHeight(4);
    PanelSpace->setFixedWidth(3);
    // 2, 3. Hints; containers (page control, sheets, group boxes) carry none.
    ApplyHints();
    ApplyHintVisibility(true);
    // 4. Up-downs wrap around.
    for (UpDown* u : {UpDownCh1, UpDownCh2, UpDownTrigL, UpDownTrigP, UpDownDelay, UpDownPulse,
                      UpDownDt, UpDownDv, UpDownMath, UpDownFft}) {
        u->setWrap(true);
    }
    // 6. Dialogs; page 1 active.
    OpenDialog1.defaultExtension = "zep";
    OpenDialog1.filter = "ZEP-9100 files (*.zep)|*.zep|";
    SaveDialog1.defaultExtension = "zep|bmp|jpg";
    SaveDialog1.fileName = "file1.zep";
    SaveDialog1.filter =
        "ZEP-9100 files (*.zep)|*.zep|BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|";
    PageControlBtn->setCurrentIndex(0);
    // 7. Edits.
    LabelPulseUt->setText(QStringLiteral("ns"));
    // 8. Value lists.
    lists_ = std::make_unique<ValueLists>();
    // 9. Status texts.
    PnlStsExec->setText(QStringLiteral("Stop"));
    PnlStsError->clear();
    PnlStsTrig->clear();
    probeChangeInProgress_ = {false, false};
    // 10. Focus to the page control.
    PageControlBtn->setFocus(Qt::OtherFocusReason);
    // 12. The shortcut filter (and the form's key preview).
    qApp->installEventFilter(this);
}

void TFormSub::BuildPanel() {
    PanelButton = Named(new QWidget(this), "PanelButton");
    auto* outer = new QVBoxLayout(PanelButton);
    outer->setContentsMargins(2, 2, 2, 2);
    PageControlBtn = Named(new PageControl(PanelButton), "PageControlBtn");
    PageControlBtn->setFocusPolicy(Qt::StrongFocus);
    PageControlBtn->tabBar()->setMouseTracking(true);
    outer->addWidget(PageControlBtn);
    TabSheetFunc1 = Named(new QWidget(), "TabSheetFunc1");
    TabSheetFunc2 = Named(new QWidget(), "TabSheetFunc2");
    TabSheetFunc3 = Named(new QWidget(), "TabSheetFunc3");
    PageControlBtn->addTab(TabSheetFunc1, QStringLiteral("function 1"));
    PageControlBtn->addTab(TabSheetFunc2, QStringLiteral("function 2"));
    PageControlBtn->addTab(TabSheetFunc3, QStringLiteral("function 3"));
    for (QWidget* sheet : {TabSheetFunc1, TabSheetFunc2, TabSheetFunc3}) {
        sheet->setMouseTracking(true);
    }
    BuildPageVertical(TabSheetFunc1);
    BuildPageAcquire(TabSheetFunc2);
    BuildPageFft(TabSheetFunc3);
}

void TFormSub::BuildPageVertical(QWidget* page) {
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(3, 4, 3, 3);
    stack->setSpacing(4);
    QGridLayout* g = nullptr;

    // VERTICAL
    GroupBoxVert = MakeGroup(page, "GroupBoxVert", &PanelVert, "PanelVert", "VERTICAL", &g);
    SpeedButtonCh1 = Named(new SpeedButton(QStringLiteral("CH1"), GroupBoxVert), "SpeedButtonCh1");
    SpeedButtonCh2 = Named(new SpeedButton(QStringLiteral("CH2"), GroupBoxVert), "SpeedButtonCh2");
    UpDownCh1 = Named(new UpDown(Qt::Vertical, GroupBoxVert), "UpDownCh1");
    UpDownCh2 = Named(new UpDown(Qt::Vertical, GroupBoxVert), "UpDownCh2");
    ComboBoxVd1 = MakeList(GroupBoxVert, "ComboBoxVd1");
    ComboBoxVd2 = MakeList(GroupBoxVert, "ComboBoxVd2");
    ComboBoxPb1 = MakeList(GroupBoxVert, "ComboBoxPb1");
    ComboBoxPb2 = MakeList(GroupBoxVert, "ComboBoxPb2");
    ComboBoxCup1 = MakeList(GroupBoxVert, "ComboBoxCup1");
    ComboBoxCup2 = MakeList(GroupBoxVert, "ComboBoxCup2");
    LabelVd = Named(new AccelLabel(QStringLiteral("Volt/&div"), GroupBoxVert), "LabelVd");
    LabelPb = Named(new AccelLabel(QStringLiteral("Pro&be"), GroupBoxVert), "LabelPb");
    LabelCup = Named(new AccelLabel(QStringLiteral("&Coupling"), GroupBoxVert), "LabelCup");
    for (auto [button, upDown, column] :
         {std::tuple{SpeedButtonCh1, UpDownCh1, 1}, std::tuple{SpeedButtonCh2, UpDownCh2, 2}}) {
        button->setFixedHeight(24);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        auto* row = new QHBoxLayout();
        row->setSpacing(1);
        row->addWidget(button, 1);
        row->addWidget(upDown);
        g->addLayout(row, 0, column);
    }
    g->addWidget(LabelVd, 1, 0);
    g->addWidget(ComboBoxVd1, 1, 1);
    g->addWidget(ComboBoxVd2, 1, 2);
    g->addWidget(LabelPb, 2, 0);
    g->addWidget(ComboBoxPb1, 2, 1);
    g->addWidget(ComboBoxPb2, 2, 2);
    g->addWidget(LabelCup, 3, 0);
    g->addWidget(ComboBoxCup1, 3, 1);
    g->addWidget(ComboBoxCup2, 3, 2);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(2, 1);
    stack->addWidget(GroupBoxVert);

    // TRIGGER
    GroupBoxTrig = MakeGroup(page, "GroupBoxTrig", &PanelTrig, "PanelTrig", "TRIGGER", &g);
    ComboBoxTrigSrc = MakeList(GroupBoxTrig, "ComboBoxTrigSrc", 5);
    ComboBoxTrigCup = MakeList(GroupBoxTrig, "ComboBoxTrigCup", 5);
    ComboBoxTrigSp = MakeList(GroupBoxTrig, "ComboBoxTrigSp", 5);
    LabelTrigSrc =
        MakeLabel(GroupBoxTrig, "LabelTrigSrc", QStringLiteral("So&urce"), ComboBoxTrigSrc);
    LabelTrigCup =
        MakeLabel(GroupBoxTrig, "LabelTrigCup", QStringLiteral("Coupli&ng"), ComboBoxTrigCup);
    LabelTrigSp = MakeLabel(GroupBoxTrig, "LabelTrigSp", QStringLiteral("Slop&e"), ComboBoxTrigSp);
    UpDownTrigL = Named(new UpDown(Qt::Vertical, GroupBoxTrig), "UpDownTrigL");
    UpDownTrigP = Named(new UpDown(Qt::Horizontal, GroupBoxTrig), "UpDownTrigP");
    LabelTrigL = MakeLabel(GroupBoxTrig, "LabelTrigL", QStringLiteral("Level"));
    LabelTrigP = MakeLabel(GroupBoxTrig, "LabelTrigP", QStringLiteral("Pos"));
    g->addWidget(LabelTrigSrc, 0, 0);
    g->addWidget(ComboBoxTrigSrc, 0, 1);
    g->addWidget(LabelTrigCup, 1, 0);
    g->addWidget(ComboBoxTrigCup, 1, 1);
    g->addWidget(LabelTrigSp, 2, 0);
    g->addWidget(ComboBoxTrigSp, 2, 1);
    {
        auto* level = new QHBoxLayout();
        level->setSpacing(3);
        level->addWidget(LabelTrigL);
        level->addStretch(1);
        level->addWidget(UpDownTrigL);
        g->addLayout(level, 0, 2, 2, 1, Qt::AlignVCenter);
        auto* pos = new QHBoxLayout();
        pos->setSpacing(3);
        pos->addWidget(LabelTrigP);
        pos->addStretch(1);
        pos->addWidget(UpDownTrigP);
        g->addLayout(pos, 2, 2);
    }
    CheckBoxDelay = Named(new QCheckBox(QStringLiteral("Del&ay"), GroupBoxTrig), "CheckBoxDelay");
    LabelDelay = MakeLabel(GroupBoxTrig, "LabelDelay", QStringLiteral("Time"));
    EditDelay = Named(new PanelEdit(12, QStringLiteral("0"), GroupBoxTrig), "EditDelay");
    LabelDelayUt = MakeLabel(GroupBoxTrig, "LabelDelayUt", QStringLiteral("ns"));
    UpDownDelay = Named(new UpDown(Qt::Vertical, GroupBoxTrig), "UpDownDelay");
    CheckBoxPulse = Named(new QCheckBox(QStringLiteral("&Pulse"), GroupBoxTrig), "CheckBoxPulse");
    LabelPulse = MakeLabel(GroupBoxTrig, "LabelPulse", QStringLiteral("Pulse"));
    EditPulse = Named(new PanelEdit(8, QStringLiteral("10"), GroupBoxTrig), "EditPulse");
    LabelPulseUt = MakeLabel(GroupBoxTrig, "LabelPulseUt", QString());
    UpDownPulse = Named(new UpDown(Qt::Vertical, GroupBoxTrig), "UpDownPulse");
    for (QLabel* unit : {LabelDelayUt, LabelPulseUt}) {
        unit->setAlignment(Qt::AlignCenter);
        unit->setFixedWidth(20);
    }
    for (auto [check, caption, edit, unit, upDown, row] :
         {std::tuple{CheckBoxDelay, LabelDelay, EditDelay, LabelDelayUt, UpDownDelay, 3},
          std::tuple{CheckBoxPulse, LabelPulse, EditPulse, LabelPulseUt, UpDownPulse, 4}}) {
        g->addWidget(check, row, 0);
        auto* line = new QHBoxLayout();
        line->setSpacing(2);
        line->addWidget(caption);
        line->addWidget(edit, 1);
        line->addWidget(unit);
        line->addWidget(upDown);
        g->addLayout(line, row, 1, 1, 2);
    }
    PanelPCond = Named(new QFrame(GroupBoxTrig), "PanelPCond");
    {
        auto* cond = new QHBoxLayout(PanelPCond);
        cond->setContentsMargins(0, 0, 0, 0);
        RdBtnUnder =
            MakeRadio(PanelPCond, "RdBtnUnder", QCoreApplication::translate("Panel", "未満"));
        RdBtnAbove =
            MakeRadio(PanelPCond, "RdBtnAbove", QCoreApplication::translate("Panel", "以上"));
        cond->addWidget(RdBtnUnder);
        cond->addWidget(RdBtnAbove);
        cond->addStretch(1);
    }
    g->addWidget(PanelPCond, 5, 1, 1, 2);
    g->setColumnStretch(1, 1);
    stack->addWidget(GroupBoxTrig);

    // HORIZONTAL
    GroupBoxHorz = MakeGroup(page, "GroupBoxHorz", &PanelHorz, "PanelHorz", "HORIZONTAL", &g);
    ComboBoxTd = MakeList(GroupBoxHorz, "ComboBoxTd");
    ComboBoxMemSize = MakeList(GroupBoxHorz, "ComboBoxMemSize");
    LabelTd = MakeLabel(GroupBoxHorz, "LabelTd", QStringLiteral("&Time/div"), ComboBoxTd);
    LabelMemSize =
        MakeLabel(GroupBoxHorz, "LabelMemSize", QStringLiteral("&MemorySize"), ComboBoxMemSize);
    g->addWidget(LabelTd, 0, 0);
    g->addWidget(ComboBoxTd, 0, 1);
    g->addWidget(LabelMemSize, 1, 0);
    g->addWidget(ComboBoxMemSize, 1, 1);
    g->setColumnStretch(1, 1);
    stack->addWidget(GroupBoxHorz);

    // CURSOR
    GroupBoxCur = MakeGroup(page, "GroupBoxCur", &PanelCur, "PanelCur", "CURSOR", &g);
    SpeedButtonDt = Named(new SpeedButton(QStringLiteral("ΔT"), GroupBoxCur), "SpeedButtonDt");
    SpeedButtonDv = Named(new SpeedButton(QStringLiteral("ΔV"), GroupBoxCur), "SpeedButtonDv");
    SpeedButtonDtc = Named(new QToolButton(GroupBoxCur), "SpeedButtonDtc");
    SpeedButtonDvc = Named(new QToolButton(GroupBoxCur), "SpeedButtonDvc");
    UpDownDt = Named(new UpDown(Qt::Horizontal, GroupBoxCur), "UpDownDt");
    UpDownDv = Named(new UpDown(Qt::Vertical, GroupBoxCur), "UpDownDv");
    {
        int column = 0;
        for (auto [latch, selector, upDown] :
             {std::tuple{SpeedButtonDt, SpeedButtonDtc, UpDownDt},
              std::tuple{SpeedButtonDv, SpeedButtonDvc, UpDownDv}}) {
            latch->setFixedSize(36, 24);
            selector->setFixedSize(24, 24);
            selector->setFocusPolicy(Qt::NoFocus);
            selector->setIconSize(QSize(16, 16));
            auto* row = new QHBoxLayout();
            row->setSpacing(2);
            row->addWidget(latch);
            row->addWidget(selector);
            row->addWidget(upDown, 0, Qt::AlignVCenter);
            row->addStretch(1);
            g->addLayout(row, 0, column++);
        }
    }
    stack->addWidget(GroupBoxCur);
    stack->addStretch(1);
}

void TFormSub::BuildPageAcquire(QWidget* page) {
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(3, 4, 3, 3);
    stack->setSpacing(4);
    QGridLayout* g = nullptr;

    // BAND WIDTH
    GroupBoxBandWidth =
        MakeGroup(page, "GroupBoxBandWidth", &PanelBandWidth, "PanelBandWidth", "BAND WIDTH", &g);
    GroupBoxBw1 = MakeRadioGroup(GroupBoxBandWidth, "GroupBoxBw1", QStringLiteral(" CH1 "));
    GroupBoxBw2 = MakeRadioGroup(GroupBoxBandWidth, "GroupBoxBw2", QStringLiteral(" CH2 "));
    RdBtnFull1 = MakeRadio(GroupBoxBw1, "RdBtnFull1", QStringLiteral("FULL"));
    RdBtn20MHz1 = MakeRadio(GroupBoxBw1, "RdBtn20MHz1", QStringLiteral("20MHz"));
    RdBtnFull2 = MakeRadio(GroupBoxBw2, "RdBtnFull2", QStringLiteral("FULL"));
    RdBtn20MHz2 = MakeRadio(GroupBoxBw2, "RdBtn20MHz2", QStringLiteral("20MHz"));
    for (auto [box, full, limited] : {std::tuple{GroupBoxBw1, RdBtnFull1, RdBtn20MHz1},
                                      std::tuple{GroupBoxBw2, RdBtnFull2, RdBtn20MHz2}}) {
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(6, 2, 4, 2);
        v->setSpacing(1);
        v->addWidget(full);
        v->addWidget(limited);
    }
    g->addWidget(GroupBoxBw1, 0, 0);
    g->addWidget(GroupBoxBw2, 0, 1);
    stack->addWidget(GroupBoxBandWidth);

    // ACQUIRE
    GroupBoxAcq = MakeGroup(page, "GroupBoxAcq", &PanelAcq, "PanelAcq", "ACQUIRE", &g);
    CheckBoxEqu = Named(new QCheckBox(QStringLiteral("&Equivalence"), GroupBoxAcq), "CheckBoxEqu");
    CheckBoxRoll = Named(new QCheckBox(QStringLiteral("&Roll"), GroupBoxAcq), "CheckBoxRoll");
    ComboBoxWaveForm = MakeList(GroupBoxAcq, "ComboBoxWaveForm");
    ComboBoxNumber = MakeList(GroupBoxAcq, "ComboBoxNumber");
    LabelWaveForm =
        MakeLabel(GroupBoxAcq, "LabelWaveForm", QStringLiteral("&WaveForm"), ComboBoxWaveForm);
    LabelNumber = MakeLabel(GroupBoxAcq, "LabelNumber", QStringLiteral("&Number"), ComboBoxNumber);
    g->addWidget(CheckBoxEqu, 0, 0, 1, 2);
    g->addWidget(CheckBoxRoll, 0, 2);
    g->addWidget(LabelWaveForm, 1, 0);
    g->addWidget(ComboBoxWaveForm, 1, 1, 1, 2);
    g->addWidget(LabelNumber, 2, 0);
    g->addWidget(ComboBoxNumber, 2, 1, 1, 2);
    g->setColumnStretch(1, 1);
    stack->addWidget(GroupBoxAcq);

    // MATHEMATICS
    GroupBoxMath = MakeGroup(page, "GroupBoxMath", &PanelMath, "PanelMath", "MATHEMATICS", &g);
    SpeedButtonMath =
        Named(new SpeedButton(QStringLiteral("MATH"), GroupBoxMath), "SpeedButtonMath");
    UpDownMath = Named(new UpDown(Qt::Vertical, GroupBoxMath), "UpDownMath");
    ComboBoxMath = MakeList(GroupBoxMath, "ComboBoxMath");
    LabelMath = MakeLabel(GroupBoxMath, "LabelMath", QStringLiteral("S&cale"), ComboBoxMath);
    SpeedButtonMath->setFixedHeight(24);
    SpeedButtonMath->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    {
        auto* top = new QHBoxLayout();
        top->setSpacing(1);
        top->addWidget(SpeedButtonMath, 1);
        top->addWidget(UpDownMath);
        g->addLayout(top, 0, 0, 1, 3);
    }
    g->addWidget(LabelMath, 1, 0);
    g->addWidget(ComboBoxMath, 1, 1, 1, 2);
    GroupBoxMath1 = MakeRadioGroup(GroupBoxMath, "GroupBoxMath1", QStringLiteral(" &1st "));
    GroupBoxOpe = MakeRadioGroup(GroupBoxMath, "GroupBoxOpe", QStringLiteral(" Oper&ator "));
    GroupBoxMath2 = MakeRadioGroup(GroupBoxMath, "GroupBoxMath2", QStringLiteral(" &2nd "));
    RdBtnMath11 = MakeRadio(GroupBoxMath1, "RdBtnMath11", QStringLiteral("CH1"));
    RdBtnMath12 = MakeRadio(GroupBoxMath1, "RdBtnMath12", QStringLiteral("CH2"));
    RdBtnMath21 = MakeRadio(GroupBoxMath2, "RdBtnMath21", QStringLiteral("CH1"));
    RdBtnMath22 = MakeRadio(GroupBoxMath2, "RdBtnMath22", QStringLiteral("CH2"));
    RdBtnAdd = MakeRadio(GroupBoxOpe, "RdBtnAdd", QStringLiteral("＋"));
    RdBtnSub = MakeRadio(GroupBoxOpe, "RdBtnSub", QStringLiteral("－"));
    RdBtnMul = MakeRadio(GroupBoxOpe, "RdBtnMul", QStringLiteral("×"));
    RdBtnDiv = MakeRadio(GroupBoxOpe, "RdBtnDiv", QStringLiteral("÷"));
    for (auto [box, a, b] : {std::tuple{GroupBoxMath1, RdBtnMath11, RdBtnMath12},
                             std::tuple{GroupBoxMath2, RdBtnMath21, RdBtnMath22}}) {
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(6, 2, 4, 2);
        v->setSpacing(1);
        v->addWidget(a);
        v->addWidget(b);
    }
    {
        auto* ope = new QHBoxLayout(GroupBoxOpe);
        ope->setContentsMargins(6, 2, 4, 2);
        ope->setSpacing(4);
        for (QRadioButton* r : {RdBtnAdd, RdBtnSub, RdBtnMul, RdBtnDiv}) {
            ope->addWidget(r);
        }
    }
    auto* operands = new QHBoxLayout();
    operands->setSpacing(3);
    operands->addWidget(GroupBoxMath1, 1);
    operands->addWidget(GroupBoxMath2, 1);
    g->addLayout(operands, 2, 0, 1, 3);
    g->addWidget(GroupBoxOpe, 3, 0, 1, 3);
    g->setColumnStretch(1, 1);
    stack->addWidget(GroupBoxMath);
    stack->addStretch(1);
}

void TFormSub::BuildPageFft(QWidget* page) {
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(3, 4, 3, 3);
    stack->setSpacing(4);
    QGridLayout* g = nullptr;

    GroupBoxFft = MakeGroup(page, "GroupBoxFft", &PanelFft, "PanelFft", "FFT", &g);
    SpeedButtonFft = Named(new SpeedButton(QStringLiteral("FFT"), GroupBoxFft), "SpeedButtonFft");
    UpDownFft = Named(new UpDown(Qt::Vertical, GroupBoxFft), "UpDownFft");
    ComboBoxFftVScale = MakeList(GroupBoxFft, "ComboBoxFftVScale");
    ComboBoxFftHScale = MakeList(GroupBoxFft, "ComboBoxFftHScale");
    LabelFftVScale =
        MakeLabel(GroupBoxFft, "LabelFftVScale", QStringLiteral("VS&cale"), ComboBoxFftVScale);
    LabelFftHScale =
        MakeLabel(GroupBoxFft, "LabelFftHScale", QStringLiteral("HSc&ale"), ComboBoxFftHScale);
    SpeedButtonFft->setFixedHeight(24);
    SpeedButtonFft->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    {
        auto* top = new QHBoxLayout();
        top->setSpacing(1);
        top->addWidget(SpeedButtonFft, 1);
        top->addWidget(UpDownFft);
        g->addLayout(top, 0, 0, 1, 2);
    }
    g->addWidget(LabelFftVScale, 1, 0);
    g->addWidget(ComboBoxFftVScale, 1, 1);
    g->addWidget(LabelFftHScale, 2, 0);
    g->addWidget(ComboBoxFftHScale, 2, 1);
    GroupBoxFftSrc = MakeRadioGroup(GroupBoxFft, "GroupBoxFftSrc", QStringLiteral(" Source "));
    GroupBoxFftVst = MakeRadioGroup(GroupBoxFft, "GroupBoxFftVst", QStringLiteral(" VScale Type "));
    GroupBoxFftWnd = MakeRadioGroup(GroupBoxFft, "GroupBoxFftWnd", QStringLiteral(" Window "));
    RdBtnFftSrc1 = MakeRadio(GroupBoxFftSrc, "RdBtnFftSrc1", QStringLiteral("CH&1"));
    RdBtnFftSrc2 = MakeRadio(GroupBoxFftSrc, "RdBtnFftSrc2", QStringLiteral("CH&2"));
    RdBtnFftVstV = MakeRadio(GroupBoxFftVst, "RdBtnFftVstV", QStringLiteral("lin&ear RMS"));
    RdBtnFftVstdBV = MakeRadio(GroupBoxFftVst, "RdBtnFftVstdBV", QStringLiteral("&dBV RMS"));
    RdBtnFftWndRc = MakeRadio(GroupBoxFftWnd, "RdBtnFftWndRc", QStringLiteral("&Rectangular"));
    RdBtnFftWndHm = MakeRadio(GroupBoxFftWnd, "RdBtnFftWndHm", QStringLiteral("Ha&mming"));
    RdBtnFftWndHn = MakeRadio(GroupBoxFftWnd, "RdBtnFftWndHn", QStringLiteral("Ha&nning"));
    RdBtnFftWndBh = MakeRadio(GroupBoxFftWnd, "RdBtnFftWndBh", QStringLiteral("&Blackman-Harris"));
    for (auto [box, a, b] : {std::tuple{GroupBoxFftSrc, RdBtnFftSrc1, RdBtnFftSrc2},
                             std::tuple{GroupBoxFftVst, RdBtnFftVstV, RdBtnFftVstdBV}}) {
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(6, 2, 4, 2);
        v->setSpacing(1);
        v->addWidget(a);
        v->addWidget(b);
    }
    {
        auto* w = new QVBoxLayout(GroupBoxFftWnd);
        w->setContentsMargins(6, 2, 4, 2);
        w->setSpacing(1);
        for (QRadioButton* r : {RdBtnFftWndRc, RdBtnFftWndHm, RdBtnFftWndHn, RdBtnFftWndBh}) {
            w->addWidget(r);
        }
    }
    auto* pair = new QHBoxLayout();
    pair->setSpacing(3);
    pair->addWidget(GroupBoxFftSrc);
    pair->addWidget(GroupBoxFftVst, 1);
    g->addLayout(pair, 3, 0, 1, 2);
    g->addWidget(GroupBoxFftWnd, 4, 0, 1, 2);
    g->setColumnStretch(1, 1);
    stack->addWidget(GroupBoxFft);
    stack->addStretch(1);
}

void TFormSub::BuildBaseMain() {
    auto* central = Named(new QWidget(this), "PanelClient");
    auto* client = new QHBoxLayout(central);
    client->setContentsMargins(0, 0, 0, 0);
    client->setSpacing(0);

    PanelBaseMain = Named(new QWidget(central), "PanelBaseMain");
    auto* base = new QVBoxLayout(PanelBaseMain);
    base->setContentsMargins(0, 0, 0, 0);
    base->setSpacing(0);

    PanelToolBar = Named(new QFrame(PanelBaseMain), "PanelToolBar");
    PanelToolBar->setFrameStyle(QFrame::NoFrame);
    auto* bars = new QHBoxLayout(PanelToolBar);
    bars->setContentsMargins(2, 0, 2, 0);
    bars->setSpacing(0);
    ToolBarBtn = Named(new QToolBar(PanelToolBar), "ToolBarBtn");
    ToolBarOther = Named(new QToolBar(PanelToolBar), "ToolBarOther");
    ToolBarExec = Named(new QToolBar(PanelToolBar), "ToolBarExec");
    for (QToolBar* bar : {ToolBarBtn, ToolBarOther, ToolBarExec}) {
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->setIconSize(QSize(kToolImageSize, kToolImageSize));
        bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        bar->setContentsMargins(0, 0, 0, 0);
        QFont small = bar->font();
        small.setPointSize(7);
        bar->setFont(small);
        // The bar is 44 pixels high: image, caption and a thin border. The
        // buttons are as narrow as their captions allow, so that all twelve
        // fit beside the panel in the smallest window, in either language.
        bar->setStyleSheet(QStringLiteral(
            "QToolBar { border: 0px; padding: 0px; spacing: 1px; }"
            "QToolButton { padding: 0px 1px 0px 1px; margin: 0px; min-width: 34px; }"));
    }
    bars->addWidget(ToolBarBtn);
    bars->addWidget(ToolBarOther, 1);
    bars->addWidget(ToolBarExec);
    base->addWidget(PanelToolBar);

    PanelBaseSub = Named(new QWidget(PanelBaseMain), "PanelBaseSub");
    auto* sub = new QHBoxLayout(PanelBaseSub);
    sub->setContentsMargins(0, 0, 0, 0);
    sub->setSpacing(0);
    waveViewSlot_ = Named(new QWidget(PanelBaseSub), "PanelViewSlot");
    waveViewSlot_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    waveViewSlot_->setAutoFillBackground(true);
    {
        QPalette pal = waveViewSlot_->palette();
        pal.setColor(QPalette::Window, QColor(128, 128, 128));
        waveViewSlot_->setPalette(pal);
    }
    sub->addWidget(waveViewSlot_, 1);
    PanelSpace = Named(new QWidget(PanelBaseSub), "PanelSpace");
    sub->addWidget(PanelSpace);
    BuildSetInfo();
    sub->addWidget(PanelSetInfo);
    base->addWidget(PanelBaseSub, 1);

    PanelStatus = Named(new QFrame(PanelBaseMain), "PanelStatus");
    auto* status = new QHBoxLayout(PanelStatus);
    status->setContentsMargins(1, 1, 1, 1);
    status->setSpacing(2);
    PnlStsExec = StatusPanel(PanelStatus, "PnlStsExec", QColor(0, 255, 0));
    PnlStsError = StatusPanel(PanelStatus, "PnlStsError", QColor(255, 0, 0));
    PnlStsTrig = StatusPanel(PanelStatus, "PnlStsTrig", QColor(0, 255, 255));
    status->addWidget(PnlStsExec);
    status->addWidget(PnlStsError, 1);
    status->addWidget(PnlStsTrig);
    base->addWidget(PanelStatus);

    client->addWidget(PanelBaseMain, 1);
    client->addWidget(PanelButton);
    setCentralWidget(central);

    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(true);
    setStatusBar(StatusBar1);
}

void TFormSub::BuildSetInfo() {
    PanelSetInfo = Named(new QFrame(PanelBaseSub), "PanelSetInfo");
    PanelSetInfo->setAutoFillBackground(true);
    QPalette pal = PanelSetInfo->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    PanelSetInfo->setPalette(pal);
    auto* column = new QVBoxLayout(PanelSetInfo);
    column->setContentsMargins(2, 0, 2, 2);
    column->setSpacing(0);
    PanelSITop = Named(new QWidget(PanelSetInfo), "PanelSITop");
    column->addWidget(PanelSITop);

    QFont small = font();
    small.setPointSize(7);
    const auto box = [&](const char* captionName, const char* caption, QLabel** value,
                         const char* valueName) {
        QLabel* c = SetInfoCaption(PanelSetInfo, captionName, caption);
        c->setFont(small);
        *value = SetInfoValue(PanelSetInfo, valueName);
        column->addWidget(c);
        column->addWidget(*value);
        column->addSpacing(2);
    };
    box("LblSISmpTm", " SamplingTime", &LabelSISmpTm, "LabelSISmpTm");
    box("LblSIEqu", " Equivalence", &LabelSIEqu, "LabelSIEqu");
    box("LblSIRoll", " Roll", &LabelSIRoll, "LabelSIRoll");
    box("LblSIWf", " WaveForm", &LabelSIWf, "LabelSIWf");
    box("LblSITrigL", " TrigLevel", &LabelSITrigL, "LabelSITrigL");
    box("LblSITrigP", " TrigPos", &LabelSITrigP, "LabelSITrigP");
    PanelSISpace = Named(new QWidget(PanelSetInfo), "PanelSISpace");
    column->addWidget(PanelSISpace);

    PanelSICsr = Named(new QFrame(PanelSetInfo), "PanelSICsr");
    auto* cursors = new QVBoxLayout(PanelSICsr);
    cursors->setContentsMargins(0, 0, 0, 0);
    cursors->setSpacing(2);
    // One box per readout: a caption strip, then a column of line captions
    // and a column of values that the readout code fills line by line.
    const auto readout = [&](QFrame** panel, const char* panelName, QLabel** caption,
                             const char* captionName, const char* captionText, QLabel** left,
                             const char* leftName, QLabel** right, const char* rightName) {
        *panel = Named(new QFrame(PanelSICsr), panelName);
        auto* v = new QVBoxLayout(*panel);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(0);
        *caption = SetInfoCaption(*panel, captionName, captionText);
        (*caption)->setFont(small);
        v->addWidget(*caption);
        auto* values = new QHBoxLayout();
        values->setSpacing(0);
        *left = SetInfoValue(*panel, leftName);
        *right = SetInfoValue(*panel, rightName);
        (*left)->setFixedWidth(22);
        (*left)->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        (*right)->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        values->addWidget(*left);
        values->addWidget(*right, 1);
        v->addLayout(values);
        cursors->addWidget(*panel);
        return v;
    };
    readout(&PanelSIDt, "PanelSIDt", &LblSIDt, "LblSIDt", " Time", &LabelSIDt1, "LabelSIDt1",
            &LabelSIDt2, "LabelSIDt2");
    const auto bandwidth = [&](QVBoxLayout* v, QLabel** value, const char* valueName) {
        auto* line = new QHBoxLayout();
        line->setSpacing(0);
        QLabel* bw = SetInfoValue(v->parentWidget(), "");
        bw->setText(QStringLiteral("BW:"));
        bw->setFixedWidth(22);
        bw->setObjectName(QString::fromLatin1(valueName) + QStringLiteral("Caption"));
        *value = SetInfoValue(v->parentWidget(), valueName);
        line->addWidget(bw);
        line->addWidget(*value, 1);
        v->insertLayout(1, line);
    };
    bandwidth(readout(&PanelSICh1, "PanelSICh1", &LblSICh1, "LblSICh1", " CH1", &LabelSICh11,
                      "LabelSICh11", &LabelSICh12, "LabelSICh12"),
              &LabelSIBw1, "LabelSIBw1");
    bandwidth(readout(&PanelSICh2, "PanelSICh2", &LblSICh2, "LblSICh2", " CH2", &LabelSICh21,
                      "LabelSICh21", &LabelSICh22, "LabelSICh22"),
              &LabelSIBw2, "LabelSIBw2");
    QVBoxLayout* math = readout(&PanelSIMath, "PanelSIMath", &LblSIMath, "LblSIMath", " MATH",
                                &LabelSIMath1, "LabelSIMath1", &LabelSIMath2, "LabelSIMath2");
    LblSIMathOpe = SetInfoValue(PanelSIMath, "LblSIMathOpe");
    math->insertWidget(1, LblSIMathOpe);
    column->addWidget(PanelSICsr);
    column->addStretch(1);
}

// ---------------------------------------------------------------------------

void TFormSub::BuildActions() {
    QAction** targets[] = {&A_Open, &A_Save, &A_Auto, &A_Stop, &A_Single, &A_Normal, &A_Scale,
                           &A_Grid, &A_Cur,  &A_XY,   &A_Fft,  &A_Dtc,    &A_Dvc,    &A_Setup};
    std::size_t i = 0;
    for (const ActionEntry& entry : PanelActions()) {
        auto* action = new QAction(TrText("Panel", entry.caption), this);
        action->setObjectName(Utf8(entry.name));
        action->setToolTip(TrText("Panel", entry.hint));
        action->setProperty("category", Utf8(entry.category));
        if (!entry.shortcut.empty()) {
            action->setShortcut(QKeySequence(Utf8(entry.shortcut)));
        }
        if (!entry.toolText.empty()) {
            action->setIconText(TrText("Panel", entry.toolText));
            action->setIcon(ToolIcon(entry.name));
        }
        // The display actions toggle their own check mark.
        action->setCheckable(entry.checkable);
        // Shortcuts work wherever the focus is in the window.
        addAction(action);
        *targets[i++] = action;
    }
    ToolBarBtn->addAction(A_Open);
    ToolBarBtn->addAction(A_Save);
    ToolBarBtn->addSeparator();
    ToolBarBtn->addAction(A_Scale);
    ToolBarBtn->addAction(A_Grid);
    ToolBarBtn->addAction(A_Cur);
    ToolBarBtn->addAction(A_XY);
    ToolBarBtn->addSeparator();
    ToolBarBtn->addAction(A_Fft);
    ToolBarBtn->addSeparator();
    ToolBarBtn->addAction(A_Setup);
    ToolBarExec->addAction(A_Auto);
    ToolBarExec->addAction(A_Stop);
    ToolBarExec->addAction(A_Single);
    ToolBarExec->addAction(A_Normal);

    SpeedButtonDtc->setDefaultAction(A_Dtc);
    SpeedButtonDvc->setDefaultAction(A_Dvc);
    // The selector buttons show their action's glyph.
    A_Dtc->setIcon(QPixmap::fromImage(ImgLstCur[0]));
    A_Dvc->setIcon(QPixmap::fromImage(ImgLstCur[2]));
}

void TFormSub::BuildMenu() {
    MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    setMenuBar(MainMenu1);
    std::map<std::string, QAction*> actions;
    for (QAction* a : {A_Open, A_Save, A_Auto, A_Stop, A_Single, A_Normal, A_Scale, A_Grid, A_Cur,
                       A_XY, A_Fft, A_Dtc, A_Dvc, A_Setup}) {
        actions[a->objectName().toStdString()] = a;
    }
    std::function<void(QMenu*, const std::vector<MenuNode>&)> fill =
        [&](QMenu* menu, const std::vector<MenuNode>& nodes) {
            QActionGroup* radios = nullptr;
            for (const MenuNode& node : nodes) {
                switch (node.kind) {
                    case MenuNode::Kind::Separator:
                        menu->addSeparator();
                        break;
                    case MenuNode::Kind::Action:
                        menu->addAction(actions.at(node.name));
                        break;
                    case MenuNode::Kind::Submenu: {
                        QMenu* child = menu->addMenu(TrText("Menu", node.caption));
                        child->setObjectName(QString::fromStdString(node.name));
                        child->menuAction()->setObjectName(QString::fromStdString(node.name));
                        menuItems_[node.name] = child->menuAction();
                        fill(child, node.children);
                        break;
                    }
                    case MenuNode::Kind::Item: {
                        QAction* item = menu->addAction(TrText("Menu", node.caption));
                        item->setObjectName(QString::fromStdString(node.name));
                        item->setCheckable(node.checkable);
                        if (!node.shortcut.empty()) {
                            item->setShortcut(QKeySequence(QString::fromStdString(node.shortcut)));
                        }
                        if (node.radio) {
                            if (!radios) {
                                radios = new QActionGroup(menu);
                                radios->setExclusive(true);
                            }
                            radios->addAction(item);
                            item->setData(node.tag);
                        }
                        item->setVisible(!node.hidden);
                        menuItems_[node.name] = item;
                        break;
                    }
                }
            }
        };
    for (const MenuNode& top : MainMenuLayout()) {
        QMenu* menu = MainMenu1->addMenu(TrText("Menu", top.caption));
        menu->setObjectName(QString::fromStdString(top.name));
        menu->menuAction()->setObjectName(QString::fromStdString(top.name));
        menuItems_[top.name] = menu->menuAction();
        fill(menu, top.children);
    }
}

QAction* TFormSub::MenuItem(const std::string& name) const {
    const auto it = menuItems_.find(name);
    return it == menuItems_.end() ? nullptr : it->second;
}

void TFormSub::ApplyHints() {
    for (const HintEntry& entry : PanelHints()) {
        if (QWidget* w = findChild<QWidget*>(Utf8(entry.control))) {
            w->setToolTip(TrText("Panel", entry.hint));
        }
    }
}

void TFormSub::ApplyHintVisibility(bool on) {
    for (const HintEntry& entry : PanelHints()) {
        if (entry.control == "PageControlBtn") {
            continue;  // its tabs follow the form's hint flag on their own
        }
        if (QWidget* w = findChild<QWidget*>(Utf8(entry.control))) {
            w->setProperty("showHint", on);
        }
    }
}

void TFormSub::SetWaveView(QWidget* view) {
    auto* layout = static_cast<QHBoxLayout*>(PanelBaseSub->layout());
    if (waveViewSlot_) {
        layout->removeWidget(waveViewSlot_);
        delete waveViewSlot_;
        waveViewSlot_ = nullptr;
    }
    view->setParent(PanelBaseSub);
    layout->insertWidget(0, view, 1);
}

void TFormSub::SetVersionDialog(TFormVer* dialog) {
    versionDialog_ = dialog;
}

// ---------------------------------------------------------------------------
// Defaults and synchronisation.

WorkArea TFormSub::ScreenWorkArea() const {
    if (workArea_) {
        return workArea_();
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        return {area.left(), area.top(), area.width(), area.height()};
    }
    return {};
}

QSize TFormSub::FrameExtent() const {
    return frameGeometry().size() - geometry().size();
}

DerivedWindowSizes TFormSub::DerivedSizes() const {
    const QSize frame = FrameExtent();
    return ComputeDerivedWindowSizes(frame.width(), frame.height() + MainMenu1->sizeHint().height(),
                                     ScreenWorkArea());
}

WindowRect TFormSub::WindowBounds(QSize frameExtent) const {
    const QPoint at = frameGeometry().topLeft();
    return {at.x(), at.y(), width() + frameExtent.width(), height() + frameExtent.height()};
}

void TFormSub::PlaceWindow(const WindowRect& bounds, QSize frameExtent) {
    // Placing a maximised or minimised window sets where it returns to; it
    // keeps its state (Qt drops the state when a window is resized).
    const Qt::WindowStates state = windowState();
    move(bounds.left, bounds.top);
    resize(bounds.width - frameExtent.width(), bounds.height - frameExtent.height());
    if (windowState() != state) {
        setWindowState(state);
    }
}

void TFormSub::ApplyDefaults() {
    // 1. Normal state, client area 870 x 521 centred in the work area.
    setWindowState(Qt::WindowNoState);
    PlaceWindow(DerivedSizes().DefaultRect(), FrameExtent());
    // 2 .. 12.
    ApplyDefaultValues(settings_);
    panel_ = DefaultPanelState(*lists_);
    ShowPanelState();
    EditDelay->setText(QStringLiteral("0"));
    EditDelay->setPending(false);
    EditPulse->setText(QStringLiteral("10"));
    EditPulse->setPending(false);
    SetShowHint(panel_.Flag(PanelFlag::Hint));
    for (int item = 0; item < kDisplayItemCount; ++item) {
        SetDisplayColor(item, settings_.DisplayColor(item));
    }
}

void TFormSub::ApplyFftDefaults() {
    ApplyFftDefaultValues(settings_);
    ApplyFftDefaultState(panel_, *lists_);
    ShowPanelState();
    SetDisplayColor(3, settings_.DisplayColor(3));
}

void TFormSub::FitMemorySizeList(bool largeMemory) {
    const int index = panel_.Index(PanelList::MemSize);
    const ItemList& items = lists_->MemorySize(largeMemory ? 1 : 0);
    SetList(PanelList::MemSize,
            {items, index >= 0 && index < static_cast<int>(items.size()) ? index : 0});
    MenuItem("M_MS_1M")->setVisible(largeMemory);
}

void TFormSub::SynchronisePanel(bool largeMemory) {
    FitMemorySizeList(largeMemory);
    settings_.channelOn = {static_cast<std::uint8_t>(panel_.Down(PanelLatch::Ch1)),
                           static_cast<std::uint8_t>(panel_.Down(PanelLatch::Ch2))};
    settings_.mathOn = panel_.Down(PanelLatch::Math);
    settings_.fftOn = panel_.Down(PanelLatch::Fft);
    settings_.timeDivIndex = panel_.Index(PanelList::Td);
    settings_.cursorTOn = panel_.Down(PanelLatch::Dt);
    settings_.cursorVOn = panel_.Down(PanelLatch::Dv);
    ReplayPanelSettings();
}

void TFormSub::ReplayPanelSettings() {
    // The handler of a radio group's checked member, when one is checked.
    const auto radio = [this](PanelRadio group,
                              std::initializer_list<void (TFormSub::*)()> handlers) {
        const int member = panel_.Radio(group);
        if (member >= 0 && member < static_cast<int>(handlers.size())) {
            (this->*handlers.begin()[member])();
        }
    };
    ComboBoxPb1Change();
    ComboBoxPb2Change();
    ComboBoxCup1Change();
    ComboBoxCup2Change();
    ComboBoxTrigCupChange();
    ComboBoxTrigSrcChange();
    ComboBoxTrigSpChange();
    ComboBoxMemSizeChange();
    CheckBoxDelayClick();
    CheckBoxPulseClick();
    radio(PanelRadio::PulseCond, {&TFormSub::RdBtnUnderClick, &TFormSub::RdBtnAboveClick});
    radio(PanelRadio::Bw1, {&TFormSub::RdBtnFull1Click, &TFormSub::RdBtn20MHz1Click});
    radio(PanelRadio::Bw2, {&TFormSub::RdBtnFull2Click, &TFormSub::RdBtn20MHz2Click});
    SpeedButtonDtClick();
    SpeedButtonDvClick();
    CheckBoxEquClick();
    CheckBoxRollClick();
    ComboBoxMathChange();
    SpeedButtonMathClick();
    radio(PanelRadio::Math1, {&TFormSub::RdBtnMath11Click, &TFormSub::RdBtnMath12Click});
    radio(PanelRadio::Math2, {&TFormSub::RdBtnMath21Click, &TFormSub::RdBtnMath22Click});
    radio(PanelRadio::Ope, {&TFormSub::RdBtnAddClick, &TFormSub::RdBtnSubClick,
                            &TFormSub::RdBtnMulClick, &TFormSub::RdBtnDivClick});
    ComboBoxFftVScaleChange();
    ComboBoxFftHScaleChange();
    radio(PanelRadio::FftSrc, {&TFormSub::RdBtnFftSrc1Click, &TFormSub::RdBtnFftSrc2Click});
    radio(PanelRadio::FftVst, {&TFormSub::RdBtnFftVstVClick, &TFormSub::RdBtnFftVstdBVClick});
    radio(PanelRadio::FftWnd, {&TFormSub::RdBtnFftWndRcClick, &TFormSub::RdBtnFftWndHmClick,
                               &TFormSub::RdBtnFftWndHnClick, &TFormSub::RdBtnFftWndBhClick});
    SpeedButtonCh2Click();
    SpeedButtonCh1Click();
    SpeedButtonFftClick();
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------
// Display items.

void TFormSub::SetDisplayColor(int displayItem, std::uint32_t color) {
    if (!settings_.SetDisplayColorValue(displayItem, color)) {
        return;
    }
    constexpr PanelLatch kButtons[4] = {PanelLatch::Ch1, PanelLatch::Ch2, PanelLatch::Math,
                                        PanelLatch::Fft};
    if (displayItem < 4) {
        panel_.CaptionColor(kButtons[displayItem]) = color;
        ShowLatch(kButtons[displayItem]);
    }
    RedrawAll();
}

std::uint32_t TFormSub::GetDisplayColor(int displayItem) const {
    return settings_.DisplayColor(displayItem);
}

void TFormSub::SetItemPosition(int displayItem, int value) {
    settings_.SetItemPosition(displayItem, value);
}

int TFormSub::GetItemPosition(int displayItem) const {
    return settings_.ItemPosition(displayItem);
}

void TFormSub::SetFftHScaleList(int group, int k) {
    const FftHScaleChange c =
        ApplyFftHScaleList(*lists_, group, k, panel_.Index(PanelList::FftHScale));
    SetList(PanelList::FftHScale, c.scale);
    SyncFftHScaleMenu();
}

void TFormSub::SyncFftHScaleMenu() {
    for (int i = 0; i < kFftHScaleMenuCount; ++i) {
        QAction* item = MenuItem("M_FHs_" + std::to_string(i));
        const ItemList& items = panel_.List(PanelList::FftHScale).items;
        const bool exists = i < static_cast<int>(items.size());
        if (exists) {
            item->setText(QString::fromStdString(items[static_cast<std::size_t>(i)]));
        }
        item->setVisible(exists);
    }
    CheckListMenuItem("M_FftHScale", panel_.Index(PanelList::FftHScale));
}

}  // namespace lumatrace
