// VDI, as VirtualBox's source documents its header (VDICore.h) and qemu's block/vdi.c reads
// it: a pre-header (the signature 0xBEDA107F at 0x40, version 1.1), the header with the
// disk's size, its block size and count, the block map's and the data's places; each
// allocated block at the data's place plus its map entry times the block size, in the order
// blocks were written. All little-endian.
#include <cstring>

#include "image/block_disk.h"
#include "image/disk_image.h"
#include "image/image_format.h"
#include "disk/little_endian.h"

namespace {

constexpr uint32_t kVersion11 = 0x00010001;
enum ImageType : uint32_t { kDynamic = 1, kStatic = 2, kUndo = 3, kDifferencing = 4 };
constexpr uint32_t kUnallocated = 0xFFFFFFFFu, kZeroed = 0xFFFFFFFEu;
constexpr uint64_t kLargestDisk = 1ull << 46;  // 64 TiB: past any VirtualBox writes
// The map is read 4 KiB at a time: a 2 TB map is 8 MiB, and reading the guest's tables asks
// a few of its entries.
constexpr uint64_t kMapPageBytes = 4096;

class DynamicVdi : public BlockDisk {
 public:
  DynamicVdi(std::shared_ptr<ByteSource> file, uint64_t size, uint32_t blockBytes, uint64_t dataAt,
             uint32_t allocated, EntryTable map)
      : BlockDisk(std::move(file), size, blockBytes),
        m_blockBytes(blockBytes),
        m_dataAt(dataAt),
        m_allocated(allocated),
        m_map(std::move(map)) {}

 protected:
  Place Locate(uint64_t block) override {
    const std::optional<uint64_t> entry = m_map[block];
    if (!entry) return Unknown();
    if (*entry == kUnallocated || *entry == kZeroed) return Zeros();
    // A block past those the header counts was never written: the map is broken.
    if (*entry >= m_allocated) return Unknown();
    return At(m_dataAt + *entry * m_blockBytes);
  }

 private:
  uint64_t m_blockBytes, m_dataAt;
  uint32_t m_allocated;
  EntryTable m_map;
};

}  // namespace

ImageOpening ReadVdi(const ImageFile& named) {
  const std::shared_ptr<ByteSource>& file = named.bytes;
  uint8_t h[512];
  if (!file->Read(0, h, sizeof h))
    return Refused(ImageRefusal::OutsideFile, "its header could not be read");
  if (le::U32(h + 0x44) != kVersion11)
    return Refused(ImageRefusal::UnknownFormat, "a VDI version Tessarel does not know");
  const uint32_t type = le::U32(h + 0x4C);
  if (type == kDifferencing) return DifferencingRefusal();
  if (type != kDynamic && type != kStatic)
    return Refused(ImageRefusal::UnknownFormat, type == kUndo
                                                    ? "an undo VDI: Tessarel does not read it"
                                                    : "its header names an unknown image type");
  const uint64_t mapAt = le::U32(h + 0x154), dataAt = le::U32(h + 0x158);
  const uint64_t diskBytes = le::U64(h + 0x170);
  const uint32_t blockBytes = le::U32(h + 0x178), extraBytes = le::U32(h + 0x17C);
  const uint32_t blocks = le::U32(h + 0x180), allocated = le::U32(h + 0x184);
  if (blockBytes < 512 || (blockBytes & (blockBytes - 1)) != 0 || extraBytes != 0 ||
      diskBytes == 0 || diskBytes > kLargestDisk || allocated > blocks ||
      uint64_t{blocks} * blockBytes < diskBytes)
    return Refused(ImageRefusal::UnknownFormat, "its header names sizes a VDI cannot have");
  if (mapAt < sizeof h || mapAt > file->Size() || uint64_t{blocks} * 4 > file->Size() - mapAt)
    return Refused(ImageRefusal::OutsideFile, "its block map lies past the file's end");
  // Blocks are written one after another from the data's place: every allocated block lies
  // where the guest's block lies plus a multiple of the block size, so the data's place
  // alone says whether they keep the guest's 4 KiB.
  if (dataAt > file->Size() || uint64_t{allocated} * blockBytes > file->Size() - dataAt)
    return Refused(ImageRefusal::OutsideFile, "its blocks lie past the file's end");
  DiskImage image;
  image.format = type == kStatic ? ImageFormat::VdiFixed : ImageFormat::VdiDynamic;
  image.virtualSize = diskBytes;
  image.sectorSizeFrom = SectorSizeFrom::Default;  // the guest's own size: witnessed later
  BlockContainer container{blockBytes, std::nullopt, false};
  if (allocated > 0) container.blocksAligned = OnFileGrid(dataAt, 0) && blockBytes % 4096 == 0;
  image.container = container;
  image.guest =
      std::make_unique<DynamicVdi>(file, diskBytes, blockBytes, dataAt, allocated,
                                   EntryTable(file, mapAt, 4, blocks, false, kMapPageBytes));
  ImageOpening opening;
  opening.image = std::move(image);
  return opening;
}
