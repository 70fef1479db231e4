// VHD: a 512-byte big-endian footer at the file's end; a fixed disk's sectors before it, a
// dynamic disk's in blocks a table places, each block's sector bitmap before its data
// (as Microsoft documents the Virtual Hard Disk image format).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/big_endian.h"
#include "image/block_disk.h"
#include "image/disk_image.h"
#include "image/image_format.h"

namespace {

constexpr size_t kFooterBytes = 512;
constexpr size_t kHeaderBytes = 1024;  // the dynamic disk header
constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kUnallocated = 0xFFFFFFFFu;
enum DiskType : uint32_t { kFixed = 2, kDynamic = 3, kDifferencing = 4 };
// The format's largest disk is 2040 GB; a table for it in 4 KiB blocks would hold half a
// billion entries. This bounds the walk of a hostile one.
constexpr uint64_t kMostBlocks = 1ull << 26;

// The structure's checksum: the one's complement of the sum of its bytes, the checksum's
// own four left out.
uint32_t Checksum(const uint8_t* bytes, size_t size, size_t checksumAt) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i)
    if (i < checksumAt || i >= checksumAt + 4) sum += bytes[i];
  return ~sum;
}

// A dynamic disk's blocks; a differencing disk's sectors, each its own where its block's
// sector bitmap sets its bit (the first sector the highest bit of the first byte), else its
// parent's, as is every sector of a block never written.
class DynamicVhd : public BlockDisk {
 public:
  DynamicVhd(std::shared_ptr<ByteSource> file, uint64_t size, uint32_t blockBytes,
             uint32_t bitmapBytes, EntryTable table, bool differencing)
      : BlockDisk(file, size, differencing ? kSectorBytes : blockBytes),
        m_file(file),
        m_blockBytes(blockBytes),
        m_bitmapBytes(bitmapBytes),
        m_differencing(differencing),
        m_table(std::move(table)) {}

 protected:
  Place Locate(uint64_t unit) override {
    const uint64_t at = m_differencing ? unit * kSectorBytes : unit * m_blockBytes;
    const std::optional<uint64_t> entry = m_table[at / m_blockBytes];
    if (!entry) return Unknown();
    if (*entry == kUnallocated) return m_differencing ? Parents() : Zeros();
    const uint64_t bitmapAt = *entry * kSectorBytes;
    if (!m_differencing) return At(bitmapAt + m_bitmapBytes);
    const uint64_t sector = at % m_blockBytes / kSectorBytes;
    uint8_t byte = 0;
    if (!m_file->Read(bitmapAt + sector / 8, &byte, 1)) return Unknown();
    if ((byte >> (7 - sector % 8) & 1) == 0) return Parents();
    return At(bitmapAt + m_bitmapBytes + at % m_blockBytes);
  }

 private:
  std::shared_ptr<ByteSource> m_file;
  uint64_t m_blockBytes;
  uint32_t m_bitmapBytes;
  bool m_differencing;
  EntryTable m_table;
};

std::string Hex(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) text += {kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
  return text;
}

// A locator's UTF-16LE path, up to its terminator.
std::u16string PathOf(const std::vector<uint8_t>& utf16) {
  std::u16string text;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const auto c = static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8));
    if (c == 0) break;
    text += c;
  }
  return text;
}

// A differencing disk's parent, by the relative locator first, then the absolute one; the
// parent it was made over is the one whose footer holds the unique id the child names.
ParentFound FindParent(ByteSource& file, const uint8_t* header, const ImageFile& child) {
  const std::string parentId = Hex(header + 40, 16);
  std::vector<std::u16string> names;
  for (const char* code : {"W2ru", "W2ku"}) {
    for (int i = 0; i < 8; ++i) {
      const uint8_t* e = header + 576 + 24 * i;
      if (std::memcmp(e, code, 4) != 0) continue;
      std::vector<uint8_t> data(std::min<uint32_t>(be::U32(e + 8), 2048));
      const uint64_t at = be::U64(e + 16);
      if (!data.empty() && at <= file.Size() && file.Read(at, data.data(), data.size()))
        names.push_back(PathOf(data));
    }
  }
  return OpenParentAtFirst(child.path, names, child.chain, [&](const DiskImage& p) {
    return p.identity == parentId
               ? std::string()
               : "its unique id is " + p.identity + ", the child names " + parentId;
  });
}

