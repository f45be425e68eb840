// The main window's side of the waveform view: markers and cursors, the
// readouts of the set-information column, pointer drags on the paint boxes,
// the up-down buttons, trace stacking and the horizontal scroll bar. The
// decisions are the interaction code's; this file only carries them out.
#include <QAbstractSlider>
#include <QAction>
#include <QBitmap>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTransform>
#include <algorithm>
#include <mutex>

#include "app/core/FormMain.h"
#include "app/display/Readouts.h"
#include "app/display/ScrollMapping.h"
#include "app/display/TraceStacking.h"
#include "app/i18n/QtLanguage.h"

namespace lumatrace {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's own move cursors: a black double arrow with a white rim,
// pointing sideways ("HMove") or up and down ("VMove").
QCursor MakeMoveCursor(bool horizontal) {
    constexpr int kSize = 16;
    constexpr int kHot = 7;
    const QPolygon tail({QPoint(0, 7), QPoint(4, 3), QPoint(4, 11)});
    const QPolygon head({QPoint(14, 7), QPoint(10, 3), QPoint(10, 11)});
    const QRect shaft(4, 6, 7, 3);
    const auto paint = [&](QBitmap& bitmap, int penWidth) {
        bitmap.fill(Qt::color0);
        QPainter p(&bitmap);
        if (!horizontal) {
            p.setTransform(QTransform(0, 1, 1, 0, 0, 0));  // mirror on the diagonal
        }
        p.setPen(QPen(Qt::color1, penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::color1);
        p.drawPolygon(tail);
        p.drawPolygon(head);
        p.drawRect(shaft.adjusted(0, 0, -1, -1));
    };
    QBitmap shape(kSize, kSize);
    QBitmap mask(kSize, kSize);
    paint(shape, 1);
    paint(mask, 3);
    return QCursor(shape, mask, kHot, kHot);
}

ScrollKey ScrollKeyOf(int key) {
    switch (key) {
        case kKeyPageUp:
            return ScrollKey::PageUp;
        case kKeyPageDown:
            return ScrollKey::PageDown;
        case kKeyLeft:
            return ScrollKey::Left;
        case kKeyRight:
            return ScrollKey::Right;
        case Qt::Key_End:
            return ScrollKey::End;
        case Qt::Key_Home:
            return ScrollKey::Home;
        case Qt::Key_Insert:
            return ScrollKey::Insert;
        default:
            return ScrollKey::Other;
    }
}

void ShowPanel(const CursorPanelTexts& texts, QFrame* panel, QLabel* caption, QLabel* label1,
               QLabel* label2) {
    if (caption) {
        caption->setText(Text(texts.caption));
    }
    label1->setText(Text(texts.label1));
    label2->setText(Text(texts.label2));
    panel->setVisible(texts.visible);
}

}  // namespace

// ---------------------------------------------------------------------------
// Paint box pointer events

void PaintBox::mousePressEvent(QMouseEvent* event) {
    emit pointerPressed(event->button(), event->position().toPoint());
}

void PaintBox::mouseMoveEvent(QMouseEvent* event) {
    emit pointerMoved(event->position().toPoint());
}

void PaintBox::mouseReleaseEvent(QMouseEvent*) {
    emit pointerReleased();
}

void PaintBox::leaveEvent(QEvent*) {
    emit pointerLeft();
}

// ---------------------------------------------------------------------------
// Set-up

void TFormMain::BuildViewInteraction() {
    moveCursors_ = {MakeMoveCursor(true), MakeMoveCursor(false)};
    view_.SetMarkerLayer(&markers_);
    for (PointerSurface surface : {PointerSurface::Volt, PointerSurface::TrigLevel,
                                   PointerSurface::TrigPos, PointerSurface::Wave}) {
        PaintBox* box = BoxOf(surface);
        box->setMouseTracking(true);
        connect(box, &PaintBox::pointerMoved, this,
                [this, surface](QPoint at) { PointerMove(surface, at); });
        connect(box, &PaintBox::pointerPressed, this,
                [this, surface](Qt::MouseButton button, QPoint at) {
                    PointerDown(surface, button, at);
                });
        connect(box, &PaintBox::pointerReleased, this, [this, surface] { PointerUp(surface); });
        connect(box, &PaintBox::pointerLeft, this, [this, surface] { PointerLeave(surface); });
    }
    // Positions set by the program go in with the bar's signals blocked:
    // only the user's scrolling reaches the view.
    connect(ScrollBar1, &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollBarAction(action); });
    connect(ScrollBar1, &QAbstractSlider::valueChanged, this, [this] { ScrollBarMoved(); });
    connect(ScrollBar1, &QAbstractSlider::sliderReleased, this, [this] { ScrollBarReleased(); });
    ScrollBar1->setToolTip(TrText("Display", kScrollHintTime));
}

