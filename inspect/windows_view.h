// Windows' own view of a volume's sectors and alignment (FILE_STORAGE_INFO, Windows 8 and
// later), and why it may differ from Tessarel's verdict.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "disk/judge.h"
#include "disk/units.h"
#include "disk/verdict.h"
#include "platform/win32types.h"

struct WindowsView {
  // STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE and STORAGE_INFO_FLAGS_ALIGNED_DEVICE;
  // none where the offset beside each is STORAGE_INFO_OFFSET_UNKNOWN, when Windows could not
  // compute it and the flag says nothing.
  std::optional<bool> partitionAligned;
  std::optional<bool> deviceAligned;
  // How far the partition's start lies into its physical sector; none where Windows does
  // not know.
  std::optional<ByteCount> partitionAlignmentOffset;
  uint32_t logicalSectorSize = 0;
  uint32_t physicalForAtomicity = 0;
  uint32_t physicalForPerformance = 0;
  uint32_t fileSystemEffective = 0;  // the unit the file system writes atomically
};

// The view in an answer; none for one that names no sector size.
std::optional<WindowsView> ReadWindowsView(const FILE_STORAGE_INFO& info);

// Why Windows and Tessarel call a row differently, the first that applies; None where they
// agree, where Windows gave no view or does not know, or where Tessarel could not judge a
// partition Windows calls misaligned.
enum class WindowsDisagrees {
  None,
  DataArea,           // FAT or exFAT: Windows judges the partition's start, not its data area
  Clusters,           // Windows does not judge clusters smaller than the physical sector
  HiddenSectors,      // the storage stack reports no physical sector beyond the logical one
  SeveralDisks,       // Windows answers once, for the largest of a volume's disks
  WindowsAligned,     // none of those: worth a trace
  WindowsMisaligned,  // Windows calls misaligned what Tessarel calls aligned: worth a trace
};
// What Tessarel weighs in a volume that Windows' view does not: a FAT or exFAT data area
// past the partition's start, and clusters smaller than the physical sector.
struct WindowsUnweighed {
  bool dataAreaPastStart = false;
  bool clustersTooSmall = false;
};
WindowsDisagrees Disagreement(const std::optional<WindowsView>& windows,
                              const std::vector<PieceVerdict>& pieces, Verdict verdict,
                              WindowsUnweighed unweighed);
