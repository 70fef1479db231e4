// A disk image file opened for checking: its format told by content, the virtual disk it
// holds, and the container's own blocks; or why it is refused. VHD and VHDX as Microsoft
// publishes them ([MS-VHDX] for the latter), VMDK as VMware's Virtual Disk Format 1.1 and 5.0,
// QCOW2 as qemu's docs/interop/qcow2.txt, VDI as VirtualBox's source documents its header;
// raw images are the disk's bytes as they are. image_format.h holds the table of formats.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/byte_source.h"

enum class ImageFormat {
  Raw,
  VhdFixed,
  VhdDynamic,
  VhdxFixed,
  VhdxDynamic,
  VmdkSparse,
  VmdkStream,
  VmdkFlat,
  Qcow2,
  VdiFixed,
  VdiDynamic,
};

// Why an image is not checked. It is never guessed at: each of these says what to do.
enum class ImageRefusal {
  None,
  Differencing,   // its sectors lie partly in a parent image
  LogNotEmpty,    // VHDX: writes wait in its log, to be replayed first
  InUse,          // Windows will not share it: a running virtual machine holds it
  Checksum,       // a header, footer or table fails its checksum
  OutsideFile,    // a table points past the file's end
  UnknownFormat,  // a container this reader does not know, or fields that cannot be
  CannotOpen,     // Windows refused the open for another reason
};

// The blocks a container keeps the virtual disk's sectors in, in the file: a dynamic VHD's
// or VDI's blocks, a VHDX's, a sparse VMDK's grains, a QCOW2's clusters.
struct BlockContainer {
  uint64_t blockBytes = 0;
  // Every allocated block's data lies in the file where the guest's 4 KiB land on the file's
  // 4 KiB (its place in the file and in the guest differ by a multiple of 4 KiB); none where
  // none is allocated, or the container is a transport format.
  std::optional<bool> blocksAligned;
  // A file to move a disk in, converted before it is run, whose blocks are never judged: a
  // stream-optimized VMDK (its format has no plain grain), or a QCOW2 whose every allocated
  // cluster is compressed.
  bool transport = false;
  // The allocated blocks kept compressed (read whole, inflated; not judged): a QCOW2 run as
  // it is may hold both kinds, and its plain clusters are judged.
  uint64_t compressedBlocks = 0;
};

// Whether a block the guest holds at `guestAt` and the file at `fileAt` keep 4 KiB together.
inline bool OnFileGrid(uint64_t fileAt, uint64_t guestAt) { return (fileAt - guestAt) % 4096 == 0; }

// Where the guest's logical sector size comes from.
enum class SectorSizeFrom {
  Format,    // the container: a VHD's are 512 bytes by definition, a VHDX names its own
  Image,     // the guest's table or boot sectors
  Default,   // the file names none (raw, VMDK, QCOW2, VDI) and nothing in the guest says:
             // 512, the classic size
  Option,    // the person named it (--sector-size)
  Disagree,  // a raw image's witnesses name two sizes: nothing can be judged
  Either,    // none speaks, and every partition is judged the same at 512 and 4096: 512
  Unshown,   // none speaks, and the two readings judge its partitions otherwise: nothing
             // can be judged (a guess never decides a verdict)
};

// The sector size could not be told: nothing in the image is judged.
inline bool SectorSizeUntold(SectorSizeFrom from) {
  return from == SectorSizeFrom::Disagree || from == SectorSizeFrom::Unshown;
}
// Something names the sector size (the container, the guest, the person): not a guess.
inline bool SectorSizeNamed(SectorSizeFrom from) {
  return from == SectorSizeFrom::Format || from == SectorSizeFrom::Image ||
         from == SectorSizeFrom::Option;
}

// A file besides the named one that belongs to its disk: a VMDK's extent, read with it, or
// the change-tracking file its descriptor names, which holds no sector and is not read.
enum class MemberKind { Extent, ChangeTracking };
struct MemberFile {
  std::string path;
  MemberKind kind = MemberKind::Extent;
};

struct DiskImage {
  ImageFormat format = ImageFormat::Raw;
  uint64_t virtualSize = 0;
  uint64_t fileBytes = 0;  // the file's own size
  uint32_t logicalSectorSize = 512;
  SectorSizeFrom sectorSizeFrom = SectorSizeFrom::Format;
  std::optional<uint32_t> physicalSectorSize;  // VHDX says it; the others do not
  std::optional<BlockContainer> container;     // none for raw images and fixed VHDs
  std::unique_ptr<ByteSource> guest;           // the virtual disk, read through the file
  // What a child made over this disk records of it: a VMDK's CID, a VHD's unique id, a
  // VHDX's data write GUID, as text; empty where the format keeps none.
  std::string identity;
  std::vector<MemberFile> members;
};

