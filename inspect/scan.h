// The whole inspection, one unit of device work per step: identify drive 0, 1, ... until
// the first that does not open or drive 9, then examine the letters C to Z. The report
// window takes one step per timer tick; the console report takes them back to back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "inspect/alignment.h"
#include "inspect/volume_info.h"
#include "platform/cstring.h"

// One row of the report: a fixed volume whose partition start was found.
struct ScanRow {
  char letter = 0;
  std::optional<int> drive;  // 0..9; none when no drive of the table holds the volume
  CString driveName;         // the drive's model text; empty without a drive
  uint64_t dataStart = 0;    // the drive sector where the volume's data begins
  Verdict verdict = Verdict::Undetermined;
  std::unique_ptr<CVolumeInfo> volume;  // the record the row keeps
};

class CScan {
 public:
  // Identifies one drive or examines one letter. A letter that is a fixed volume with a
  // known partition start gives a row.
  std::optional<ScanRow> Step();
  bool Finished() const { return m_cursor > 'Z'; }

 private:
  std::optional<ScanRow> ExamineLetter(char letter);

  // 0..9: the drive to identify next; 'C'..'Z': the letter to examine next; past 'Z':
  // finished. Letters A and B are never examined.
  signed char m_cursor = 0;
  bool m_started = false;
};
