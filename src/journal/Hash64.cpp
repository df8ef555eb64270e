#include "Hash64.h"

#include <algorithm>
#include <cstring>

#include "LittleEndian.h"

namespace {

constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kP3 = 0x165667B19E3779F9ULL;

std::uint64_t rotl(std::uint64_t x, int r) {
  return (x << r) | (x >> (64 - r));
}

std::uint64_t round(std::uint64_t lane, std::uint64_t w) {
  return rotl(lane + w * kP2, 31) * kP1;
}

}  // namespace

Hash64::Hash64(std::uint64_t seed)
    : lane_{seed + kP1 + kP2, seed + kP2, seed, seed - kP1} {}

void Hash64::mix(const unsigned char* s) {
  for (int i = 0; i < 4; ++i) lane_[i] = round(lane_[i], le64::get(s + 8 * i));
}

void Hash64::add(const void* data, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(data);
  total_ += n;
  if (held_ > 0) {
    const std::size_t take = std::min(n, kStripe - held_);
    std::memcpy(pending_ + held_, p, take);
    held_ += take;
    p += take;
    n -= take;
    if (held_ < kStripe) return;
    mix(pending_);
    held_ = 0;
  }
  for (; n >= kStripe; p += kStripe, n -= kStripe) mix(p);
  std::memcpy(pending_, p, n);
  held_ = n;
}

std::uint64_t Hash64::value() const {
  std::uint64_t h = rotl(lane_[0], 1) + rotl(lane_[1], 7) + rotl(lane_[2], 12) +
                    rotl(lane_[3], 18);
  for (std::uint64_t lane : lane_) h = (h ^ round(0, lane)) * kP1 + kP3;
  h += total_;
  // The tail, by words, then a byte at a time, each in its place.
  std::size_t i = 0;
  for (; i + 8 <= held_; i += 8)
    h = rotl(h ^ round(0, le64::get(pending_ + i)), 27) * kP1 + kP3;
  for (; i < held_; ++i) h = rotl(h ^ (pending_[i] * kP3), 11) * kP1;
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  return h ^ (h >> 32);
}