PaintBox* TFormMain::BoxOf(PointerSurface surface) const {
    switch (surface) {
        case PointerSurface::Volt:
            return PaintBoxVolt;
        case PointerSurface::TrigLevel:
            return PaintBoxTrigL;
        case PointerSurface::TrigPos:
            return PaintBoxTrigP;
        case PointerSurface::Wave:
            break;
    }
    return PaintBoxWave;
}

void TFormMain::LayOutMarkers() {
    StripLayout layout;
    layout.waveTopInPanel = PaintBoxWave->y();
    layout.waveBoxLeft = PaintBoxWave->mapTo(PanelMain, QPoint(0, 0)).x();
    layout.trigPosBoxLeft = PaintBoxTrigP->mapTo(PanelMain, QPoint(0, 0)).x();
    markers_.SetLayout(layout);
}

// ---------------------------------------------------------------------------
// View state

ViewSettings& TFormMain::SyncViewState() {
    viewState_ = CurrentViewSettings();
    return viewState_;
}

InteractionContext TFormMain::MakeInteractionContext() {
    SyncViewState();
    const MarkerPositions& p = markers_.Positions();
    markerPixels_.MarkerY = p.markerY;
    markerPixels_.TrigLevelY = p.trigLevelY;
    markerPixels_.TrigPosMarkerX = p.trigPosMarkerX;
    markerPixels_.StripOffset = p.stripOffset;
    markerPixels_.OverviewLeft = p.overviewLeft;
    markerPixels_.OverviewScale = p.overviewScale;
    InteractionInputs inputs;
    inputs.trigSource = std::clamp(Panel().Index(PanelList::TrigSrc), 0, 2);
    inputs.fftVerticalType = FftVerticalType(Panel());
    inputs.mathUpDownEnabled = UpDownMath->isEnabled();
    inputs.cursorPairMove = CursorPairMove();
    return InteractionContext{
        Settings(),    viewState_, view_.Geometry(), view_.Horizontal(), view_.Spectrum(),
        markerPixels_, inputs};
}

void TFormMain::PrepareMarkers() {
    markers_.SetSettings(MarkerSettingsFrom(Settings()));
    MarkerHighlight highlight;
    for (int trace = 0; trace < kTraceCount; ++trace) {
        highlight.trace[static_cast<std::size_t>(trace)] = interaction_.TraceHighlighted(trace);
    }
    highlight.trigLevel = interaction_.TrigLevelHighlighted();
    highlight.trigPosition = interaction_.TrigPosHighlighted();
    markers_.SetHighlight(highlight);
}

void TFormMain::RefreshReadouts() {
    if (!acq_ || closed_) {
        return;
    }
    ReadoutInputs in = ReadoutInputsFrom(Settings(), Panel().Index(PanelList::TrigSrc),
                                         FftVerticalType(Panel()) == kFftTypeDbv);
    in.kx = view_.Geometry().Kx;
    in.trigPointX = view_.Horizontal().TrigPointX;
    // With the spectrum in front the time cursors read frequencies from 0 Hz.
    in.spectrumInFront = SpectrumInFront();
    in.fftHzPerDiv = fftHs_.hzPerDiv;
    in.specZeroX = static_cast<double>(spectrum_->SpecZeroX());
    const ReadoutTexts t = BuildReadouts(in);
    LabelSITrigL->setText(Text(t.trigLevel));
    LabelSITrigP->setText(Text(t.trigPosition));
    ShowPanel(t.time, PanelSIDt, LblSIDt, LabelSIDt1, LabelSIDt2);
    ShowPanel(t.ch1, PanelSICh1, nullptr, LabelSICh11, LabelSICh12);
    ShowPanel(t.ch2, PanelSICh2, nullptr, LabelSICh21, LabelSICh22);
    ShowPanel(t.math, PanelSIMath, LblSIMath, LabelSIMath1, LabelSIMath2);
    cursorTText_ = t.cursorTText;
    cursorVText_ = t.cursorVText;
    trigLevelText_ = t.trigLevel;
    trigPosText_ = t.trigPosition;
}

