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
#include "disk/little_endian.h"
#include "disk/partition_table.h"

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

// Payload block states: 0 (not present) the parent's in a differencing disk, else zeros; 1 to
// 3 zeros; 6 fully present; 7 (partly present) only in a differencing disk, its sectors the
// file's or the parent's as the chunk's sector bitmap says. A sector bitmap entry of state 6
// is present.
enum : uint64_t { kNotPresent = 0, kFullyPresent = 6, kPartlyPresent = 7 };

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
  std::string dataWrite;  // the data write GUID, which a child's parent_linkage names
};

// The two copies of a structure: their signatures, and whether any holds its checksum (and,
// for a header, is of the version this reader knows).
enum class Copies { Missing, Broken, OtherVersion, Valid };

// The guest in payload blocks; a differencing disk's in logical sectors, each its own or
// its parent's as its block's state and, for a block partly present, its chunk's sector
// bitmap say (a bit a sector, from the lowest).
class VhdxDisk : public BlockDisk {
 public:
  VhdxDisk(std::shared_ptr<ByteSource> file, uint64_t size, uint64_t blockBytes,
           uint64_t chunkRatio, EntryTable table, uint32_t sectorBytes, bool differencing)
      : BlockDisk(file, size, differencing ? sectorBytes : blockBytes),
        m_file(file),
        m_payloadBytes(blockBytes),
        m_sectorBytes(sectorBytes),
        m_chunkRatio(chunkRatio),
        m_differencing(differencing),
        m_table(std::move(table)) {}

 protected:
  Place Locate(uint64_t unit) override {
    const uint64_t at = m_differencing ? unit * m_sectorBytes : unit * m_payloadBytes;
    const uint64_t block = at / m_payloadBytes;
    const std::optional<uint64_t> entry = m_table[block + block / m_chunkRatio];
    if (!entry) return Unknown();
    const uint64_t state = *entry & 7;
    const uint64_t dataAt = (*entry >> 20) * kMiB + at % m_payloadBytes;
    if (state == kFullyPresent) return At(dataAt);
    if (state == kPartlyPresent) {
      const std::optional<bool> own = SectorIsOwn(block / m_chunkRatio, at / m_sectorBytes);
      if (!own) return Unknown();
      return *own ? At(dataAt) : Parents();
    }
    if (state == kNotPresent) return Parents();
    return state <= 3 ? Zeros() : Unknown();
  }

 private:
  // Whether `sector` lies in this file, from the sector bitmap of chunk `chunk`.
  std::optional<bool> SectorIsOwn(uint64_t chunk, uint64_t sector) {
    const std::optional<uint64_t> entry = m_table[(chunk + 1) * (m_chunkRatio + 1) - 1];
    if (!entry) return std::nullopt;
    if ((*entry & 7) != kFullyPresent) return false;  // no bitmap: every sector the parent's
    const uint64_t bit = sector - chunk * m_chunkRatio * (m_payloadBytes / m_sectorBytes);
    uint8_t byte = 0;
    if (!m_file->Read((*entry >> 20) * kMiB + bit / 8, &byte, 1)) return std::nullopt;
    return (byte >> (bit % 8) & 1) != 0;
  }

  std::shared_ptr<ByteSource> m_file;
  uint64_t m_payloadBytes, m_sectorBytes, m_chunkRatio;
  bool m_differencing;
  EntryTable m_table;
};

struct Metadata {
  uint32_t blockBytes = 0;
  bool leaveAllocated = false, hasParent = false;
  uint64_t diskBytes = 0;
  uint32_t logical = 0, physical = 0;
  // The parent locator's entries, each key (ASCII) with its value.
  std::vector<std::pair<std::string, std::u16string>> locator;
};

const char kVhdxLocator[] = "B04AEFB7-D19E-4A81-B789-25B8E9445913";

// A UTF-16LE string of the locator.
std::u16string Utf16Of(const uint8_t* utf16, size_t bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes; i += 2) text += static_cast<char16_t>(le::U16(utf16 + i));
  return text;
}

// Text that is ASCII as bytes; other text as none.
std::string AsciiOf(const std::u16string& text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c >= 0x80) return "";
    ascii += static_cast<char>(c);
  }
  return ascii;
}

