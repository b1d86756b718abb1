// Where the reminder window starts and how it rises: its top edge starts at the work area's
// height and climbs 5 pixels a tick until its lower edge is at or above that line. The work
// area's height and width serve as coordinates, which puts the window in the lower-right
// corner for a taskbar at the bottom or at the right.
#pragma once

namespace mt {

struct ReminderStart {
  int left;
  int top;
};

inline constexpr int kRiseStep = 5;
inline constexpr int kRightGap = 5;

inline ReminderStart ReminderStartPosition(int workWidth, int workHeight, int outerWidth) {
  return {workWidth - outerWidth - kRightGap, workHeight};
}

// One tick: the new top; `done` tells whether the rise stops with this tick.
inline int ReminderRiseStep(int top, int outerHeight, int workHeight, bool& done) {
  top -= kRiseStep;
  done = workHeight >= top + outerHeight;
  return top;
}

}  // namespace mt
