// Identity of the physical drives 0..9, as read from the drives themselves.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// Where a drive's physical-sector geometry came from.
enum class GeometrySource {
  None,               // nothing usable was reported: no grid to judge by
  AtaIdentity,        // IDENTIFY DEVICE words 106 and 209
  StorageDescriptor,  // the storage stack's alignment descriptor (NVMe, USB, SAS)
};

struct DriveInfo {
  // 1: ATA identity read, every field valid; 0: opened but no ATA identity (model may
  // hold a SCSI name); -1: open failed; -2: open failed with access denied.
  int32_t status = 0;
  uint16_t sectorsPerPhysical = 0;  // logical sectors per physical sector
  uint16_t alignPhase = 0;          // L starts a physical sector when L ≡ alignPhase (mod spp)
  CString model;
  CString serial;
  CString firmware;
  GeometrySource geometry = GeometrySource::None;
  uint32_t bytesPerLogicalSector = 0;  // as the drive reports it; 0 when it reported none

  // The verdict may judge volumes of this drive against its grid.
  bool HasGeometry() const { return status >= 0 && geometry != GeometrySource::None; }
  // Logical sector size times sectors per physical sector; 0 when not known.
  uint64_t PhysicalSectorBytes() const {
    return static_cast<uint64_t>(bytesPerLogicalSector) * sectorsPerPhysical;
  }
};

constexpr int kDriveCount = 10;

// Indexed by physical drive number. Readers walk from 0 and stop at the first negative
// status or after the tenth entry; they test status before any other field.
extern DriveInfo g_drives[kDriveCount];

// Identifies physical drive index (0..9) into *out.
void IdentifyDrive(int index, DriveInfo* out);
