#pragma once
// Readable G726State in test failure messages.

#include <ostream>

#include "codec/g726.h"

namespace vantorel {

inline void PrintTo(const G726State& s, std::ostream* os) {
  *os << "{yl " << s.yl << ", yu " << s.yu << ", dms " << s.dms << ", dml " << s.dml << ", ap " << s.ap
      << ", a " << s.a[0] << " " << s.a[1] << ", b";
  for (int v : s.b) *os << " " << v;
  *os << ", pk " << s.pk[0] << " " << s.pk[1] << ", dq";
  for (int v : s.dq) *os << " " << v;
  *os << ", sr " << s.sr[0] << " " << s.sr[1] << ", td " << int{s.td} << "}";
}

}  // namespace vantorel
