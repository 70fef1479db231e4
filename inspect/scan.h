// The whole inspection, one unit of device work per step: identify drive 0, 1, ... until
// the first that does not open or drive 9, then examine the letters C to Z. The report
// window takes one step per timer tick; the console report takes them back to back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "inspect/alignment.h"
#include "inspect/volume_info.h"
#include "platform/cstring.h"

// One row of the report: a fixed volume the probe could place.
struct ScanRow {
  char letter = 0;
  std::optional<uint32_t> drive;      // the disk of its first piece; none when none was found
  CString driveName;                  // that drive's model text; empty without one
  std::optional<uint64_t> dataStart;  // where its clusters begin on that disk, when known
  Verdict verdict = Verdict::Undetermined;
  std::string fileSystem;
  std::vector<PieceVerdict> extents;    // every piece of the volume, each judged on its disk
  std::unique_ptr<CVolumeInfo> volume;  // the record the row keeps
};

class CScan {
 public:
  // Identifies one drive or examines one letter. A letter that is a fixed volume the probe
  // could place gives a row; the drives its pieces lie on are identified in the same step
  // when the drive phase did not reach them.
  std::optional<ScanRow> Step();
  bool Finished() const { return m_cursor > 'Z'; }

 private:
  std::optional<ScanRow> ExamineLetter(char letter);

  // 0..9: the drive to identify next; 'C'..'Z': the letter to examine next; past 'Z':
  // finished. Letters A and B are never examined.
  signed char m_cursor = 0;
  bool m_started = false;
};
