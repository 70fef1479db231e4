// VHDX ([MS-VHDX]): the file type identifier at 0; two headers at 64 and 128 KiB, each with
// its CRC-32C, the valid one with the higher sequence number current; two region tables at
// 192 and 256 KiB naming the block table and the metadata; the metadata's file parameters,
// disk size and sector sizes; the block table's 64-bit entries, a sector-bitmap entry after
// each chunk of payload blocks. All little-endian.
#include <cstring>
#include <string>
#include <vector>

#include "image/block_disk.h"
#include "image/crc32.h"
#include "image/disk_image.h"
#include "image/image_format.h"
#include "inspect/little_endian.h"
#include "inspect/partition_table.h"

namespace {

constexpr uint64_t kKiB = 1024, kMiB = 1024 * kKiB;
constexpr uint64_t kHeaderAt[] = {64 * kKiB, 128 * kKiB};
constexpr size_t kHeaderBytes = 4 * kKiB;
constexpr uint64_t kRegionTableAt[] = {192 * kKiB, 256 * kKiB};
constexpr size_t kRegionTableBytes = 64 * kKiB;
constexpr uint32_t kMostEntries = 2047;              // in a region table and in the metadata table
constexpr uint64_t kLargestDisk = 64 * kMiB * kMiB;  // 64 TiB

const char kBatRegion[] = "2DC27766-F623-4200-9D64-115E9BFD4A08";
const char kMetadataRegion[] = "8B7CA206-4790-4B9A-B8FE-575F050F886E";
const char kFileParameters[] = "CAA16737-FA36-4D43-B3B6-33F0AA44E76B";
const char kVirtualDiskSize[] = "2FA54224-CD1B-4876-B211-5DBED83BF4B8";
const char kLogicalSectorSize[] = "8141BF1D-A96F-4709-BA47-F233A8FAAB5F";
const char kPhysicalSectorSize[] = "CDA348C7-445D-4471-9CC9-E9885251C556";
const char kVirtualDiskId[] = "BECA12AB-B2E6-4523-93EF-C309E000C746";  // its page 83 data
const char kParentLocator[] = "A8D35F2D-B30B-454D-ABF7-D3D84834AB0C";
constexpr uint32_t kIsRequired = 4;  // a metadata entry's flags: IsUser 1, IsVirtualDisk 2

// Payload block states: 0 to 3 read as zeros, 6 fully present; 7 (partly present) only in
// a differencing disk, whose other sectors are the parent's.
enum : uint64_t { kFullyPresent = 6, kPartlyPresent = 7 };

bool PowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// A structure whose CRC-32C, at byte 4, is over all of it with those four bytes as zeros.
bool ChecksumHolds(std::vector<uint8_t> bytes) {
  const uint32_t stored = le::U32(bytes.data() + 4);
  std::memset(bytes.data() + 4, 0, 4);
  return crc::Castagnoli(bytes.data(), bytes.size()) == stored;
}

struct Header {
  uint64_t sequence = 0;
  bool logEmpty = true;
};

// The two copies of a structure: their signatures, and whether any holds its checksum (and,
// for a header, is of the version this reader knows).
enum class Copies { Missing, Broken, OtherVersion, Valid };

class VhdxDisk : public BlockDisk {
 public:
  VhdxDisk(std::shared_ptr<ByteSource> file, uint64_t size, uint64_t blockBytes,
           uint64_t chunkRatio, EntryTable table)
      : BlockDisk(std::move(file), size, blockBytes),
        m_chunkRatio(chunkRatio),
        m_table(std::move(table)) {}

 protected:
  Place Locate(uint64_t block) override {
    const std::optional<uint64_t> entry = m_table[block + block / m_chunkRatio];
    if (!entry) return Unknown();
    const uint64_t state = *entry & 7;
    if (state == kFullyPresent || state == kPartlyPresent) return At((*entry >> 20) * kMiB);
    return state <= 3 ? Zeros() : Unknown();
  }

 private:
  uint64_t m_chunkRatio;
  EntryTable m_table;
};

struct Metadata {
  uint32_t blockBytes = 0;
  bool leaveAllocated = false, hasParent = false;
  uint64_t diskBytes = 0;
  uint32_t logical = 0, physical = 0;
};

class Reader {
 public:
  explicit Reader(std::shared_ptr<ByteSource> file) : m_file(std::move(file)) {}

