#include "inspect/scan.h"

#include <algorithm>
#include <cctype>

#include "disk/boot_sector.h"
#include "inspect/drive_move.h"
#include "inspect/drive_info.h"
#include "inspect/partition_tie.h"
#include "platform/device.h"
#include "platform/sys.h"
#include "platform/volume_names.h"

std::optional<ScanRow> CScan::Step() {
  if (m_tied) {
    if (m_nextJudged < m_toJudge.size()) JudgeTied(g_drives, m_toJudge[m_nextJudged++], m_mode);
    return std::nullopt;
  }
  std::optional<ScanRow> row = Next();
  // Tying asks no device: it rides on the last volume's step; the partitions it leaves to
  // be read take a step each.
  if (VolumesDone()) {
    m_toJudge = TieWithoutReading(g_drives, m_placed, m_allPlaced, m_mode);
    m_tied = true;
  }
  return row;
}

std::optional<ScanRow> CScan::Next() {
  if (!m_started) {
    // Each scan starts from a clean table: no entry may carry a drive of an earlier run,
    // whose geometry would judge this run's volumes.
    g_drives.Clear();
    m_started = true;
  }
  if (m_cursor >= 0 && m_cursor < kDriveCount) {
    const DriveInfo& drive = g_drives.Identify(DiskNumber(static_cast<uint32_t>(m_cursor)), m_mode);
    // The first drive that does not open ends the drive phase.
    if (!drive.Opened() || m_cursor == kDriveCount - 1)
      m_cursor = 'C';
    else
      ++m_cursor;
    return std::nullopt;
  }
  if (m_cursor >= 'C' && m_cursor <= 'Z') {
    const char letter = static_cast<char>(m_cursor++);
    std::optional<ScanRow> row = ExamineLetter(letter);
    // Listing the volumes asks the mount manager, not a device: it rides on the last
    // letter's step. Each volume it lists that must be opened waits for a step of its own.
    if (letter == 'Z') FindMountedVolumes();
    return row;
  }
  if (m_nextUnexamined < m_unexamined.size()) {
    PlaceUnexamined(std::move(m_unexamined[m_nextUnexamined++]));
    return std::nullopt;
  }
  if (m_nextMounted < m_mounted.size()) return ExamineMounted(m_mounted[m_nextMounted++]);
  return std::nullopt;
}

std::optional<ScanRow> CScan::ExamineLetter(char letter) {
  const std::string root = RootPath(letter);
  m_letterTypes[letter - 'C'] = sys::GetDriveTypeA(root.c_str());
  if (m_letterTypes[letter - 'C'] != DRIVE_FIXED) return std::nullopt;
  return Examine(std::make_unique<CVolumeInfo>(letter), std::string(1, letter) + ":", {}, "");
}

std::optional<ScanRow> CScan::ExamineMounted(const MountedVolume& volume) {
  auto record = std::make_unique<CVolumeInfo>(volume.name);
  if (sys::GetDriveTypeA(record->m_root.c_str()) != DRIVE_FIXED) return std::nullopt;
  return Examine(std::move(record), volume.paths.front(), volume.paths, volume.name);
}

namespace {

// Partition tools move a partition of a basic disk whole: a volume over several pieces, one
// inside a dynamic disk's LDM partition or Storage Spaces, or one that is not all of its
// partition gets no advice. A dynamic disk made from an old disk can list its LDM
// partition at the very byte its first volume starts: the type and the length tell them
// apart.
std::optional<Advice> VolumeAdvice(const CVolumeInfo& volume) {
  if (volume.m_extents.size() != 1 || !volume.m_extents[0].disk) return std::nullopt;
  const VolumeExtent& piece = volume.m_extents[0];
  const DriveInfo& drive = g_drives[*piece.disk];
  AdviceFacts facts;
  facts.start = piece.offset;
  facts.sectorSize = SectorSize(volume.m_bytesPerSector);  // the drive's: they agree
  facts.clusterBytes = volume.m_bytesPerCluster;
  facts.formatLaysDataArea = KeepsClustersPastTables(FileSystemNamed(volume.m_fileSystem));
  if (volume.m_dataAreaOffset != CVolumeInfo::kNotDetermined)
    facts.dataOffset = Sectors(volume.m_dataAreaOffset);
  const Disk disk = drive.AsDisk();
  if (!drive.layout) return Advise(facts, disk);
  const std::vector<Partition>& partitions = drive.layout->partitions;
  const auto partition =
      std::find_if(partitions.begin(), partitions.end(),
                   [&](const Partition& p) { return p.start == piece.offset; });
  if (partition == partitions.end() || HoldsOtherVolumes(*partition) ||
      (piece.length != ByteCount(0) && piece.length != partition->length))
    return std::nullopt;
  // The partition as its volume reads it: where its data begins, its clusters.
  Partition read = *partition;
  read.dataOffset = facts.dataOffset;
  return AdvisePartition(disk, read, facts.clusterBytes, facts.formatLaysDataArea);
}

// The pieces that name their disk: what its partitions are tied by.
std::vector<VolumeExtent> PlacedPieces(const CVolumeInfo& volume) {
  std::vector<VolumeExtent> pieces;
  for (const VolumeExtent& e : volume.m_extents)
    if (e.disk) pieces.push_back(e);
  return pieces;
}
}  // namespace

