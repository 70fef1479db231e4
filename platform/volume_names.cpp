#include "platform/volume_names.h"

#include <cctype>

#include "platform/sys.h"

namespace {

// A volume name is 49 characters; the system's paths are at most 32767 characters long,
// and there are far fewer volumes than this. Past these a count is no answer to trust.
constexpr DWORD kNameChars = MAX_PATH;
constexpr DWORD kMostPathChars = 1u << 16;

// The volume search, closed on every path.
class VolumeSearch {
 public:
  explicit VolumeSearch(char* first) : m_find(sys::FindFirstVolumeA(first, kNameChars)) {}
  ~VolumeSearch() {
    if (IsOpen()) sys::FindVolumeClose(m_find);
  }
  VolumeSearch(const VolumeSearch&) = delete;
  VolumeSearch& operator=(const VolumeSearch&) = delete;
  bool IsOpen() const { return m_find != INVALID_HANDLE_VALUE; }
  bool Next(char* name) { return sys::FindNextVolumeA(m_find, name, kNameChars) != FALSE; }

 private:
  HANDLE m_find;
};

}  // namespace

VolumeList VolumeNames() {
  VolumeList list;
  char name[kNameChars + 1] = {};
  VolumeSearch search(name);
  if (!search.IsOpen()) {
    // No volume at all is a whole list too.
    const DWORD error = sys::GetLastError();
    list.complete = error == ERROR_NO_MORE_FILES;
    list.error = list.complete ? 0 : error;
    return list;
  }
  do {
    name[kNameChars] = '\0';
    if (list.names.size() == kMostVolumes) {
      list.complete = false;  // one more than it takes
      return list;
    }
    list.names.emplace_back(name);
  } while (search.Next(name));
  const DWORD error = sys::GetLastError();
  list.complete = error == ERROR_NO_MORE_FILES;
  list.error = list.complete ? 0 : error;
  return list;
}

std::vector<std::string> VolumePathNames(const std::string& volumeName) {
  std::string name = volumeName;
  if (name.empty() || name.back() != '\\') name += '\\';
  // Room for one path first; a volume in many folders asks for more, once.
  DWORD size = MAX_PATH + 1;
  std::vector<char> list;
  for (int attempt = 0; attempt < 2; ++attempt) {
    list.assign(size + 2, '\0');  // the two extra zeros end the list whatever comes back
    DWORD needed = 0;
    if (sys::GetVolumePathNamesForVolumeNameA(name.c_str(), list.data(), size, &needed)) break;
    if (attempt == 1 || sys::GetLastError() != ERROR_MORE_DATA || needed <= size ||
        needed > kMostPathChars)
      return {};
    size = needed;
  }
  std::vector<std::string> paths;
  for (const char* p = list.data(); *p != '\0'; p += paths.back().size() + 1) paths.emplace_back(p);
  return paths;
}

std::string VolumeNameOf(const std::string& mountPoint) {
  char name[kNameChars + 1] = {};
  if (!sys::GetVolumeNameForVolumeMountPointA(mountPoint.c_str(), name, kNameChars)) return {};
  name[kNameChars] = '\0';
  return name;
}

bool IsDriveRoot(const std::string& path) {
  return path.size() == 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         path[2] == '\\';
}
