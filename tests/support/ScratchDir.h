// ScratchDir: a fresh temporary directory made the current directory for
// the life of the object (the data files are named relative to it), plus
// helpers to read and write whole files in it and to list it.
#ifndef EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_
#define EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
    std::error_code ignored;  // a case may have closed the folder
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
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
  // Every file of the current directory: its type and, for a small
  // regular file, its bytes.
  static std::map<std::string, std::string> listing() {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(".")) {
      const auto type = fs::symlink_status(e.path()).type();
      std::string& v = files[e.path().filename().string()];
      v = std::to_string(static_cast<int>(type));
      if (type == fs::file_type::regular && fs::file_size(e.path()) < 65536)
        v += get(e.path());
    }
    return files;
  }

 private:
  std::filesystem::path old_ = std::filesystem::current_path(), path_;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_SCRATCHDIR_H_
