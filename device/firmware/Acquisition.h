// Timing of one acquisition: when the pre-trigger memory is full, when the
// trigger comes (searched on the trigger path's signal), where the samples
// lie in time, and what status and sample count the instrument reports at
// any instant. Plain computations on instrument time; no clock, no locks.
#pragma once

#include <cstdint>
#include <limits>

#include "device/firmware/FrontEnd.h"
#include "device/firmware/SignalModel.h"

namespace lumatrace::device {

inline constexpr Picoseconds kNever = std::numeric_limits<Picoseconds>::max();

// Status codes reported by GET_STATUS.
enum StatusCode : uint32_t {
    kStatusIdle = 0,
    kStatusPreTrigger = 1,
    kStatusWaiting = 2,
    kStatusDelay = 3,
    kStatusTriggered = 6,
    kStatusTriggeredComplete = 7,
    kStatusAuto = 10,
    kStatusAutoComplete = 11,
};

struct TriggerCondition {
    const CompiledSignal* path = nullptr;  // in the source's code scale
    double level = 512.0;                  // code
    bool falling = false;
    uint32_t pulseCondition = 0;  // 0 edge, 1 preceding pulse under the width, 2 at least the width
    Picoseconds pulseWidth = 0;
};

// The first crossing of the level with the chosen slope at or after `from`
// (and not after `until`) that meets the pulse condition, the pulse being
// the time since the previous crossing the other way. kNever if none.
Picoseconds findTriggerEvent(const TriggerCondition& c, Picoseconds from, Picoseconds until);

struct RecordPlan {
    Picoseconds start = 0;  // START received
    Picoseconds dt = 0;
    uint32_t length = 0;      // N
    uint32_t pretrigger = 0;  // P
    bool equivalentTime = false;
    Picoseconds armed = 0;         // pre-trigger memory full
    Picoseconds event = kNever;    // trigger condition met
    Picoseconds trigger = kNever;  // trigger point (event + delay, or the auto-trigger)
    bool autoTriggered = false;
    uint32_t phase = 0;                // sample P lies at trigger + (phase - P%100 in ET) x dt/100
    Picoseconds firstSample = kNever;  // time of index 0 once triggered
    Picoseconds complete = kNever;     // time of index N - 1

    uint32_t statusAt(Picoseconds t) const;
    uint32_t countAt(Picoseconds t) const;
};

// Plans a record started at `start`. `autoWait` is how long trigger mode
// auto waits for a trigger once armed; `phase` (0..99) is the sample
// clock's offset against the trigger, random per pass on the instrument.
RecordPlan planRecord(const AcquisitionMode& mode, const CompiledSignal& triggerPath,
                      Picoseconds start, Picoseconds autoWait, uint32_t phase);

// Samples of a uniform grid: index i at first + i x dt for i < valid.
struct SampleGrid {
    Picoseconds first = 0;
    Picoseconds dt = 1;
    uint32_t valid = 0;
};

// What the record memory holds at instant t (the last `count` samples
// before the trigger, or the trigger-aligned record).
SampleGrid heldSamples(const RecordPlan& plan, Picoseconds t);

// Roll: continuous sampling at start + (k + 1) x dt, k = 0, 1, ...; the
// memory keeps the newest `length` samples not yet read.
struct RollPlan {
    Picoseconds start = 0;
    Picoseconds dt = 0;
    uint32_t length = 0;
    int64_t consumed = 0;  // samples handed out so far, counting dropped ones

    int64_t producedAt(Picoseconds t) const;
    // Samples waiting at t; drops the oldest beyond the memory size.
    uint32_t availableAt(Picoseconds t);
    // Takes up to n of the oldest waiting samples.
    SampleGrid take(uint32_t n, Picoseconds t);
};

}  // namespace lumatrace::device