  ImageOpening Read() {
    Header header;
    switch (CurrentHeader(&header)) {
      case Copies::Missing:
        return Refused(ImageRefusal::UnknownFormat, "it has no VHDX header");
      case Copies::Broken:
        return Refused(ImageRefusal::Checksum, "neither of its headers' checksums holds");
      case Copies::OtherVersion:
        return Refused(ImageRefusal::UnknownFormat, "a VHDX version Tessarel does not know");
      case Copies::Valid:
        break;
    }
    if (!header.logEmpty)
      return Refused(ImageRefusal::LogNotEmpty,
                     "its log must be replayed: attach it once in Windows or Hyper-V");
    uint64_t batAt = 0, batBytes = 0, metadataAt = 0, metadataBytes = 0;
    if (ImageOpening refusal = Regions(&batAt, &batBytes, &metadataAt, &metadataBytes);
        refusal.refusal != ImageRefusal::None)
      return refusal;
    Metadata m;
    if (ImageOpening refusal = ReadMetadata(metadataAt, metadataBytes, &m);
        refusal.refusal != ImageRefusal::None)
      return refusal;
    if (m.hasParent) return DifferencingRefusal();
    return Blocks(batAt, batBytes, m);
  }

 private:
  std::optional<std::vector<uint8_t>> Bytes(uint64_t at, size_t size) {
    std::vector<uint8_t> bytes(size);
    if (!m_file->Read(at, bytes.data(), size)) return std::nullopt;
    return bytes;
  }

  Copies CurrentHeader(Header* current) {
    Copies found = Copies::Missing;
    for (uint64_t at : kHeaderAt) {
      const auto h = Bytes(at, kHeaderBytes);
      if (!h || std::memcmp(h->data(), "head", 4) != 0) continue;
      if (found == Copies::Missing) found = Copies::Broken;
      if (!ChecksumHolds(*h)) continue;
      if (le::U16(h->data() + 66) != 1) {  // Version: a header of another is not read
        if (found != Copies::Valid) found = Copies::OtherVersion;
        continue;
      }
      const uint64_t sequence = le::U64(h->data() + 8);
      if (found == Copies::Valid && sequence <= current->sequence) continue;
      found = Copies::Valid;
      current->sequence = sequence;
      static const uint8_t kNoLog[16] = {};
      current->logEmpty = std::memcmp(h->data() + 48, kNoLog, 16) == 0;  // LogGuid
    }
    return found;
  }

  // The block table's and the metadata's place, from the first region table that holds.
  ImageOpening Regions(uint64_t* batAt, uint64_t* batBytes, uint64_t* metadataAt,
                       uint64_t* metadataBytes) {
    Copies found = Copies::Missing;
    for (uint64_t at : kRegionTableAt) {
      const auto t = Bytes(at, kRegionTableBytes);
      if (!t || std::memcmp(t->data(), "regi", 4) != 0) continue;
      found = Copies::Broken;
      const uint32_t count = le::U32(t->data() + 8);
      if (!ChecksumHolds(*t) || count > kMostEntries) continue;
      found = Copies::Valid;
      for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = t->data() + 16 + 32 * i;
        const std::string guid = GuidText(e);
        const uint64_t offset = le::U64(e + 16);
        const uint32_t length = le::U32(e + 24);
        const bool required = (le::U32(e + 28) & 1) != 0;
        const bool bat = guid == kBatRegion, metadata = guid == kMetadataRegion;
        if (!bat && !metadata) {
          if (required)
            return Refused(ImageRefusal::UnknownFormat,
                           "it requires a region this reader does not know");
          continue;
        }
        if (offset < kMiB || offset > m_file->Size() || length > m_file->Size() - offset)
          return Refused(ImageRefusal::OutsideFile, "its region table points past the file's end");
        (bat ? *batAt : *metadataAt) = offset;
        (bat ? *batBytes : *metadataBytes) = length;
      }
      break;
    }
    if (found == Copies::Missing)
      return Refused(ImageRefusal::UnknownFormat, "it has no region table");
    if (found == Copies::Broken)
      return Refused(ImageRefusal::Checksum, "neither of its region tables' checksums holds");
    if (*batAt == 0 || *metadataAt == 0)
      return Refused(ImageRefusal::UnknownFormat,
                     "its region table names no block table or metadata");
    return {};
  }

