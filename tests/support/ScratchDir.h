// ScratchDir: a fresh temporary directory made the current directory for
// the life of the object (the data files are named relative to it), plus
// helpers to read and write whole files in it.
#ifndef EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_
#define EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "emp-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

  static void put(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string get(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::filesystem::path old_ = std::filesystem::current_path(), path_;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_
