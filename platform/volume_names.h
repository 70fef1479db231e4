// The system's names for volumes: volume names ("\\?\Volume{...}\") and the paths each is
// reachable by (drive roots "C:\", folders it is mounted in "C:\SQL\Data\"). Every answer
// is taken as untrusted text: names are cut to their buffers, counts are bounded.
#pragma once

#include <string>
#include <vector>

// Every volume the system lists, by its volume name as handed out.
std::vector<std::string> VolumeNames();
// Every path a volume is reachable by; empty when it has none or the system does not say.
// A name without its trailing backslash is asked with it.
std::vector<std::string> VolumePathNames(const std::string& volumeName);
// The volume name of the volume at a drive root or mount folder; empty when none.
std::string VolumeNameOf(const std::string& mountPoint);
// "X:\": a drive letter's root.
bool IsDriveRoot(const std::string& path);