  ImageOpening ReadMetadata(uint64_t at, uint64_t size, Metadata* m) {
    constexpr size_t kTableBytes = 64 * kKiB;
    const auto t = size >= kTableBytes ? Bytes(at, kTableBytes) : std::nullopt;
    if (!t || std::memcmp(t->data(), "metadata", 8) != 0 || le::U16(t->data() + 10) > kMostEntries)
      return Refused(ImageRefusal::UnknownFormat, "its metadata table is missing");
    bool parameters = false, diskSize = false, logical = false, physical = false;
    for (uint32_t i = 0; i < le::U16(t->data() + 10); ++i) {
      const uint8_t* e = t->data() + 32 + 32 * i;
      const std::string guid = GuidText(e);
      const uint32_t offset = le::U32(e + 16), length = le::U32(e + 20);
      const bool required = (le::U32(e + 24) & kIsRequired) != 0;
      const auto item = [&](size_t bytes) {
        return offset >= kTableBytes && length >= bytes && offset <= size && length <= size - offset
                   ? Bytes(at + offset, bytes)
                   : std::nullopt;
      };
      if (guid == kFileParameters) {
        const auto v = item(8);
        if (!v) continue;
        m->blockBytes = le::U32(v->data());
        m->leaveAllocated = (v->data()[4] & 1) != 0;
        m->hasParent = (v->data()[4] & 2) != 0;
        parameters = true;
      } else if (guid == kVirtualDiskSize) {
        if (const auto v = item(8)) m->diskBytes = le::U64(v->data()), diskSize = true;
      } else if (guid == kLogicalSectorSize) {
        if (const auto v = item(4)) m->logical = le::U32(v->data()), logical = true;
      } else if (guid == kPhysicalSectorSize) {
        if (const auto v = item(4)) m->physical = le::U32(v->data()), physical = true;
      } else if (guid != kVirtualDiskId && guid != kParentLocator && required) {
        // An item a reader must understand to read the disk right ([MS-VHDX] 2.6.1.2).
        return Refused(ImageRefusal::UnknownFormat,
                       "it requires a metadata item Tessarel does not know (" + guid + ")");
      }
    }
    if (m->hasParent) return {};
    const auto sector = [](uint32_t s) { return s == 512 || s == 4096; };
    if (!parameters || !diskSize || !logical || !physical || !sector(m->logical) ||
        !sector(m->physical) || !PowerOfTwo(m->blockBytes) || m->blockBytes < kMiB ||
        m->blockBytes > 256 * kMiB || m->diskBytes == 0 || m->diskBytes > kLargestDisk ||
        m->diskBytes % m->logical != 0)
      return Refused(ImageRefusal::UnknownFormat, "its metadata names sizes a VHDX cannot have");
    return {};
  }

  // The block table, walked once: every allocated block lies inside the file.
  ImageOpening Blocks(uint64_t batAt, uint64_t batBytes, const Metadata& m) {
    const uint64_t chunkRatio = (uint64_t{1} << 23) * m.logical / m.blockBytes;
    const uint64_t blocks = m.diskBytes / m.blockBytes + (m.diskBytes % m.blockBytes != 0);
    const uint64_t entries = blocks + (blocks - 1) / chunkRatio;
    if (entries > batBytes / 8)
      return Refused(ImageRefusal::OutsideFile, "its block table is shorter than its disk");
    EntryTable table(m_file, batAt, 8, entries, false);
    BlockContainer container{m.blockBytes, std::nullopt};
    for (uint64_t b = 0; b < blocks; ++b) {
      const std::optional<uint64_t> entry = table[b + b / chunkRatio];
      if (!entry) return Refused(ImageRefusal::OutsideFile, "its block table could not be read");
      const uint64_t state = *entry & 7;
      if (state <= 3) continue;
      if (state != kFullyPresent && state != kPartlyPresent)
        return Refused(ImageRefusal::UnknownFormat, "its block table holds an unknown state");
      // Only a differencing disk may keep a block partly in its parent.
      if (state == kPartlyPresent)
        return Refused(ImageRefusal::UnknownFormat,
                       "its block table marks a block partly present, which only a disk with a "
                       "parent may have");
      const uint64_t dataAt = (*entry >> 20) * kMiB;
      if (dataAt < kMiB || dataAt > m_file->Size() || m.blockBytes > m_file->Size() - dataAt)
        return Refused(ImageRefusal::OutsideFile, "its block table points past the file's end");
      container.blocksAligned =
          container.blocksAligned.value_or(true) && OnFileGrid(dataAt, b * m.blockBytes);
    }
    DiskImage image;
    image.format = m.leaveAllocated ? ImageFormat::VhdxFixed : ImageFormat::VhdxDynamic;
    image.virtualSize = m.diskBytes;
    image.logicalSectorSize = m.logical;
    image.physicalSectorSize = m.physical;
    image.container = container;
    image.guest =
        std::make_unique<VhdxDisk>(m_file, m.diskBytes, m.blockBytes, chunkRatio, std::move(table));
    ImageOpening opening;
    opening.image = std::move(image);
    return opening;
  }

  std::shared_ptr<ByteSource> m_file;
};

}  // namespace

ImageOpening ReadVhdx(const ImageFile& file) { return Reader(file.bytes).Read(); }
