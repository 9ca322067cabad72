#include "core/base/disk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

Error system_error() { return error(std::strerror(errno)); }

Error not_supported() { return error("not supported by this disk"); }

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int fd() const { return fd_; }
  // Closes now; false (errno set) when the close reported an error.
  bool close() {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

class FolderHandle {
 public:
  explicit FolderHandle(DIR* dir) : dir_(dir) {}
  ~FolderHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

Status make_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return done();
  if (errno != EEXIST) return system_error();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return system_error();
  if (!S_ISDIR(info.st_mode)) return error(std::strerror(ENOTDIR));
  return done();
}

Status write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return system_error();
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return done();
}

// The file systems that cannot make hard links answer with one of these.
bool links_unsupported(int code) {
  return code == EPERM || code == EOPNOTSUPP || code == ENOSYS || code == EMLINK || code == EXDEV;
}

}  // namespace

Status Disk::create_folders(const std::string&) { return not_supported(); }
Result<NewName> Disk::write_new_file(const std::string&, std::string_view) { return not_supported(); }
Result<NewName> Disk::move_to_new_name(const std::string&, const std::string&) { return not_supported(); }
Result<std::vector<FolderEntry>> Disk::list_folder(const std::string&) { return not_supported(); }
Status Disk::remove_file(const std::string&) { return not_supported(); }

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

Status RealDisk::create_folders(const std::string& path) {
  if (path.empty()) return error(std::strerror(ENOENT));
  // Every prefix that ends before a "/" is a parent; "/" itself and doubled
  // slashes make empty prefixes, which are skipped.
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/' || path[i - 1] == '/') continue;
    const Status made = make_folder(path.substr(0, i));
    if (!made) return made;
  }
  return make_folder(path);
}

Result<NewName> RealDisk::write_new_file(const std::string& path, std::string_view content) {
  FileHandle file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (file.fd() < 0) {
    if (errno == EEXIST) return NewName::exists;
    return system_error();
  }
  Status written = write_all(file.fd(), content);
  if (written && ::fsync(file.fd()) != 0) written = system_error();
  if (written && !file.close()) written = system_error();
  if (!written) {
    file.close();
    ::unlink(path.c_str());
    return Error{written.message()};
  }
  return NewName::made;
}

Result<NewName> RealDisk::move_to_new_name(const std::string& from, const std::string& to) {
  // A hard link never replaces its target; the old name is dropped after.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return NewName::made;
  }
  if (errno == EEXIST) return NewName::exists;
  if (!links_unsupported(errno)) return system_error();
  // Without hard links: a rename that refuses to replace.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return NewName::made;
  if (errno == EEXIST) return NewName::exists;
  return system_error();
}

Result<std::vector<FolderEntry>> RealDisk::list_folder(const std::string& path) {
  FolderHandle folder(::opendir(path.c_str()));
  if (folder.get() == nullptr) return system_error();
  const int dir_fd = ::dirfd(folder.get());
  std::vector<FolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(folder.get());
    if (entry == nullptr) {
      if (errno != 0) return system_error();
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entries.push_back(FolderEntry{std::string(name), FileTime{info.st_mtim.tv_sec, info.st_mtim.tv_nsec},
                                  S_ISREG(info.st_mode)});
  }
  return entries;
}

Status RealDisk::remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return system_error();
  return done();
}

RealDisk& real_disk() {
  static RealDisk disk;
  return disk;
}

std::string join_path(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace velmora
