#include "core/disk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

Error system_error() { return error(std::strerror(errno)); }

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Result<std::string> RealDisk::read_file(const std::string& path, std::uint64_t max_bytes) {
  // O_NONBLOCK keeps a FIFO from hanging the open; only regular files are read.
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.fd() < 0) return system_error();
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0) return system_error();
  if (S_ISDIR(info.st_mode)) return error(std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode)) return error("not a regular file");
  if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return error("file too large");
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file.fd(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return system_error();
    }
    if (n == 0) break;
    if (content.size() + static_cast<std::size_t>(n) > max_bytes) return error("file too large");
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace velmora