std::optional<ScanRow> CScan::Examine(std::unique_ptr<CVolumeInfo> record, std::string name,
                                      std::vector<std::string> paths, std::string volumeName) {
  const int code = record->Probe(m_mode);
  if (record->m_letter != 0) volumeName = VolumeNameOf(RootPath(record->m_letter));
  if (code != CVolumeInfo::kLocal || record->m_failure != ProbeFailure::None || record->m_extents.empty()) {
    Skip(*record, std::move(name), volumeName);
    return std::nullopt;
  }

  // A disk the drive phase did not reach (behind a gap, past the tenth) is identified
  // now, once however many volumes it holds.
  for (const VolumeExtent& extent : record->m_extents) {
    if (!extent.disk) continue;
    g_drives.Identify(*extent.disk, m_mode);
    g_drives.HoldsVolume(*extent.disk);
  }

  ScanRow row;
  row.name = std::move(name);
  row.letter = record->m_letter;
  if (row.letter != 0) {
    // A lettered volume may be mounted in folders too; its root comes first in any case.
    const std::string root = RootPath(row.letter);
    paths = VolumePathNames(volumeName);
    paths.erase(std::remove(paths.begin(), paths.end(), root), paths.end());
    paths.insert(paths.begin(), root);
  }
  row.paths = std::move(paths);
  row.fileSystem = record->m_fileSystem;
  row.volumeName = volumeName;
  row.placedBy = record->m_placedBy;
  row.extents = JudgePieces(*record, g_drives);
  row.verdict = VolumeVerdict(row.extents);
  row.reason = VolumeReason(row.extents);
  row.onMiB = OnMiB(row.extents.front().start, SectorSize(record->m_bytesPerSector));
  row.alignedTo = AlignedTo(SectorSize(record->m_bytesPerSector).Of(row.extents.front().start));
  if (row.verdict == Verdict::Misaligned) row.advice = VolumeAdvice(*record);
  row.windows = record->m_windows;
  row.windowsDisagrees = Disagreement(row.windows, row.extents, row.verdict,
                                      Unweighed(*record, row.extents, g_drives));
  const PieceVerdict& first = row.extents.front();
  row.drive = first.disk;
  row.dataStart = first.dataStart;
  if (row.drive) row.driveName = g_drives[*row.drive].model;
  m_placed.push_back({PartitionHolds::Row, volumeName, row.name, row.verdict, ProbeFailure::None, 0,
                      PlacedPieces(*record),
                      VolumeRecordedSize(record->m_fileSystem, record->m_bytesPerSector)});
  row.volume = std::move(record);
  return row;
}

void CScan::Skip(const CVolumeInfo& record, std::string name, const std::string& volumeName) {
  // No row: a volume that stopped being local and fixed, or one the probe could not place.
  const ProbeFailure reason =
      record.m_failure == ProbeFailure::None ? ProbeFailure::DriveType : record.m_failure;
  // Placed before it failed, its partition is named with it.
  PlacedVolume placed{PartitionHolds::NotExamined, volumeName, name,
                      Verdict::Undetermined,       reason,     record.m_failureError,
                      PlacedPieces(record), std::nullopt};
  if (placed.pieces.empty())
    m_allPlaced = false;
  else
    m_placed.push_back(std::move(placed));
  m_skipped.push_back({std::move(name), reason, record.m_failureError});
}

void CScan::FindMountedVolumes() {
  // A volume with a drive letter was examined under it, or is not fixed; one with neither
  // a letter nor a folder (an EFI system or recovery partition) is no row, but is asked
  // where it lies, so that its partition can be named with it.
  const VolumeList list = VolumeNames();
  m_listing = {list.complete, list.error};
  m_allPlaced = m_allPlaced && list.complete;
  for (const std::string& name : list.names) {
    std::vector<std::string> paths = VolumePathNames(name);
    if (paths.empty() || std::any_of(paths.begin(), paths.end(), IsDriveRoot)) {
      if (std::optional<PlacedVolume> placed = Unexamined(name, paths))
        m_unexamined.push_back(std::move(*placed));
    } else
      m_mounted.push_back({name, std::move(paths)});
  }
}

std::optional<PlacedVolume> CScan::Unexamined(const std::string& name,
                                              const std::vector<std::string>& paths) const {
  PlacedVolume placed{PartitionHolds::NoPath, name, "", Verdict::Undetermined,
                      ProbeFailure::None,     0,    {},    std::nullopt};
  if (!paths.empty()) {
    // A fixed letter was examined under it; an optical or network one lies on no disk. Its
    // type is the one the letter phase was told.
    const std::string root = *std::find_if(paths.begin(), paths.end(), IsDriveRoot);
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    if (letter < 'C' || m_letterTypes[letter - 'C'] != DRIVE_REMOVABLE) return std::nullopt;
    placed.holds = PartitionHolds::NotFixed;
    placed.row = root.substr(0, 2);  // "E:"
  }
  return placed;
}

void CScan::PlaceUnexamined(PlacedVolume placed) {
  // Its pieces tie it to its partition: the volume is opened and asked, which reads no
  // sector but is device work (a USB volume may wake for it).
  placed.pieces = VolumePieces(placed.volumeName);
  if (placed.pieces.empty())
    m_allPlaced = false;
  else
    m_placed.push_back(std::move(placed));
}

MachineFindings CScan::Findings(std::vector<ScanRow> rows) const {
  MachineFindings found;
  found.rows = std::move(rows);
  found.skipped = m_skipped;
  found.drives = &g_drives;
  found.listing = m_listing;
  return found;
}

MachineFindings CScan::Run() {
  std::vector<ScanRow> rows;
  while (!Finished())
    if (std::optional<ScanRow> row = Step()) rows.push_back(std::move(*row));
  return Findings(std::move(rows));
}

void FindSectorSizeMoves(MachineFindings& findings, bool toPhysical4Kn) {
  findings.moves.clear();
  for (DiskNumber number : findings.drives->Listed())
    if (std::optional<SectorSizeMove> move = DriveSectorSizeMove((*findings.drives)[number], toPhysical4Kn))
      findings.moves.emplace(number.value, std::move(*move));
}