class Reader {
 public:
  explicit Reader(const ImageFile& named) : m_named(named), m_file(named.bytes) {}

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
    ImageOpening opening = Blocks(batAt, batBytes, m);
    if (!opening.image) return opening;
    opening.image->identity = header.dataWrite;
    if (!m.hasParent) return opening;
    // A checkpoint over its parent: the locator's places in order, the first that opens used,
    // and it must be the disk the child was made over (its data write GUID the linkage).
    const auto value = [&](const char* key) {
      for (const auto& kv : m.locator)
        if (kv.first == key) return kv.second;
      return std::u16string();
    };
    const std::string linkage = AsciiOf(value("parent_linkage"));
    const std::string linkage2 = AsciiOf(value("parent_linkage2"));
    std::vector<std::u16string> names;
    for (const char* key : {"relative_path", "volume_path", "absolute_win32_path"})
      if (!value(key).empty()) names.push_back(value(key));
    ParentFound parent =
        OpenParentAtFirst(m_named.path, names, m_named.chain, [&](const DiskImage& p) {
          const auto same = [&](const std::string& a) {
            return !a.empty() && a.size() == p.identity.size() &&
                   std::equal(a.begin(), a.end(), p.identity.begin(), [](char x, char y) {
                     return std::toupper(static_cast<unsigned char>(x)) ==
                            std::toupper(static_cast<unsigned char>(y));
                   });
          };
          return same(linkage) || same(linkage2)
                     ? std::string()
                     : "its data write GUID is " + p.identity + ", the child names " + linkage;
        });
    if (parent.refusal.refusal != ImageRefusal::None) return std::move(parent.refusal);
    static_cast<BlockDisk*>(opening.image->guest.get())->SetParent(parent.guest);
    opening.parents = std::move(parent.parents);
    return opening;
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
      current->dataWrite = "{" + GuidText(h->data() + 32) + "}";
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
      } else if (guid == kParentLocator) {
        if (ImageOpening refusal = Locator(
                at + offset,
                offset >= kTableBytes && offset <= size && length <= size - offset ? length : 0, m);
            refusal.refusal != ImageRefusal::None)
          return refusal;
      } else if (guid != kVirtualDiskId && required) {
        // An item a reader must understand to read the disk right ([MS-VHDX] 2.6.1.2).
        return Refused(ImageRefusal::UnknownFormat,
                       "it requires a metadata item Tessarel does not know (" + guid + ")");
      }
    }
    const auto sector = [](uint32_t s) { return s == 512 || s == 4096; };
    if (!parameters || !diskSize || !logical || !physical || !sector(m->logical) ||
        !sector(m->physical) || !PowerOfTwo(m->blockBytes) || m->blockBytes < kMiB ||
        m->blockBytes > 256 * kMiB || m->diskBytes == 0 || m->diskBytes > kLargestDisk ||
        m->diskBytes % m->logical != 0)
      return Refused(ImageRefusal::UnknownFormat, "its metadata names sizes a VHDX cannot have");
    return {};
  }

  // The parent locator ([MS-VHDX] 2.6.2.6): its type, then keys and values in UTF-16LE.
  ImageOpening Locator(uint64_t at, uint64_t length, Metadata* m) {
    constexpr size_t kMostLocatorBytes = 64 * kKiB;
    const auto bytes = length >= 20 && length <= kMostLocatorBytes
                           ? Bytes(at, static_cast<size_t>(length))
                           : std::nullopt;
    // A locator that cannot be read leaves the checkpoint's parent unknown.
    if (!bytes || GuidText(bytes->data()) != kVhdxLocator)
      return Refused(ImageRefusal::Differencing, "its parent locator is not one Tessarel knows");
    const uint16_t count = le::U16(bytes->data() + 18);
    if (20 + uint64_t{count} * 12 > length)
      return Refused(ImageRefusal::Differencing, "its parent locator is cut short");
    for (uint16_t i = 0; i < count; ++i) {
      const uint8_t* e = bytes->data() + 20 + 12 * i;
      const uint32_t keyAt = le::U32(e), valueAt = le::U32(e + 4);
      const uint16_t keyBytes = le::U16(e + 8), valueBytes = le::U16(e + 10);
      if (keyAt > length || keyBytes > length - keyAt || valueAt > length ||
          valueBytes > length - valueAt)
        return Refused(ImageRefusal::Differencing, "its parent locator points past itself");
      m->locator.emplace_back(AsciiOf(Utf16Of(bytes->data() + keyAt, keyBytes)),
                              Utf16Of(bytes->data() + valueAt, valueBytes));
    }
    return {};
  }

  // The block table, walked once: every allocated block lies inside the file.
  ImageOpening Blocks(uint64_t batAt, uint64_t batBytes, const Metadata& m) {
    const uint64_t chunkRatio = (uint64_t{1} << 23) * m.logical / m.blockBytes;
    const uint64_t blocks = m.diskBytes / m.blockBytes + (m.diskBytes % m.blockBytes != 0);
    // A differencing disk keeps a sector bitmap entry after every chunk, the last too.
    const uint64_t entries = m.hasParent ? (blocks + chunkRatio - 1) / chunkRatio * (chunkRatio + 1)
                                         : blocks + (blocks - 1) / chunkRatio;
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
      if (state == kPartlyPresent && !m.hasParent)
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
    image.guest = std::make_unique<VhdxDisk>(m_file, m.diskBytes, m.blockBytes, chunkRatio,
                                             std::move(table), m.logical, m.hasParent);
    ImageOpening opening;
    opening.image = std::move(image);
    return opening;
  }

  const ImageFile& m_named;
  std::shared_ptr<ByteSource> m_file;
};

}  // namespace

ImageOpening ReadVhdx(const ImageFile& file) { return Reader(file).Read(); }
