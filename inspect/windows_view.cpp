#include "inspect/windows_view.h"

std::optional<WindowsView> ReadWindowsView(const FILE_STORAGE_INFO& info) {
  if (info.LogicalBytesPerSector == 0 || info.PhysicalBytesPerSectorForAtomicity == 0)
    return std::nullopt;
  WindowsView view;
  // Each flag means something only beside an offset Windows could compute
  // (FILE_STORAGE_INFO's documentation: STORAGE_INFO_OFFSET_UNKNOWN).
  if (info.ByteOffsetForPartitionAlignment != STORAGE_INFO_OFFSET_UNKNOWN) {
    view.partitionAligned = (info.Flags & STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE) != 0;
    view.partitionAlignmentOffset = ByteCount(info.ByteOffsetForPartitionAlignment);
  }
  if (info.ByteOffsetForSectorAlignment != STORAGE_INFO_OFFSET_UNKNOWN)
    view.deviceAligned = (info.Flags & STORAGE_INFO_FLAGS_ALIGNED_DEVICE) != 0;
  view.logicalSectorSize = info.LogicalBytesPerSector;
  view.physicalForAtomicity = info.PhysicalBytesPerSectorForAtomicity;
  view.physicalForPerformance = info.PhysicalBytesPerSectorForPerformance;
  view.fileSystemEffective = info.FileSystemEffectivePhysicalBytesPerSectorForAtomicity;
  return view;
}

WindowsDisagrees Disagreement(const std::optional<WindowsView>& windows,
                              const std::vector<PieceVerdict>& pieces, Verdict verdict,
                              WindowsUnweighed unweighed) {
  if (!windows || pieces.empty() || !windows->partitionAligned.has_value())
    return WindowsDisagrees::None;
  if (!*windows->partitionAligned)
    return verdict == Verdict::Aligned ? WindowsDisagrees::WindowsMisaligned
                                       : WindowsDisagrees::None;
  if (verdict == Verdict::Aligned) return WindowsDisagrees::None;
  const PieceVerdict& first = pieces.front();
  // Windows judges where the partition starts; a FAT or exFAT volume's clusters begin past
  // its tables, where Tessarel looks: off the grid, or not read (without rights), when that
  // is why it is undetermined.
  const bool dataOff = first.dataStart ? first.bytesPastPhysicalStart &&
                                             *first.bytesPastPhysicalStart != ByteCount(0)
                                       : verdict == Verdict::Undetermined;
  if (unweighed.dataAreaPastStart && dataOff) return WindowsDisagrees::DataArea;
  if (unweighed.clustersTooSmall) return WindowsDisagrees::Clusters;
  if (windows->physicalForAtomicity <= windows->logicalSectorSize)
    return WindowsDisagrees::HiddenSectors;
  if (pieces.size() > 1) return WindowsDisagrees::SeveralDisks;
  return WindowsDisagrees::WindowsAligned;
}
