#include "platform/read_only.h"

#include <cstring>

namespace {
constexpr BYTE kInquiry = 0x12;
}

bool IsReadOnlyOpen(LPCSTR path, DWORD disposition, DWORD flags) {
  // Any other disposition may create or empty a file; delete-on-close removes one.
  if (disposition != OPEN_EXISTING || (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0) return false;
  if (path == nullptr) return false;
  return std::strncmp(path, "\\\\.\\", 4) == 0 || std::strncmp(path, "\\\\?\\", 4) == 0;
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

bool IsReadOnlyTokenAccess(DWORD access) { return access == TOKEN_QUERY; }

bool IsReadOnlyInfoClass(FILE_INFO_BY_HANDLE_CLASS infoClass) { return infoClass == FileStorageInfo; }
