// FuzzDir: makes a private temporary directory the current one, once per
// fuzzing process, and removes it at exit; the data files live there.
#ifndef EMPUPDATE_TESTS_FUZZ_FUZZDIR_H_
#define EMPUPDATE_TESTS_FUZZ_FUZZDIR_H_

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline void enterFuzzDir() {
  // Kept in static storage that outlives the exit handler which uses it.
  static char dir[4096];
  if (dir[0] != '\0') return;
  const std::string pattern =
      (std::filesystem::temp_directory_path() / "empfuzz-XXXXXX").string();
  pattern.copy(dir, sizeof dir - 1);
  if (::mkdtemp(dir) == nullptr) std::abort();
  std::filesystem::current_path(dir);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  });
}

inline void putFile(const char* name, const void* data, std::size_t size) {
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(static_cast<const char*>(data), std::streamsize(size));
}

inline std::string getFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

#endif  // EMPUPDATE_TESTS_FUZZ_FUZZDIR_H_
