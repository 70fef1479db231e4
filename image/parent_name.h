// The names a disk file records for its parent (a VHD's W2ru and W2ku locators, a VHDX's
// parent locator, a VMDK delta's parentFileNameHint, a QCOW2's backing file), as places
// this computer may open. A file can come from anyone: a name in it never makes Tessarel
// open a path on another computer (an SMB or WebDAV server, with the user's credentials) or
// a device, and a relative one stays under the root the person named. Windows' path forms
// are those of Microsoft's "Naming Files, Paths, and Namespaces".
#pragma once

#include <optional>
#include <string>

// Why a name recorded in a disk file is not opened, in words ("on another computer"); none
// where it may be. Refused: two separators first (\\server\share, //server, \\?\UNC\,
// \\host@SSL\), \??\, \\.\ and \\?\ in every form but \\?\X:\ and \\?\Volume{GUID}\, a
// colon but a drive letter's (a file's stream), a name relative to a drive's current
// folder (X:name), a control character, and a device's name (CON, NUL, COM1, ...).
std::optional<std::string> WhyParentNameRefused(const std::u16string& name);

// `name` (allowed by the rule above) as a path from the folder of `child`, the path the
// child was opened by: an absolute name as it is (\\?\X:\ read as X:\), a rooted one on the
// child's drive or share, a relative one joined to the child's folder; "." and ".." taken
// away. Against an absolute folder ".." stops at its root (X:\, or the share
// \\server\share\ the person named); against a relative one, surplus ".." stay for Windows.
// Parts are joined with the folder's own separator.
std::u16string ResolveParentName(const std::u16string& child, const std::u16string& name);

// Whether `name`'s last part is a device's name: CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to
// LPT9, CONIN$, CONOUT$, CLOCK$, with any extension (Windows maps "nul.txt" to NUL too).
bool NamesDosDevice(const std::u16string& name);