// ---------------------------------------------------------------------------
// Pointer

void TFormMain::PointerMove(PointerSurface surface, QPoint at) {
    if (!formReady_ || closed_) {
        return;
    }
    interaction_.MouseMove(surface, at.x(), at.y(), MakeInteractionContext(), *this);
}

void TFormMain::PointerDown(PointerSurface surface, Qt::MouseButton button, QPoint at) {
    if (!formReady_ || closed_) {
        return;
    }
    const PointerButton b = button == Qt::RightButton    ? PointerButton::Right
                            : button == Qt::MiddleButton ? PointerButton::Middle
                                                         : PointerButton::Left;
    interaction_.MouseDown(surface, b, at.x(), at.y(), MakeInteractionContext(), *this);
}

void TFormMain::PointerUp(PointerSurface surface) {
    if (!formReady_ || closed_) {
        return;
    }
    SyncViewState();
    interaction_.MouseUp(surface, *this);
}

void TFormMain::PointerLeave(PointerSurface surface) {
    if (!formReady_ || closed_) {
        return;
    }
    SyncViewState();
    interaction_.MouseLeave(surface, *this);
}

void TFormMain::CancelPointerDrags() {
    interaction_.CancelStripDrags(*this);
}

// ---------------------------------------------------------------------------
// Up-downs

void TFormMain::StepUpDown(UpDownControl control, const UpDown* upDown, UpDownButton button) {
    if (!formReady_ || closed_) {
        return;
    }
    UpDownClickInfo click;
    click.control = control;
    click.arrow = button == UpDownButton::Up ? StepArrow::Up : StepArrow::Down;
    click.position = upDown->position();
    click.minimum = upDown->minimum();
    click.maximum = upDown->maximum();
    interaction_.UpDownClick(click, MakeInteractionContext(), *this);
}

void TFormMain::ReleaseUpDown(UpDownControl control) {
    if (!formReady_ || closed_) {
        return;
    }
    SyncViewState();
    interaction_.UpDownRelease(control, *this);
}

void TFormMain::UpDownCh1Click(UpDownButton button) {
    StepUpDown(UpDownControl::Ch1, UpDownCh1, button);
}
void TFormMain::UpDownCh2Click(UpDownButton button) {
    StepUpDown(UpDownControl::Ch2, UpDownCh2, button);
}
void TFormMain::UpDownMathClick(UpDownButton button) {
    StepUpDown(UpDownControl::Math, UpDownMath, button);
}
void TFormMain::UpDownFftClick(UpDownButton button) {
    StepUpDown(UpDownControl::Fft, UpDownFft, button);
}
void TFormMain::UpDownTrigLClick(UpDownButton button) {
    StepUpDown(UpDownControl::TrigL, UpDownTrigL, button);
}
void TFormMain::UpDownTrigPClick(UpDownButton button) {
    StepUpDown(UpDownControl::TrigP, UpDownTrigP, button);
}
void TFormMain::UpDownDtClick(UpDownButton button) {
    StepUpDown(UpDownControl::Dt, UpDownDt, button);
}
void TFormMain::UpDownDvClick(UpDownButton button) {
    StepUpDown(UpDownControl::Dv, UpDownDv, button);
}
void TFormMain::UpDownCh1MouseUp() {
    ReleaseUpDown(UpDownControl::Ch1);
}
void TFormMain::UpDownCh2MouseUp() {
    ReleaseUpDown(UpDownControl::Ch2);
}
void TFormMain::UpDownMathMouseUp() {
    ReleaseUpDown(UpDownControl::Math);
}
void TFormMain::UpDownFftMouseUp() {
    ReleaseUpDown(UpDownControl::Fft);
}
void TFormMain::UpDownTrigLMouseUp() {
    ReleaseUpDown(UpDownControl::TrigL);
}
void TFormMain::UpDownTrigPMouseUp() {
    ReleaseUpDown(UpDownControl::TrigP);
}
void TFormMain::UpDownDtMouseUp() {
    ReleaseUpDown(UpDownControl::Dt);
}
void TFormMain::UpDownDvMouseUp() {
    ReleaseUpDown(UpDownControl::Dv);
}

