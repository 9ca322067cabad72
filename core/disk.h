// The file system seam: the program reads and writes files only through a
// Disk, so that tests can stand in a disk of their own.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.h"

namespace velmora {

class Disk {
 public:
  virtual ~Disk() = default;
  // The whole content of a regular file of at most max_bytes bytes; the
  // error is the system's text ("No such file or directory").
  virtual Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) = 0;
};

// The real file system.
class RealDisk : public Disk {
 public:
  Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) override;
};

// "dir/name", without doubling a "/".
std::string join_path(const std::string& dir, const std::string& name);

}  // namespace velmora
