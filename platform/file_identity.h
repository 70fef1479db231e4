// Who a file or folder is, whatever path reached it: two paths of one identity are one file
// (a link, a junction, a mount point, a name in two lists). Asked on a handle opened with
// access 0, which reads nothing and meets no other opener's sharing (a running machine's
// disk answers too).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct FileIdentity {
  uint64_t volume = 0;             // the volume's serial number
  std::array<uint8_t, 16> id{};    // FileIdInfo's 128 bits; the 64-bit index, widened
  bool operator<(const FileIdentity& o) const {
    return volume != o.volume ? volume < o.volume : id < o.id;
  }
  bool operator==(const FileIdentity& o) const { return volume == o.volume && id == o.id; }
};

// FileIdInfo (Windows 8 on; ReFS's indexes are unique only in its 128 bits), else the
// volume serial and file index; none where the path does not open.
std::optional<FileIdentity> AskFileIdentity(const std::string& path);
