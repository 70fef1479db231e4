#include "platform/file_identity.h"

#include <cstring>

#include "platform/sys.h"

std::optional<FileIdentity> AskFileIdentity(const std::string& path) {
  // Backup semantics: a folder opens only with them, and with access 0 they grant nothing.
  HANDLE handle = sys::CreateFileA(path.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileIdentity> identity;
  FILE_ID_INFO id;
  std::memset(&id, 0, sizeof id);
  BY_HANDLE_FILE_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  if (sys::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) {
    identity = FileIdentity{};
    identity->volume = id.VolumeSerialNumber;
    std::memcpy(identity->id.data(), id.FileId.Identifier, identity->id.size());
  } else if (sys::GetFileInformationByHandle(handle, &info)) {
    identity = FileIdentity{};
    identity->volume = info.dwVolumeSerialNumber;
    const uint64_t index = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    std::memcpy(identity->id.data(), &index, sizeof index);
  }
  sys::CloseHandle(handle);
  return identity;
}
