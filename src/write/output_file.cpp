// Writing an output file without ever losing one: what the path names is
// examined first (inputs, links, special files), then the bytes go either
// straight into a stream-like file or through a temporary file that is
// renamed over the target.

#include "write/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "core/exception.hpp"
#include "core/messages.hpp"

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
  throw Exception(message::cannot_write(path, reason));
}

[[noreturn]] void fail_with(const std::string& path, int error) { fail(path, std::strerror(error)); }

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// How the bytes reach what the path names.
struct Target {
  enum Kind {
    REPLACE,   // a regular file or a new name: temporary file, then rename
    OPEN,      // a FIFO or a character device: opened and written into
    STANDARD,  // this process's standard output or error: written into
  };
  Kind kind = REPLACE;
  int descriptor = -1;    // STANDARD: 1 or 2
  std::string directory;  // REPLACE: the directory that holds the file
  std::string name;       // REPLACE: its name there
  bool exists = false;    // REPLACE: a file of that name is there
  struct stat status {};  // what the path names, when it exists
};

std::string directory_part(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_part(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows the symbolic links of the path's last component until a name
// that is not a link, and fills in where that name lives. Links inside the
// directory part are left to the kernel.
void locate(const std::string& path, Target& target) {
  std::string current = path;
  for (unsigned hops = 0;; ++hops) {
    target.directory = directory_part(current);
    target.name = name_part(current);
    if (target.name.empty() || target.name == "." || target.name == "..")
      fail_with(path, EISDIR);
    struct stat status;
    if (::lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) fail_with(path, errno);
      struct stat directory;
      if (::stat(target.directory.c_str(), &directory) != 0) fail_with(path, errno);
      if (!S_ISDIR(directory.st_mode)) fail_with(path, ENOTDIR);
      target.exists = false;
      return;
    }
    if (!S_ISLNK(status.st_mode)) {
      target.exists = true;
      return;
    }
    if (hops == 40) fail_with(path, ELOOP);
    std::string link(static_cast<size_t>(status.st_size > 0 ? status.st_size : 255) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), &link[0], link.size());
    if (length < 0) fail_with(path, errno);
    if (static_cast<size_t>(length) == link.size()) fail_with(path, ENAMETOOLONG);
    link.resize(static_cast<size_t>(length));
    current = link[0] == '/' ? link : target.directory + "/" + link;
  }
}

// Decides how `path` is written, refusing what must not be.
Target examine(const std::string& path, const std::vector<RunFile>& kept) {
  if (path.empty()) fail_with(path, ENOENT);
  Target target;
  if (::stat(path.c_str(), &target.status) != 0) {
    // Nothing there yet (or a link to nothing): a new file, if its
    // directory exists.
    if (errno != ENOENT) fail_with(path, errno);
    locate(path, target);
    if (target.exists) fail_with(path, ENOENT);  // appeared meanwhile: try again later
    if (::access(target.directory.c_str(), W_OK) != 0) fail_with(path, errno);
    return target;
  }
  const mode_t type = target.status.st_mode & S_IFMT;
  if (type == S_IFDIR) fail_with(path, EISDIR);
  // Writing into a terminal or /dev/null loses nothing; every other input
  // would be destroyed or fed its own output.
  if (type != S_IFCHR) {
    for (const RunFile& other : kept) {
      struct stat status;
      const int found = other.name == "-" ? ::fstat(STDIN_FILENO, &status)
                                          : ::stat(other.name.c_str(), &status);
      if (found == 0 && same_file(status, target.status))
        throw Exception(message::output_is_other_file(path, other.role));
    }
  }
  for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat status;
    if (::fstat(descriptor, &status) == 0 && same_file(status, target.status)) {
      target.kind = Target::STANDARD;
      target.descriptor = descriptor;
      return target;
    }
  }
  if (type == S_IFIFO || type == S_IFCHR) {
    target.kind = Target::OPEN;
    if (::access(path.c_str(), W_OK) != 0) fail_with(path, errno);
    return target;
  }
  if (type != S_IFREG) fail(path, "not a regular file, FIFO or character device");
  locate(path, target);
  if (!target.exists) fail_with(path, ENOENT);  // went away meanwhile
  if (::access(target.directory.c_str(), W_OK) != 0) fail_with(path, errno);
  return target;
}

