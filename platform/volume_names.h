// The system's names for volumes: volume names ("\\?\Volume{...}\") and the paths each is
// reachable by (drive roots "C:\", folders it is mounted in "C:\SQL\Data\"). Every answer
// is taken as untrusted text: names are cut to their buffers, counts are bounded.
#pragma once

#include <string>
#include <vector>

// The volumes the system lists, by their volume names as handed out, and whether the list
// is whole: it is only when the system says it has no more (ERROR_NO_MORE_FILES).
struct VolumeList {
  std::vector<std::string> names;
  bool complete = true;
  uint32_t error = 0;  // why it is not: what Windows said, or 0 for a list cut at kMostVolumes
};
constexpr size_t kMostVolumes = 4096;  // far more than a machine has
VolumeList VolumeNames();
// Every path a volume is reachable by; empty when it has none or the system does not say.
// A name without its trailing backslash is asked with it.
std::vector<std::string> VolumePathNames(const std::string& volumeName);
// The volume name of the volume at a drive root or mount folder; empty when none.
std::string VolumeNameOf(const std::string& mountPoint);
// "X:\": a drive letter's root.
bool IsDriveRoot(const std::string& path);