// The dynamic disk header and its block table, walked once: every allocated block must lie
// inside the file (before its footer), and says whether its data begins on 4 KiB.
ImageOpening ReadDynamic(std::shared_ptr<ByteSource> file, const uint8_t* footer, DiskImage image,
                         const ImageFile* differencing) {
  const uint64_t headerAt = be::U64(footer + 16);
  uint8_t header[kHeaderBytes];
  if (headerAt > file->Size() || !file->Read(headerAt, header, kHeaderBytes))
    return Refused(ImageRefusal::OutsideFile, "its footer points past the file's end");
  if (std::memcmp(header, "cxsparse", 8) != 0)
    return Refused(ImageRefusal::UnknownFormat, "its dynamic disk header is missing");
  if (be::U32(header + 36) != Checksum(header, kHeaderBytes, 36))
    return Refused(ImageRefusal::Checksum, "its dynamic disk header's checksum does not hold");
  const uint64_t tableAt = be::U64(header + 16);
  const uint32_t entries = be::U32(header + 28);
  const uint32_t blockBytes = be::U32(header + 32);
  if (blockBytes < kSectorBytes || (blockBytes & (blockBytes - 1)) != 0)
    return Refused(ImageRefusal::UnknownFormat, "its block size is not a power of two");
  const uint64_t blocks = image.virtualSize / blockBytes + (image.virtualSize % blockBytes != 0);
  if (blocks > entries || blocks > kMostBlocks)
    return Refused(ImageRefusal::UnknownFormat, "its block table is shorter than its disk");
  const uint64_t end = file->Size() - kFooterBytes;
  if (tableAt > end || blocks * 4 > end - tableAt)
    return Refused(ImageRefusal::OutsideFile, "its block table lies past the file's end");
  // One bit per sector of the block, in whole sectors.
  const uint32_t bitmapBytes = static_cast<uint32_t>(
      (uint64_t{blockBytes} / kSectorBytes / 8 + kSectorBytes - 1) / kSectorBytes * kSectorBytes);
  EntryTable table(file, tableAt, 4, blocks, true);
  BlockContainer container{blockBytes, std::nullopt};
  for (uint64_t b = 0; b < blocks; ++b) {
    const std::optional<uint64_t> entry = table[b];
    if (!entry) return Refused(ImageRefusal::OutsideFile, "its block table could not be read");
    if (*entry == kUnallocated) continue;
    const uint64_t dataAt = *entry * kSectorBytes + bitmapBytes;
    if (dataAt > end || blockBytes > end - dataAt)
      return Refused(ImageRefusal::OutsideFile, "its block table points past the file's end");
    container.blocksAligned =
        container.blocksAligned.value_or(true) && OnFileGrid(dataAt, b * blockBytes);
  }
  image.format = ImageFormat::VhdDynamic;
  image.container = container;
  auto guest = std::make_unique<DynamicVhd>(file, image.virtualSize, blockBytes, bitmapBytes,
                                            std::move(table), differencing != nullptr);
  ImageOpening opening;
  if (differencing != nullptr) {
    ParentFound parent = FindParent(*file, header, *differencing);
    if (parent.refusal.refusal != ImageRefusal::None) return std::move(parent.refusal);
    guest->SetParent(parent.guest);
    opening.parents = std::move(parent.parents);
  }
  image.guest = std::move(guest);
  opening.image = std::move(image);
  return opening;
}

}  // namespace

ImageOpening ReadVhd(const ImageFile& named) {
  if (!named.ends.Tail("conectix"))
    return Refused(ImageRefusal::UnknownFormat,
                   "it starts as a dynamic VHD but its footer is missing from its end");
  std::shared_ptr<ByteSource> file = named.bytes;
  uint8_t footer[kFooterBytes];
  if (!file->Read(file->Size() - kFooterBytes, footer, kFooterBytes))
    return Refused(ImageRefusal::OutsideFile, "its footer could not be read");
  if (be::U32(footer + 64) != Checksum(footer, kFooterBytes, 64))
    return Refused(ImageRefusal::Checksum, "its footer's checksum does not hold");
  DiskImage image;
  image.virtualSize = be::U64(footer + 48);  // the current size
  image.logicalSectorSize = kSectorBytes;
  image.identity = Hex(footer + 68, 16);  // its unique id, which a child names
  switch (be::U32(footer + 60)) {
    case kFixed: {
      if (image.virtualSize > file->Size() - kFooterBytes)
        return Refused(ImageRefusal::OutsideFile, "its disk is larger than the file");
      image.format = ImageFormat::VhdFixed;
      image.guest = std::make_unique<SharedSource>(std::move(file), image.virtualSize);
      ImageOpening opening;
      opening.image = std::move(image);
      return opening;
    }
    case kDynamic:
      return ReadDynamic(std::move(file), footer, std::move(image), nullptr);
    case kDifferencing:
      return ReadDynamic(std::move(file), footer, std::move(image), &named);
    default:
      return Refused(ImageRefusal::UnknownFormat, "its footer names an unknown disk type");
  }
}
