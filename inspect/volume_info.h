// What the alignment verdict needs to know about the volume behind one drive letter.
#pragma once

#include <cstdint>

class CVolumeInfo {
 public:
  explicit CVolumeInfo(char letter);

  // Classifies the drive and reads its geometry; for a volume that is not optical it
  // also runs the device probe. Returns 0 (not usable), 1 (optical), 3 (local
  // removable or fixed) or 7 (remote).
  int Probe();

  uint32_t GetBytesPerSector() const { return m_bytesPerSector; }
  uint32_t GetBytesPerCluster() const { return m_bytesPerCluster; }
  int32_t GetDriveIndex() const { return m_driveIndex; }

  // The volume sector at which cluster (0 = first of the data area) begins.
  uint64_t ClusterToSector(uint64_t cluster) const;
  // The drive sector at which the data area begins; all ones when not determined.
  uint64_t GetDataStartSector() const;

  // Sector numbers are 64-bit: disks past 2 TiB have partitions beyond sector 2^32.
  static constexpr uint64_t kNotDetermined = ~uint64_t{0};
  static constexpr uint64_t kNoDataStart = ~uint64_t{0};
  // The drive number of a volume that none of drives 0..9 holds.
  static constexpr int32_t kNoTableDrive = 10;

  bool m_probed;
  bool m_optical;
  bool m_remote;
  uint32_t m_bytesPerSector;
  uint32_t m_bytesPerCluster;
  uint64_t m_startSector;
  uint64_t m_dataAreaOffset;
  int32_t m_driveIndex;  // 0..9; -1 not determined; 10 when none of 0..9 holds it
  char m_letter;

 private:
  void ProbeDevice(char letter);
};
