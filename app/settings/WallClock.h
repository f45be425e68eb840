// The local calendar date and time, behind an interface so that captions
// stamped with "now" can be checked in tests.
#pragma once

namespace lumatrace {

struct LocalDateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const LocalDateTime&) const = default;
};

class WallClock {
  public:
    virtual ~WallClock() = default;
    virtual LocalDateTime Now() = 0;
};

}  // namespace lumatrace
