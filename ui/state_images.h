// The verdict as the report list shows it: the index of its state image, shifted into
// the item's state bits. Index 0 draws nothing; 1 and 2 draw the list's images 0 and 1.
#pragma once

#include "inspect/alignment.h"

enum { STATE_ALIGNED = 0, STATE_MISALIGNED = 1, STATE_UNKNOWN = 2 };

inline int StateImageIndex(Verdict verdict) {
  switch (verdict) {
    case Verdict::Aligned:
      return STATE_ALIGNED;
    case Verdict::Misaligned:
      return STATE_MISALIGNED;
    case Verdict::Undetermined:
      break;
  }
  return STATE_UNKNOWN;
}
