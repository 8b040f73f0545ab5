#include "firmware/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>

#include "core/last_error.h"

#ifdef _WIN32
#  include <io.h>
#else
#  include <unistd.h>
#endif

namespace qel {

namespace {

#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY | O_NOINHERIT;
#else
// O_NONBLOCK: opening a FIFO for reading would wait for a writer.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

const char* FileKind(const struct stat& status) {
  if (S_ISDIR(status.st_mode)) return "a directory";
  if (S_ISCHR(status.st_mode)) return "a character device";
#ifdef S_ISFIFO
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
#endif
#ifdef S_ISBLK
  if (S_ISBLK(status.st_mode)) return "a block device";
#endif
#ifdef S_ISSOCK
  if (S_ISSOCK(status.st_mode)) return "a socket";
#endif
  return "a special file";
}

}  // namespace

std::FILE* OpenImageFile(const char* path) {
  const int descriptor = open(path, kOpenFlags);
  if (descriptor < 0) {
    const int error = errno;
    // Windows refuses to open a directory at all: say what the path names.
    struct stat status {};
    if (stat(path, &status) == 0 && !S_ISREG(status.st_mode)) {
      return (Fail(ErrorCode::kFile, "\"%s\" is %s, not a regular file", path, FileKind(status)),
              nullptr);
    }
    return (Fail(ErrorCode::kFile, "\"%s\" cannot be opened: %s", path, std::strerror(error)),
            nullptr);
  }
  struct stat status {};
  if (fstat(descriptor, &status) != 0) {
    const int error = errno;
    close(descriptor);
    return (Fail(ErrorCode::kFile, "\"%s\" cannot be examined: %s", path, std::strerror(error)),
            nullptr);
  }
  if (!S_ISREG(status.st_mode)) {
    close(descriptor);
    return (Fail(ErrorCode::kFile, "\"%s\" is %s, not a regular file", path, FileKind(status)),
            nullptr);
  }
  std::FILE* file = fdopen(descriptor, "rb");
  if (file == nullptr) {
    const int error = errno;
    close(descriptor);
    Fail(ErrorCode::kFile, "\"%s\" cannot be read: %s", path, std::strerror(error));
  }
  return file;
}

std::unique_ptr<std::vector<std::uint8_t>> ReadImage(std::FILE* file, std::uint32_t& size,
                                                     const char* name) {
  if (file == nullptr) return (Fail(ErrorCode::kFile, "%s is not open", name), nullptr);
  long length = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  // An empty image would have the camera erase its first memory block and
  // then report success with nothing written.
  if (length < 0) return (Fail(ErrorCode::kFile, "the size of %s cannot be told", name), nullptr);
  if (length == 0) return (Fail(ErrorCode::kFile, "%s is empty", name), nullptr);
  if (static_cast<unsigned long>(length) > kLargestImage) {
    return (Fail(ErrorCode::kFile, "%s has %ld bytes, more than the %u the camera can hold", name,
                 length, static_cast<unsigned>(kLargestImage)),
            nullptr);
  }
  if (std::fseek(file, 0, SEEK_SET) != 0) {
    return (Fail(ErrorCode::kFile, "%s cannot be read from its start", name), nullptr);
  }
  const auto bytes = static_cast<std::size_t>(length);
  auto image = std::make_unique<std::vector<std::uint8_t>>(bytes + kImagePadding, 0);
  // A file that shrank, or a read error, must not send zeros as firmware.
  if (std::fread(image->data(), 1, bytes, file) != bytes) {
    return (Fail(ErrorCode::kFile, "%s could not be read whole (%ld bytes)", name, length),
            nullptr);
  }
  size = static_cast<std::uint32_t>(bytes);
  return image;
}

}  // namespace qel
