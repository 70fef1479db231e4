// The verdict as the report list shows it: the index of its state image, shifted into
// the item's state bits. Index 0 draws nothing; 1 and 2 draw the list's images 0 and 1.
// And the images themselves, at the size the window's DPI asks for.
#pragma once

#include "framework/controls.h"
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

// The side of the state images at dpi: 16 pixels up to 143 DPI, beyond that 16 x DPI / 96
// rounded down to a multiple of 8 (24 at 144, 32 at 192), so that a mark stays as tall as
// the text beside it.
int StateImageSize(UINT dpi);

// The icon's image of side x side pixels, each pixel of its own image repeated without
// smoothing, so that the marks stay sharp; null when the icon cannot be read.
HICON ScaleIcon(HICON icon, int side);

// Creates images at side x side and adds the exclamation and the question mark, in that
// order, from resources. The exclamation mark (icon 131) is drawn from its 16x16 picture,
// repeated where side is larger: its 32x32 picture is blank on purpose. The question mark
// (icon 132) has a 32x32 picture only: at 32 pixels it is drawn as it is, at 16 and 24
// (150 %) from it reduced once by Windows, above 32 from it repeated. False when the list
// could not be created.
bool CreateStateImages(CImageList& images, HINSTANCE resources, int side);
