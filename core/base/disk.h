// The file system seam: the program reads and writes files only through a
// Disk, so that tests can stand in a disk of their own.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/result.h"

namespace velmora {

// A file's last-write time.
struct FileTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
  auto operator<=>(const FileTime&) const = default;
};

// One entry of a folder. Symbolic links are not followed: a link is never a
// regular file here.
struct FolderEntry {
  std::string name;
  FileTime modified;
  bool regular = false;
};

// Whether a file was made under a new name, or the name was in use.
enum class NewName { made, exists };

class Disk {
 public:
  virtual ~Disk() = default;
  // The whole content of a regular file of at most max_bytes bytes; the
  // error is the system's text ("No such file or directory").
  virtual Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) = 0;

  // The operations below fail on a disk that does not stand in for them.

  // Creates the folder and every missing parent; an existing folder is fine.
  virtual Status create_folders(const std::string& path);
  // Creates a file that does not exist yet and writes the whole content,
  // flushed to storage. `exists` when a file of that name is there already;
  // after any failure nothing is left under that name.
  virtual Result<NewName> write_new_file(const std::string& path, std::string_view content);
  // Gives the file `from` the name `to`, never replacing a file of that
  // name: `exists` then, and `from` stays as it was. After success only `to`
  // remains.
  virtual Result<NewName> move_to_new_name(const std::string& from, const std::string& to);
  // The entries of a folder (without "." and ".."); entries whose metadata
  // cannot be read are left out.
  virtual Result<std::vector<FolderEntry>> list_folder(const std::string& path);
  virtual Status remove_file(const std::string& path);
};

// The real file system.
class RealDisk : public Disk {
 public:
  Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) override;
  Status create_folders(const std::string& path) override;
  Result<NewName> write_new_file(const std::string& path, std::string_view content) override;
  Result<NewName> move_to_new_name(const std::string& from, const std::string& to) override;
  Result<std::vector<FolderEntry>> list_folder(const std::string& path) override;
  Status remove_file(const std::string& path) override;
};

// The process-wide real disk.
RealDisk& real_disk();

// "dir/name", without doubling a "/".
std::string join_path(const std::string& dir, const std::string& name);

}  // namespace velmora
