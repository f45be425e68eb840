// FramePacer: pictures for records at most once per frame of the display.
// Records may arrive faster than a screen can show them; each one is still
// taken in (and averaged) as it comes, but drawing one picture per record
// would spend most of the program's time on pictures nobody sees.
#pragma once

#include <cstdint>
#include <optional>

namespace lumatrace {

class FramePacer {
  public:
    // The frame of a display refreshing `refreshHz` times a second; 60 Hz
    // when the display does not say (0 or less).
    static double FrameMsFor(double refreshHz);

    void SetFrameMs(double frameMs) { frameMs_ = frameMs; }
    double FrameMs() const { return frameMs_; }

    // What to do with the picture of a record taken in at `nowMs`: the first
    // record after a quiet frame is drawn at once; the ones that follow within
    // the frame wait for its end, where one picture shows the last of them.
    struct Decision {
        enum class Kind {
            DrawNow,
            DrawLater,   // in delayMs: the caller arms its frame timer
            AlreadyDue,  // the picture due at the frame's end will show it
        };
        Kind kind = Kind::DrawNow;
        int delayMs = 0;
    };
    Decision Request(std::uint64_t nowMs);

    // A picture was drawn at `nowMs` (for a record or anything else): what
    // was due is on show, and the next frame starts.
    void Drawn(std::uint64_t nowMs);
    // A picture is due at the end of the frame.
    bool Due() const { return due_; }

  private:
    double frameMs_ = 1000.0 / 60.0;
    std::optional<std::uint64_t> lastMs_;
    bool due_ = false;
};

}  // namespace lumatrace
