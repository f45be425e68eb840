// The main window's measurements panel: docked below the wave area, shown
// from the 表示(V) menu, fed with each record on show once it has been drawn.
// Hidden (the default), it leaves the window, its menus and its files as they
// are without it, and measuring costs nothing but keeping the frame.
#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>

#include "app/core/FormMain.h"
#include "app/core/PanelDerived.h"
#include "app/measure/MeasureChoices.h"
#include "app/measure/MeasureGate.h"
#include "app/measure/ui/MeasurePanel.h"
#include "app/platform/SettingsFolder.h"

namespace lumatrace {

void TFormMain::CreateMeasurePanel() {
    measurePanel_ = new MeasurePanel(
        MeasurePanelServices{services_.files, MeasureChoicesFile(ProcessEnvironment())}, this);
    measurePanel_->setObjectName("MeasurePanel");
    measureDock_ = new QDockWidget(this);
    measureDock_->setObjectName("DockMeasure");
    // Shown and hidden by its menu item only: no title bar, no buttons of its own.
    measureDock_->setFeatures(QDockWidget::NoDockWidgetFeatures);
    measureDock_->setAllowedAreas(Qt::BottomDockWidgetArea);
    measureDock_->setTitleBarWidget(new QWidget(measureDock_));
    measureDock_->setWidget(measurePanel_);
    // The panel's own height, never more: the wave area takes what the user
    // gives the window, and the panel's rows scroll.
    measureDock_->setFixedHeight(measurePanel_->sizeHint().height());
    addDockWidget(Qt::BottomDockWidgetArea, measureDock_);
    // A file that cannot be read leaves the defaults; the file stays as it
    // is until a choice changes, so there is nothing to tell the user here.
    measurePanel_->LoadChoices();
    measureDock_->setVisible(measurePanel_->Shown());

    QMenu* view = findChild<QMenu*>("M_View");
    if (view) {
        view->addSeparator();
        measureItem_ = view->addAction(QCoreApplication::translate("Menu", "測定(&E)"));
        measureItem_->setObjectName("M_Measure");
        measureItem_->setCheckable(true);
        measureItem_->setChecked(measurePanel_->Shown());
        measureItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
        measureItem_->setToolTip(QCoreApplication::translate("Measure", "自動測定パネル表示"));
        connect(measureItem_, &QAction::toggled, this,
                [this](bool checked) { ShowMeasurePanel(checked); });
    }
}

QMenu* TFormMain::createPopupMenu() {
    // The window has no context menu: the dock is the menu item's alone.
    return nullptr;
}

int TFormMain::MeasureDockExtent() const {
    if (!measurePanel_ || !measurePanel_->Shown()) {
        return 0;
    }
    return measureDock_->minimumHeight() +
           style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
}

WindowRect TFormMain::WindowBounds(QSize frameExtent) const {
    WindowRect r = TFormSub::WindowBounds(frameExtent);
    if (!isMaximized() && !isFullScreen()) {
        r.height -= MeasureDockExtent();
    }
    return r;
}

void TFormMain::PlaceWindow(const WindowRect& bounds, QSize frameExtent) {
    WindowRect r = bounds;
    r.height += MeasureDockExtent();
    TFormSub::PlaceWindow(r, frameExtent);
}

void TFormMain::ShowMeasurePanel(bool shown) {
    if (!measurePanel_ || shown == measurePanel_->Shown()) {
        return;
    }
    measurePanel_->SetShown(shown);
    measureDock_->setVisible(shown);
    if (measureItem_) {
        const QSignalBlocker quiet(measureItem_);
        measureItem_->setChecked(shown);
    }
    if (!formReady_ || closed_) {
        return;
    }
    // The wave area keeps its size: the panel's height is not the user's
    // resizing, so the width decides the snap and the window grows (shrinks)
    // by the panel, as far as the work area allows.
    layout()->activate();
    prevWindow_ = {PanelMain->width(), PanelMain->height()};
    FormResize();
}

void TFormMain::RecordOnShow() {
    recordPending_ = true;
}

MeasureInput TFormMain::RecordMeasureInput() const {
    const InstrumentSettings& s = Settings();
    const int n = std::clamp(s.memoryPoints, 0, kMaxRecordPoints);
    MeasureInput in;
    in.record = std::span<const SampleWord>(WaveBuffer.data(), static_cast<std::size_t>(n));
    for (std::size_t ch = 0; ch < 2; ++ch) {
        MeasureChannel& c = in.channel[ch];
        c.on = s.channelOn[ch] != 0;
        c.ground = s.displayCoupling[ch] == kCouplingGnd;
        c.voltsPerDivMv = acqVoltsPerDivMv_[ch];
        c.probeFactor = s.probeFactor[ch];
        c.position = acqTracePosition_[ch];
    }
    in.mathOn = s.mathOn != 0;
    in.math = MathSettingsFrom(Panel(), s);
    in.sampleIntervalSeconds = acqIntervalSeconds_;
    return in;
}

void TFormMain::MeasureAfterRedraw() {
    if (!measurePanel_) {
        return;
    }
    if (!acq_->dataValid) {
        recordPending_ = false;
        measurePanel_->ForgetRecord();
        return;
    }
    const InstrumentSettings& s = Settings();
    MeasureFrame frame;
    frame.input = RecordMeasureInput();
    const int n = static_cast<int>(frame.input.record.size());
    frame.screen = ScreenGate(view_.Horizontal(), view_.Geometry(), n, s.trigPosition);
    frame.cursors =
        CursorGate(view_.Horizontal(), view_.Geometry(), n, s.trigPosition, s.cursorT1, s.cursorT2);
    if (recordPending_) {
        recordPending_ = false;
        measurePanel_->OnRecord(frame);
    } else {
        measurePanel_->OnView(frame);
    }
}

}  // namespace lumatrace