// ---------------------------------------------------------------------------
// Trace switches and cursor pairs

void TFormMain::TraceButtonSwitched(int trace, bool on) {
    // The start-up replay of the panel keeps the initial stacking order.
    if (!formReady_ || closed_) {
        return;
    }
    SyncViewState();
    TraceSwitched(viewState_, trace, on, *this);
    RedrawAll();
}

void TFormMain::SpeedButtonCh1Click() {
    TFormSub::SpeedButtonCh1Click();
    TraceButtonSwitched(kTraceCh1, Settings().channelOn[0] != 0);
}

void TFormMain::SpeedButtonCh2Click() {
    TFormSub::SpeedButtonCh2Click();
    TraceButtonSwitched(kTraceCh2, Settings().channelOn[1] != 0);
}

void TFormMain::SpeedButtonDtClick() {
    TFormSub::SpeedButtonDtClick();
    viewState_.lastCursorPairT = true;
    RedrawAll();
}

void TFormMain::SpeedButtonDvClick() {
    TFormSub::SpeedButtonDvClick();
    viewState_.lastCursorPairT = false;
    RedrawAll();
}

void TFormMain::A_DtcExecute() {
    if (Settings().cursorTOn == 0) {
        return;  // a hidden pair keeps its selection
    }
    TFormSub::A_DtcExecute();
    viewState_.lastCursorPairT = true;
    RedrawAll();
}

void TFormMain::A_DvcExecute() {
    if (Settings().cursorVOn == 0) {
        return;
    }
    TFormSub::A_DvcExecute();
    viewState_.lastCursorPairT = false;
    RedrawAll();
}

// ---------------------------------------------------------------------------
// Scroll bar

void TFormMain::ApplyScrollGeometry() {
    if (!acq_) {
        return;
    }
    const int w = view_.Geometry().WaveWidth;
    scrollGeometry_ =
        CurrentViewSettings().SpectrumInFront()
            ? SpectrumScrollGeometry(view_.Spectrum(), w)
            : TimeScrollGeometry(view_.Horizontal().ScreenSamples, Settings().memoryPoints, w);
    // The bar's largest position leaves its page inside the range; the
    // page is the thumb, the large change what a page click moves
    // (ScrollBarAction).
    const QSignalBlocker block(ScrollBar1);
    ScrollBar1->setRange(0, std::max(0, kScrollMax - scrollGeometry_.pageSize));
    ScrollBar1->setPageStep(std::max(1, scrollGeometry_.pageSize));
    ScrollBar1->setSingleStep(std::max(1, scrollGeometry_.smallChange));
    ScrollBar1->setEnabled(scrollGeometry_.enabled);
}

void TFormMain::ScrollBarAction(int action) {
    // The bar pages by its page size; the view pages by the large change.
    const int value = ScrollBar1->value();
    if (action == QAbstractSlider::SliderPageStepAdd) {
        ScrollBar1->setSliderPosition(value + scrollGeometry_.largeChange);
    } else if (action == QAbstractSlider::SliderPageStepSub) {
        ScrollBar1->setSliderPosition(value - scrollGeometry_.largeChange);
    }
}

