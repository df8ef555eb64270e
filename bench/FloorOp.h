// FloorOp: one record operation of a batch, as the benchmark hands it to
// the floor: read the record at `offset` first (a change or delete) or not
// (an add), then write `record` there.
#ifndef EMPUPDATE_BENCH_FLOOROP_H_
#define EMPUPDATE_BENCH_FLOOROP_H_

#include <cstdint>

struct FloorOp {
  std::int32_t load;
  std::int32_t offset;
  unsigned char record[60];
};

#endif  // EMPUPDATE_BENCH_FLOOROP_H_
