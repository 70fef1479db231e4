// How the inspection may open devices, decided once at start-up.
#pragma once

enum class AccessMode {
  // Drives for reading and writing (the ATA identity and the SCSI INQUIRY demand both),
  // volumes for reading: administrative rights.
  Raw,
  // Drives and volumes with access 0, which any user may open: the requests that only ask
  // (the storage descriptors, the device number, the disk extents, the _EX partition
  // request) answer; nothing is read.
  QueryOnly,
};
