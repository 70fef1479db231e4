#include "app/metrics_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string ErrnoWords(int error) {
  return error != 0 ? std::strerror(error) : "the write failed";
}

// Over the file there: MoveFileExA replaces it in one step on the same volume.
bool Replace(const std::string& from, const std::string& to, std::string* why) {
#ifdef _WIN32
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *why = "Windows error " + std::to_string(GetLastError());
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *why = ErrnoWords(errno);
  return false;
#endif
}

}  // namespace

bool WriteReplacing(const std::string& path, const std::string& bytes, std::string* why) {
  const std::string temporary = path + ".tmp";
  errno = 0;
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *why = ErrnoWords(errno);
    return false;
  }
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
  const int error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!wrote || !flushed || !closed) {
    *why = ErrnoWords(error);
    std::remove(temporary.c_str());
    return false;
  }
  if (Replace(temporary, path, why)) return true;
  std::remove(temporary.c_str());
  return false;
}
