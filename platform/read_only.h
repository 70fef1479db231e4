// The device requests the program reads with. The real backend passes on these and
// refuses every other, so the promise never to write to a disk does not rest on callers.
#pragma once

#include "platform/win32types.h"

// True for: the SMART request carrying IDENTIFY DEVICE, SCSI pass-through carrying
// INQUIRY with data in, the two partition requests, the device-number request and the
// property query.
bool IsReadOnlyRequest(DWORD code, const void* in, DWORD inSize);
