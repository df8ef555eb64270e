// Byte-exact codec of the 32-bit integers stored in employee.dat: two's
// complement, least significant byte first, whatever the host's own order.
// Every integer on file goes through these functions; nothing writes a host
// integer or a struct to a file.
#ifndef EMPUPDATE_DATE_LITTLEENDIAN_H_
#define EMPUPDATE_DATE_LITTLEENDIAN_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace le32 {

// Stores `value` in p[0..3].
inline void put(unsigned char* p, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  p[0] = static_cast<unsigned char>(u);
  p[1] = static_cast<unsigned char>(u >> 8);
  p[2] = static_cast<unsigned char>(u >> 16);
  p[3] = static_cast<unsigned char>(u >> 24);
}

// Returns the integer stored in p[0..3].
inline std::int32_t get(const unsigned char* p) {
  const std::uint32_t u = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                          std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  return static_cast<std::int32_t>(u);
}

// Overwrites the low `n` bytes of `value` with p[0..n-1], keeping its
// other bytes: what a read that ran out of data after n bytes leaves in a
// field. From n = 4 on, the field is read whole, as get() reads it.
inline void overlay(std::int32_t& value, const unsigned char* p,
                    std::size_t n) {
  // Whole, as almost every field is read: one load, not a byte loop.
  if (n >= 4) {
    value = get(p);
    return;
  }
  auto u = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < n; ++i) {
    u &= ~(std::uint32_t{0xFF} << (8 * i));
    u |= std::uint32_t{p[i]} << (8 * i);
  }
  value = static_cast<std::int32_t>(u);
}

}  // namespace le32

// The same for the 64-bit integers of the journal, which travels with its
// employee.dat: one load or store, swapped on a big-endian host.
namespace le64 {

inline void put(unsigned char* p, std::uint64_t value) {
  if constexpr (std::endian::native == std::endian::big) {
    value = __builtin_bswap64(value);
  }
  std::memcpy(p, &value, sizeof value);
}

inline std::uint64_t get(const unsigned char* p) {
  std::uint64_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) {
    value = __builtin_bswap64(value);
  }
  return value;
}

}  // namespace le64

#endif  // EMPUPDATE_DATE_LITTLEENDIAN_H_