// A parent of a differencing image, nearest first: where it was found, what it is, its
// container, or why it could not be read.
struct ParentImage {
  std::string path;
  std::optional<ImageFormat> format;
  std::optional<BlockContainer> container;
  ImageRefusal refusal = ImageRefusal::None;
  std::string detail;
  DWORD error = ERROR_SUCCESS;
};

struct ImageOpening {
  ImageRefusal refusal = ImageRefusal::None;
  std::string detail;           // what exactly, in words, for a refusal
  DWORD error = ERROR_SUCCESS;  // what Windows said, for CannotOpen and InUse
  std::optional<DiskImage> image;
  std::vector<ParentImage> parents;  // the chain under a differencing image, nearest first
};

// Chains are at most this deep; a file met twice in one is refused.
constexpr size_t kMostParents = 64;

// Where an image is read from in a chain: the files above it, its own among them.
struct ChainPlace {
  std::vector<std::string> files;  // each as a key: its path, folded to compare
};

// The parent a differencing image names by `name` (relative to `childPath`'s folder where it
// is not absolute; refused, unopened, where image/parent_name.h forbids it), opened and read
// with the chain so far; `check` tells whether it is the
// parent the child was made over (none where the format records no identity). The child's
// opening takes the parent's source, or is refused naming it.
struct ParentFound {
  std::shared_ptr<ByteSource> guest;  // the parent's virtual disk
  ImageOpening refusal;               // where it could not be used: the child's refusal
  std::vector<ParentImage> parents;   // the parent and its own chain, nearest first
  // Where the name is one Tessarel does not open (image/parent_name.h): the name and why.
  std::string forbidden;
};
ParentFound OpenParent(const std::string& childPath, const std::u16string& name,
                       const ChainPlace& chain,
                       const std::function<std::string(const DiskImage&)>& mismatch);
// The parent at the first of `names` (the places a format records, in its order) whose file
// opens; anything else about a parent that opens is the child's answer. Refused, saying where
// it looked, where none opens; as naming no parent where `names` is empty.
ParentFound OpenParentAtFirst(const std::string& childPath,
                              const std::vector<std::u16string>& names, const ChainPlace& chain,
                              const std::function<std::string(const DiskImage&)>& mismatch);
// A path as the chain compares it: separators one way, ASCII in one case.
std::string ChainKey(const std::string& path);
// A name a file records in UTF-8 (QCOW2's backing file, VMDK's parent hint), as UTF-16; a
// sequence that is not UTF-8 as U+FFFD, which no code page spells.
std::u16string FromUtf8(const std::string& text);
// A name as the report shows it: in the system's code page where it spells it, else each
// character outside ASCII (and each control character) as '?'.
std::string ShownName(const std::u16string& name);

// The refusal's code as the JSON names it ("differencing", "log-not-empty", ...).
const char* RefusalCode(ImageRefusal refusal);

// A refusal with its words; a differencing disk's, which both formats refuse alike.
ImageOpening Refused(ImageRefusal refusal, std::string detail);
ImageOpening DifferencingRefusal();

// A table of fixed-size entries in the file, read a page at a time as they are asked for:
// a block table is walked once and then read where the guest is read, so that a 2 TB
// sparse image costs a few reads and a table never needs its whole size in memory.
class EntryTable {
 public:
  EntryTable(std::shared_ptr<ByteSource> file, uint64_t at, uint32_t entryBytes, uint64_t count,
             bool bigEndian, uint64_t pageBytes = kPageBytes);
  // Entry i; none past the table or where the read fails.
  std::optional<uint64_t> operator[](uint64_t i);
  // Lets the page go, and reads pages of `pageBytes` from now on: after a walk in large
  // pages, the guest's few reads cost a small page each.
  void Shrink(uint64_t pageBytes);

 private:
  static constexpr uint64_t kPageBytes = 1 << 20;  // a 2 TB VHD's whole table in four reads
  std::shared_ptr<ByteSource> m_file;
  uint64_t m_at, m_count, m_pageBytes;
  uint32_t m_entryBytes;
  bool m_bigEndian;
  std::optional<uint64_t> m_page;  // the page held, by its number
  std::string m_bytes;
};