void TFormMain::ScrollBarMoved() {
    if (!formReady_ || closed_) {
        return;
    }
    interaction_.Scroll(ScrollBar1->value(), MakeInteractionContext(), *this);
    // A click in the trough or on an arrow, or the wheel, is over at once; a dragged thumb
    // ends when it is let go.
    if (!ScrollBar1->isSliderDown()) {
        interaction_.EndScroll(MakeInteractionContext(), *this);
    }
}

void TFormMain::ScrollBarReleased() {
    if (!formReady_ || closed_) {
        return;
    }
    interaction_.EndScroll(MakeInteractionContext(), *this);
}

bool TFormMain::ScrollKeyDown(int key, KeyModifiers mods) {
    const ScrollKey scrollKey = ScrollKeyOf(key);
    if (scrollKey == ScrollKey::Other || !formReady_ || closed_) {
        return false;
    }
    const bool ctrlAlone = mods.ctrl && !mods.shift && !mods.alt && !mods.meta;
    const KeyScroll k = interaction_.KeyDown(scrollKey, ctrlAlone, ScrollBar1->value(),
                                             scrollGeometry_, MakeInteractionContext(), *this);
    return k.handled;
}

// The first layout shows the trigger point in the middle of the screen.
void TFormMain::CentreViewOnTrigger() {
    view_.CentreOnTrigger(CurrentViewSettings());
    ApplyScrollGeometry();
    SetScrollPosition(view_.Horizontal().scrollPosition);
}

void TFormMain::ReleaseViewAnchor() {
    view_.Horizontal().viewAnchorHold = false;
}

void TFormMain::SetScrollPosition(int position) {
    const QSignalBlocker block(ScrollBar1);
    ScrollBar1->setValue(position);
}

// The bar takes the geometry of the view in front and goes to where it stands.
void TFormMain::PlaceScrollBar() {
    ApplyScrollGeometry();
    SetScrollPosition(
        ViewScrollPosition(CurrentViewSettings(), view_.Horizontal(), view_.Spectrum()));
}

// The stacking order the interaction has just changed may have brought the
// other view to the front.
void TFormMain::SetScrollSpectrumMode(bool) {
    PlaceScrollBar();
}

void TFormMain::SetScrollHint(std::string_view hint) {
    ScrollBar1->setToolTip(Text(hint));
}

void TFormMain::SetTrigPosControlsEnabled(bool enabled) {
    LabelTrigP->setEnabled(enabled);
    UpDownTrigP->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// InteractionHost

void TFormMain::SendSettings(bool restartSampling) {
    acq_->modeDirty = true;
    if (restartSampling) {
        acq_->restartPending = true;
    }
    acq_->ApplySettingChange();
}

// Every readout is a cheap function of the settings: all are refreshed.
void TFormMain::RefreshReadout(Readout) {
    RefreshReadouts();
}

void TFormMain::RollStep() {
    acq_->TimerRollTick();
}

void TFormMain::SetPointerShape(PointerSurface surface, PointerShape shape) {
    PaintBox* box = BoxOf(surface);
    switch (shape) {
        case PointerShape::Default:
            box->unsetCursor();
            break;
        case PointerShape::HMove:
            box->setCursor(moveCursors_[0]);
            break;
        case PointerShape::VMove:
            box->setCursor(moveCursors_[1]);
            break;
        case PointerShape::HSplit:
            box->setCursor(Qt::SplitHCursor);
            break;
        case PointerShape::VSplit:
            box->setCursor(Qt::SplitVCursor);
            break;
    }
}

void TFormMain::ShowHint(PointerSurface surface, HintSource hint) {
    // The paint boxes have no hint text of their own; over a cursor line the
    // wave box borrows the hint of the up-down that moves that pair.
    QString text;
    if (hint == HintSource::UpDownDt) {
        text = UpDownDt->toolTip();
    } else if (hint == HintSource::UpDownDv) {
        text = UpDownDv->toolTip();
    }
    BoxOf(surface)->setToolTip(text);
}

void TFormMain::ToggleCursorSelection(bool pairT) {
    if (pairT) {
        A_DtcExecute();
    } else {
        A_DvcExecute();
    }
}

}  // namespace lumatrace
