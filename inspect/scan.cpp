#include "inspect/scan.h"

#include "inspect/drive_info.h"
#include "platform/device.h"
#include "platform/sys.h"

std::optional<ScanRow> CScan::Step() {
  if (!m_started) {
    // Each scan starts from a clean table: no entry may carry a drive of an earlier run,
    // whose geometry would judge this run's volumes.
    g_drives.Clear();
    m_started = true;
  }
  if (m_cursor >= 0 && m_cursor < kDriveCount) {
    const DriveInfo& drive = g_drives.Identify(static_cast<uint32_t>(m_cursor));
    // The first drive that does not open ends the drive phase.
    if (drive.status < 0 || m_cursor == kDriveCount - 1)
      m_cursor = 'C';
    else
      ++m_cursor;
    return std::nullopt;
  }
  if (m_cursor >= 'C' && m_cursor <= 'Z') {
    const char letter = static_cast<char>(m_cursor++);
    return ExamineLetter(letter);
  }
  return std::nullopt;
}

std::optional<ScanRow> CScan::ExamineLetter(char letter) {
  if (sys::GetDriveTypeA(RootPath(letter).c_str()) != DRIVE_FIXED) return std::nullopt;

  auto record = std::make_unique<CVolumeInfo>(letter);
  if (record->Probe() != 3 || record->m_failure != ProbeFailure::None || record->m_extents.empty())
    return std::nullopt;

  // A disk the drive phase did not reach (behind a gap, past the tenth) is identified
  // now, once however many volumes it holds.
  for (const VolumeExtent& extent : record->m_extents) {
    if (extent.disk < 0) continue;
    g_drives.Identify(static_cast<uint32_t>(extent.disk));
    g_drives.HoldsVolume(static_cast<uint32_t>(extent.disk));
  }

  ScanRow row;
  row.letter = record->m_letter;
  row.fileSystem = record->m_fileSystem;
  row.extents = JudgePieces(*record, g_drives);
  row.verdict = VolumeVerdict(row.extents);
  const PieceVerdict& first = row.extents.front();
  row.drive = first.disk;
  row.dataStart = first.dataStart;
  if (row.drive) row.driveName = g_drives[*row.drive].model;
  row.volume = std::move(record);
  return row;
}
