// The formats an image file may be in, in one table, as qemu's block drivers stand: each
// with its name, a probe of the file's first KiB and last sector, and its reader. Raw is
// none of them: it is what a partition table or a boot sector proves (disk_image.cpp).
//
// CONTRIBUTING.md ("Adding an image format") walks through what a new format touches.
#pragma once

#include <memory>
#include <string>

#include "image/disk_image.h"

// The file's first KiB and last sector, where every format's signature lies: read once.
struct FileEnds {
  std::string head, tail;
  bool Head(const char* bytes, size_t offset = 0) const { return Holds(head, bytes, offset); }
  bool Tail(const char* bytes) const { return Holds(tail, bytes, 0); }
  static bool Holds(const std::string& at, const std::string& bytes, size_t offset) {
    return at.size() >= offset + bytes.size() && at.compare(offset, bytes.size(), bytes) == 0;
  }
};
FileEnds ReadEnds(ByteSource& file);

// What a reader is given: the file, the path it was named by (a VMDK's extents lie beside
// its descriptor), and its ends.
struct ImageFile {
  std::shared_ptr<ByteSource> bytes;
  std::string path;
  FileEnds ends;
  ChainPlace chain;  // the files above it, where it is a parent
};

struct ImageFormatEntry {
  const char* name;  // as a refusal names it: "a QCOW2 image"
  const char* word;  // as the usage lists the formats read: "QCOW2"; none for one not read
  bool (*probe)(const FileEnds& ends);
  // None for a format this reader knows by sight but does not read: it is refused by name.
  ImageOpening (*read)(const ImageFile& file);
};

// The formats, most particular signature first.
extern const ImageFormatEntry kImageFormats[];
extern const size_t kImageFormatCount;

// Opens the file at `path` through the door, for reading only, and reads its format.
ImageOpening OpenImage(const std::string& path, const ChainPlace& chain = {});
// The same for a file already open; `path` names it (a VMDK's extents lie beside it).
ImageOpening ReadImage(std::shared_ptr<ByteSource> file, const std::string& path = "",
                       const ChainPlace& chain = {});
