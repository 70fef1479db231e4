// The files a sweep of folders finds (--image-dir, --recurse), listed before any is read:
// every file whose name ends in an extension a disk file uses, each with its identity, so
// that a file reached by two paths (a link, a junction, a mount point) is one file; the
// folders followed through links, guarded by identity, so that nothing repeats or loops; and
// what was not listed or cannot be examined, with why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_identity.h"

// A file found: its path as the door takes it, who it is (none where it did not open), when
// it was last written (a child is written after its parent: newest first finds heads first).
struct FoundFile {
  std::string path;
  std::optional<FileIdentity> identity;
  uint64_t writeTime = 0;
  bool generic = false;  // .img or .raw: any file may be named so
};

// A file or folder the sweep does not examine: a folder Windows will not list (the sweep is
// then incomplete), a name the code page cannot spell, a VHD Set.
struct SweepNote {
  std::string path;
  std::string why;
  bool folder = false;
};

// A link the sweep met: followed, or the same folder or file as one already listed.
struct SweepLink {
  std::string path;
  std::string sameAs;  // empty where followed
};

struct SweepListing {
  std::vector<FoundFile> files;  // in the order listed, each once
  std::vector<SweepNote> notExamined;
  std::vector<SweepLink> links;
};

// Whether `name` ends in an extension a disk file uses (.vhd, .vhdx, .avhd, .avhdx, .vmdk,
// .qcow2, .qcow, .vdi, .img, .raw), in any case; `generic` set for .img and .raw.
bool HasDiskExtension(const std::string& name, bool* generic = nullptr);

// The files in each of `roots`, and with `recurse` in every folder under them.
SweepListing ListFolders(const std::vector<std::string>& roots, bool recurse);
