#include "inspect/scan.h"

#include <cstdio>

#include "inspect/drive_info.h"
#include "platform/sys.h"

std::optional<ScanRow> CScan::Step() {
  if (!m_started) {
    // Each scan starts from a clean table: no entry may carry a drive of an earlier run,
    // whose geometry would judge this run's volumes.
    for (DriveInfo& d : g_drives) d = DriveInfo();
    m_started = true;
  }
  if (m_cursor >= 0 && m_cursor < kDriveCount) {
    IdentifyDrive(m_cursor, &g_drives[m_cursor]);
    // The first drive that does not open ends the table.
    if (g_drives[m_cursor].status < 0 || m_cursor == kDriveCount - 1)
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
  char root[8];
  std::snprintf(root, sizeof root, "%c:\\", letter);
  if (sys::GetDriveTypeA(root) != DRIVE_FIXED) return std::nullopt;

  auto record = std::make_unique<CVolumeInfo>(letter);
  if (record->Probe() != 3) return std::nullopt;
  const int drive = record->GetDriveIndex();
  const uint64_t start = record->GetDataStartSector();
  if (drive == -1 || start == CVolumeInfo::kNoDataStart) return std::nullopt;

  ScanRow row;
  row.letter = record->m_letter;
  row.dataStart = start;
  // 10 means none of the drives in the table holds the volume: no number, no name, no
  // grid to judge by.
  if (drive >= 0 && drive < kDriveCount) {
    row.drive = drive;
    row.driveName = g_drives[drive].model;
    row.verdict = GetAlignmentState(*record, start, g_drives[drive]);
  }
  row.volume = std::move(record);
  return row;
}
