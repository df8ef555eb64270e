#include "RecordReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "Employee.h"

namespace {

// A block is a whole number of records and of pages: the kernel's copy
// runs many times slower on some processors when its source and
// destination lie a few bytes apart within a page.
constexpr std::int64_t kBlock = 2048, kWindow = 16, kPage = 4096;
constexpr std::size_t kBytes = kBlock * Employee::kRecordBytes;
static_assert(kBytes % kPage == 0);

}  // namespace

RecordReader::RecordReader(RecordFile& file, std::int64_t count,
                           std::string name)
    : file_(file),
      count_(count),
      name_(std::move(name)),
      buffer_(static_cast<unsigned char*>(std::aligned_alloc(kPage, kBytes))) {
  if (!buffer_) throw std::bad_alloc();
}

const unsigned char* RecordReader::record(std::int64_t n) {
  constexpr std::int64_t size = Employee::kRecordBytes;
  if (n >= first_ && n < first_ + held_) {
    return buffer_.get() + (n - first_) * size;
  }
  const bool onward = n == first_ + held_;
  const std::int64_t start = onward ? n : n - n % kWindow;
  const std::int64_t wanted =
      std::min(onward ? kBlock : kWindow, count_ - start);
  file_.seek(start * size);
  const std::int64_t got =
      file_.read(buffer_.get(), static_cast<std::size_t>(wanted * size));
  first_ = start;
  held_ = got < 0 ? 0 : got / size;
  if (got < 0) {
    throw Failure{name_,
                  std::string("cannot read: ") + std::strerror(file_.error())};
  }
  if (n >= first_ + held_) {
    throw Failure{name_, "cannot read: the file shrank while it was read"};
  }
  return buffer_.get() + (n - first_) * size;
}
