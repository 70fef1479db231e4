#include "platform/read_only.h"

#include <cctype>
#include <cstring>

#include "platform/device_names.h"

namespace {

constexpr BYTE kInquiry = 0x12;

bool StartsNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix)
    if (std::tolower(static_cast<unsigned char>(*text)) !=
        std::tolower(static_cast<unsigned char>(*prefix)))
      return false;
  return true;
}

// The devices the program opens: a drive letter's volume, a numbered disk, a volume by its
// name (without the backslash that would name its root folder).
bool IsDevicePath(const char* path) {
  const size_t length = std::strlen(path);
  if (length == 6 && StartsNoCase(path, "\\\\.\\") &&
      std::isalpha(static_cast<unsigned char>(path[4])) && path[5] == ':')
    return true;
  if (StartsNoCase(path, "\\\\.\\PhysicalDrive"))
    return length > 17 && length <= 27 && std::strspn(path + 17, "0123456789") == length - 17;
  if (StartsNoCase(path, "\\\\?\\Volume{"))
    return path[length - 1] == '}' && std::strchr(path + 4, '\\') == nullptr;
  return false;
}

bool Separator(char c) { return c == '\\' || c == '/'; }

// A file reached through \\?\: on a drive (\\?\X:\...), a volume (\\?\Volume{...}\...) or a
// share (\\?\UNC\...), with a name after the root. Windows takes the rest as it is spelled.
bool IsFileBehindPrefix(const char* rest) {
  if (std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':' && rest[2] == '\\')
    return rest[3] != '\0';
  if (StartsNoCase(rest, "UNC\\")) return rest[4] != '\0';
  if (StartsNoCase(rest, "Volume{")) {
    const char* close = std::strchr(rest, '}');
    return close != nullptr && close[1] == '\\' && close[2] != '\0';
  }
  return false;
}

// Anything in the device spaces but a file reached through \\?\, or a device's name as the
// last part (Windows opens the device wherever such a name stands).
bool NamesDevice(const char* path) {
  if (Separator(path[0]) && Separator(path[1]) && (path[2] == '.' || path[2] == '?') &&
      (path[3] == '\0' || Separator(path[3])))
    return !(path[2] == '?' && path[3] == '\\' && path[0] == '\\' && path[1] == '\\' &&
             IsFileBehindPrefix(path + 4));
  if (path[0] == '\\' && path[1] == '?' && path[2] == '?' && path[3] == '\\') return true;
  const char* last = path + std::strlen(path);
  while (last > path && !Separator(last[-1]) && last[-1] != ':') --last;
  return IsDosDeviceName(last, std::strlen(last));
}

}  // namespace

bool IsReadOnlyOpen(LPCSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                    OpenScope scope) {
  // Any other disposition may create or empty a file; delete-on-close removes one.
  if (disposition != OPEN_EXISTING || (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0) return false;
  if (path == nullptr || *path == '\0') return false;
  if (IsDevicePath(path)) return scope == OpenScope::DevicesAndFiles;
  // Pipes, other devices, and files named behind \\.\: none is what the program reads.
  if (NamesDevice(path)) return false;
  constexpr DWORD kShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if ((share & kShareBoth) != kShareBoth) return false;
  // An open that reads no data, only asks who the file or folder is: folders open only
  // with backup semantics, which then pass over nothing this handle can read.
  if (access == 0 || access == FILE_READ_ATTRIBUTES) return true;
  return access == GENERIC_READ && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0;
}

bool IsReadOnlyRequest(DWORD code, const void* in, DWORD inSize) {
  switch (code) {
    case IOCTL_DISK_GET_PARTITION_INFO:
    case IOCTL_DISK_GET_PARTITION_INFO_EX:
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
    case IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS:
      return true;
    // The disk's partition table and its size: both only report (their setting
    // counterparts, IOCTL_DISK_SET_DRIVE_LAYOUT_EX among them, travel under other codes).
    case IOCTL_DISK_GET_DRIVE_LAYOUT_EX:
    case IOCTL_DISK_GET_DRIVE_GEOMETRY_EX:
      return true;
    case IOCTL_STORAGE_QUERY_PROPERTY: {
      // A query only reads; a set request travels under another code.
      // Read as the DWORD it is on the wire: any value can arrive, not only the enum's.
      if (in == nullptr || inSize < sizeof(STORAGE_PROPERTY_QUERY)) return false;
      DWORD type;
      std::memcpy(&type, static_cast<const BYTE*>(in) + offsetof(STORAGE_PROPERTY_QUERY, QueryType),
                  sizeof type);
      return type == PropertyStandardQuery || type == PropertyExistsQuery;
    }
    case SMART_RCV_DRIVE_DATA: {
      // The same code carries other ATA commands, among them ones that write.
      if (in == nullptr || inSize < offsetof(SENDCMDINPARAMS, bBuffer)) return false;
      SENDCMDINPARAMS request;
      std::memcpy(&request, in, offsetof(SENDCMDINPARAMS, bBuffer));
      return request.irDriveRegs.bCommandReg == ID_CMD;
    }
    case IOCTL_SCSI_PASS_THROUGH: {
      // Any SCSI command can travel here: only INQUIRY, with data flowing in, passes.
      if (in == nullptr || inSize < sizeof(SCSI_PASS_THROUGH)) return false;
      SCSI_PASS_THROUGH spt;
      std::memcpy(&spt, in, sizeof spt);
      return spt.Cdb[0] == kInquiry && spt.DataIn == SCSI_IOCTL_DATA_IN;
    }
    default:
      return false;
  }
}

bool IsReadOnlyListing(LPCSTR pattern) {
  return pattern != nullptr && *pattern != '\0' && !IsDevicePath(pattern) && !NamesDevice(pattern);
}

bool IsReadOnlyTokenAccess(DWORD access) { return access == TOKEN_QUERY; }

bool IsReadOnlyInfoClass(FILE_INFO_BY_HANDLE_CLASS infoClass) {
  return infoClass == FileStorageInfo || infoClass == FileIdInfo;
}
