// Pointer and keyboard interaction on the views: hover and drag of the trace markers, the
// trigger level and position markers and the cursor lines, the panel's up-down buttons and
// the horizontal scroll bar with its Ctrl keys. The main window forwards its events here with
// the current InteractionContext; the consequences come back through InteractionHost.
#pragma once

#include <array>

#include "app/display/InteractionHost.h"
#include "app/display/ScrollMapping.h"
#include "app/display/UpDownStepper.h"

namespace lumatrace {

enum class PointerButton : int { Left, Middle, Right };

// Items that can be hovered and dragged.
enum class DragItem : int {
    None,
    Trace,      // a trace marker on the Volt strip (which one: HoveredTrace/DraggedTrace)
    TrigLevel,  // the trigger level marker
    TrigPos,    // the trigger position marker
    CursorT1,
    CursorT2,
    CursorV1,
    CursorV2,
};

class ViewInteraction {
  public:
    void MouseMove(PointerSurface surface, int x, int y, const InteractionContext& ctx,
                   InteractionHost& host);
    void MouseDown(PointerSurface surface, PointerButton button, int x, int y,
                   const InteractionContext& ctx, InteractionHost& host);
    void MouseUp(PointerSurface surface, InteractionHost& host);
    // The pointer left the paint box: nothing on it is hovered any more.
    void MouseLeave(PointerSurface surface, InteractionHost& host);

    // A roll run starts: drags on the trigger level and position strips end and their
    // pointer shapes return to the default.
    void CancelStripDrags(InteractionHost& host);

    // UpDownXxxClick and UpDownXxxMouseUp of the panel.
    bool UpDownClick(const UpDownClickInfo& click, const InteractionContext& ctx,
                     InteractionHost& host);
    void UpDownRelease(UpDownControl control, InteractionHost& host);
    const UpDownStepper& Stepper() const { return stepper_; }

    // ScrollBar1Scroll: time or spectrum view by what is in front. A position past the end puts
    // the bar back to the end and leaves the view for the end-of-scroll notice.
    bool Scroll(int position, const InteractionContext& ctx, InteractionHost& host);
    // The bar's end-of-scroll notice, sent when the user lets go of it (a key, the thumb, a
    // click in the trough or on an arrow): the handler runs again at the position the bar was
    // left at. That differs from the one just handled only when Scroll put the bar back from
    // beyond the end, and only then does anything move: the view comes to the end.
    bool EndScroll(const InteractionContext& ctx, InteractionHost& host);
    // The main window's key handler; runs before the control panel's. When the result is
    // handled the bar has been moved to its position and the view scrolled, the end-of-scroll
    // notice included.
    KeyScroll KeyDown(ScrollKey key, bool ctrlAlone, int barPosition,
                      const ScrollGeometry& geometry, const InteractionContext& ctx,
                      InteractionHost& host);

    // What the markers draw highlighted (hovered or dragged).
    bool TraceHighlighted(int trace) const;
    bool TrigLevelHighlighted() const;
    bool TrigPosHighlighted() const;

    DragItem Hovered(PointerSurface surface) const { return hover_[Index(surface)]; }
    int HoveredTrace() const { return hoverTrace_; }
    DragItem Dragged() const { return drag_; }
    int DraggedTrace() const { return dragTrace_; }

  private:
    static int Index(PointerSurface s) { return static_cast<int>(s); }

    // Hit tests; -1 / None when nothing is in reach.
    std::array<bool, 3> TracesInReach(int y, const InteractionContext& ctx) const;
    int FrontTraceInReach(int x, int y, const InteractionContext& ctx) const;
    bool TrigLevelInReach(int x, int y, const InteractionContext& ctx) const;
    bool TrigPosInReach(int x, int y, const InteractionContext& ctx) const;
    DragItem CursorInReach(int x, int y, const InteractionContext& ctx) const;

    void UpdateHover(PointerSurface surface, int x, int y, const InteractionContext& ctx,
                     InteractionHost& host);
    void ShowHover(PointerSurface surface, InteractionHost& host);
    void RefreshHoverAfterStep(UpDownControl control, const InteractionContext& ctx,
                               InteractionHost& host);
    void Drag(int x, int y, const InteractionContext& ctx, InteractionHost& host);
    void StartTraceDrag(int x, int y, const InteractionContext& ctx, InteractionHost& host);
    void StartCursorDrag(DragItem item, int x, int y, const InteractionContext& ctx,
                         InteractionHost& host);

    UpDownStepper stepper_;
    int scrollSetBack_ = -1;  // where the last Scroll put the bar back to, -1 when it did not

    std::array<DragItem, kPointerSurfaceCount> hover_{};
    int hoverTrace_ = -1;
    std::array<PointerShape, kPointerSurfaceCount> shape_{};
    std::array<HintSource, kPointerSurfaceCount> hint_{};
    struct PointerAt {
        bool inside = false;
        int x = 0;
        int y = 0;
    };
    std::array<PointerAt, kPointerSurfaceCount> pointer_{};

    DragItem drag_ = DragItem::None;
    int dragTrace_ = -1;
    std::array<int, kTraceCount> traceGrab_{};
    int grab_ = 0;  // item pixel - pointer pixel at the press, for the dragged item
};

}  // namespace lumatrace
