// Identity of the physical drives 0..9, as read from the drives themselves.
#pragma once

#include <cstdint>

#include "framework/cstring.h"

struct DriveInfo {
  // 1: ATA identity read, every field valid; 0: opened but no ATA identity (model may
  // hold a SCSI name); -1: open failed; -2: open failed with access denied.
  int32_t status = 0;
  uint16_t sectorsPerPhysical = 0;  // logical sectors per physical sector; set with status 1
  uint16_t alignPhase = 0;          // L starts a physical sector when L ≡ alignPhase (mod spp)
  CString model;
  CString serial;
  CString firmware;
};

constexpr int kDriveCount = 10;

// Indexed by physical drive number. Readers walk from 0 and stop at the first negative
// status or after the tenth entry; they test status before any other field.
extern DriveInfo g_drives[kDriveCount];

// Identifies physical drive index (0..9) into *out.
void IdentifyDrive(int index, DriveInfo* out);
