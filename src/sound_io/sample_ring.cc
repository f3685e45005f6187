#include "sound_io/sample_ring.h"

#include <algorithm>
#include <cstring>

namespace vantorel {

bool SampleRing::Write(std::span<const int16_t> piece) {
  if (piece.size() > samples_.size() - (written_ - played_) || Pending() == piece_ends_.size()) return false;
  for (size_t done = 0; done < piece.size();) {
    const size_t at = static_cast<size_t>((written_ + done) % samples_.size());
    const size_t n = std::min(piece.size() - done, samples_.size() - at);
    std::memcpy(samples_.data() + at, piece.data() + done, n * sizeof(int16_t));
    done += n;
  }
  written_ += piece.size();
  piece_ends_[pieces_ % piece_ends_.size()] = written_;
  ++pieces_;
  return true;
}

void SampleRing::Fill(std::span<int16_t> out) {
  const size_t take = static_cast<size_t>(std::min<uint64_t>(out.size(), written_ - played_));
  for (size_t done = 0; done < take;) {
    const size_t at = static_cast<size_t>((played_ + done) % samples_.size());
    const size_t n = std::min(take - done, samples_.size() - at);
    std::memcpy(out.data() + done, samples_.data() + at, n * sizeof(int16_t));
    done += n;
  }
  played_ += take;
  // A piece is played once its last sample is (an empty one at once).
  while (played_pieces_ < pieces_ && piece_ends_[played_pieces_ % piece_ends_.size()] <= played_) ++played_pieces_;
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(take), out.end(), int16_t{0});
}

}  // namespace vantorel