// A stream buffer over a file descriptor, in blocks, that remembers the
// first failed write's errno instead of losing it in the stream's failbit.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int descriptor) : descriptor_(descriptor) {
    setp(block_, block_ + sizeof block_);
  }
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }
  int sync() override { return drain() ? 0 : -1; }

 private:
  bool drain() {
    const char* data = pbase();
    size_t size = static_cast<size_t>(pptr() - pbase());
    setp(block_, block_ + sizeof block_);
    while (size > 0 && !error_) {
      const ssize_t written = ::write(descriptor_, data, size);
      if (written < 0) {
        if (errno != EINTR) error_ = errno;
        continue;
      }
      data += written;
      size -= static_cast<size_t>(written);
    }
    return !error_;
  }

  int descriptor_;          // open for writing, owned by the caller
  int error_ = 0;           // errno of the first failed write, 0 while none failed
  char block_[1 << 16];     // bytes collected before a write
};

// Runs `produce` on a stream into `descriptor`; 0 or the errno of the
// first failed write.
int produce_into(int descriptor, const std::function<void(std::ostream&)>& produce) {
  DescriptorBuffer buffer(descriptor);
  std::ostream out(&buffer);
  produce(out);
  out.flush();
  if (buffer.error()) return buffer.error();
  return out ? 0 : EIO;
}

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  int get() const { return descriptor_; }
  // Closes now; false with errno set when closing reports an error.
  bool close() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return ::close(descriptor) == 0;
  }

 private:
  int descriptor_;
};

// The temporary file beside the target, "<dir>/.zel-<pid>-<k>" for the
// first free k: short, so every valid target name works. Removed by the
// destructor unless renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(int directory) : directory_(directory) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file; false with errno set when that fails.
  bool create() {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      name_ = ".zel-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
      descriptor_ = ::openat(directory_, name_.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
      if (descriptor_ >= 0) return true;
      if (errno != EEXIST) break;
    }
    name_.clear();
    return false;
  }
  int descriptor() const { return descriptor_; }

  // Flushes to disk, closes and renames over `name`; false with errno set.
  bool commit(const std::string& name) {
    assert(descriptor_ >= 0 && !name_.empty());
    if (::fsync(descriptor_) != 0) return false;
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0) return false;
    if (::renameat(directory_, name_.c_str(), directory_, name.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

  ~TemporaryFile() {
    const int saved = errno;
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!name_.empty()) ::unlinkat(directory_, name_.c_str(), 0);
    errno = saved;
  }

 private:
  int directory_;        // where it lives, open; not owned
  std::string name_;     // its name while it exists, empty otherwise
  int descriptor_ = -1;  // open descriptor of it, -1 once closed
};

void replace(const std::string& path, const Target& target,
             const std::function<void(std::ostream&)>& produce) {
  Descriptor directory(::open(target.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() < 0) fail_with(path, errno);
  TemporaryFile temporary(directory.get());
  if (!temporary.create()) fail_with(path, errno);
  if (target.exists) {
    // Keep the owner where this process may (it clears the set-id bits),
    // then the permission bits.
    if (::fchown(temporary.descriptor(), target.status.st_uid, target.status.st_gid) != 0) {
      // Not permitted for another user's file: the new file is ours.
    }
    if (::fchmod(temporary.descriptor(), target.status.st_mode & 07777) != 0)
      fail_with(path, errno);
  }
  if (const int error = produce_into(temporary.descriptor(), produce)) fail_with(path, error);
  if (!temporary.commit(target.name)) fail_with(path, errno);
  // The rename itself reaches the disk with its directory.
  ::fsync(directory.get());
}

}  // namespace

void check_output_file(const std::string& path, const std::vector<RunFile>& kept) {
  examine(path, kept);
}

void write_output_file(const std::string& path, const std::vector<RunFile>& kept,
                       const std::function<void(std::ostream&)>& produce) {
  const Target target = examine(path, kept);
  switch (target.kind) {
    case Target::REPLACE:
      replace(path, target, produce);
      return;
    case Target::STANDARD: {
      // What the process printed so far comes first.
      std::cout.flush();
      std::cerr.flush();
      std::fflush(nullptr);
      if (const int error = produce_into(target.descriptor, produce)) fail_with(path, error);
      return;
    }
    case Target::OPEN: {
      Descriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
      if (file.get() < 0) fail_with(path, errno);
      if (const int error = produce_into(file.get(), produce)) fail_with(path, error);
      if (!file.close()) fail_with(path, errno);
      return;
    }
  }
}
