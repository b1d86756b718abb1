// What the Wine benchmark drivers share: message boxes that never wait, a millisecond clock
// and the median of the rounds.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Services.h"

namespace mt::bench {

// Message boxes that never wait for anyone: the text goes to the error stream.
class SilentMessages : public MessageBoxes {
 public:
  int Show(WindowRef, const std::string& text, const std::string&, unsigned) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return 1;
  }
  void Beep() override {}
};

// Milliseconds on the performance counter.
inline double NowMs() {
  static const LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace mt::bench
