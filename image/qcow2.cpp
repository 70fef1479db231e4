// QCOW2, as qemu's docs/interop/qcow2.txt specifies it: a big-endian header (versions 2 and
// 3), the cluster size, a two-level table (L1 entries name L2 tables, L2 entries name data
// clusters, compressed clusters, or clusters that read as zeros); version 3's incompatible
// features, of which this reader knows the dirty bit, extended L2 entries (32 subclusters a
// cluster, each allocated or zero on its own) and the compression type (deflate read; zstd
// refused).
#include <algorithm>
#include <cstring>
#include <vector>
#include <string>

#include "image/big_endian.h"
#include "image/block_disk.h"
#include "image/disk_image.h"
#include "image/image_format.h"

namespace {

constexpr uint64_t kOffsetMask = 0x00FFFFFFFFFFFE00ull;  // bits 9 to 55
constexpr uint64_t kCompressed = 1ull << 62;
constexpr uint64_t kAllZeros = 1;             // a standard L2 entry's bit 0 (version 3)
constexpr uint64_t kMostL1Bytes = 32u << 20;  // qemu's own limit
constexpr uint64_t kLargestDisk = 1ull << 46;
enum Incompatible : uint64_t {
  kDirty = 1,
  kCorrupt = 2,
  kExternalData = 4,
  kCompressionType = 8,
  kExtendedL2 = 16,
};

// One guest cluster's place: in the file, compressed, or nothing (zeros).
struct Cluster {
  bool known = true;
  std::optional<uint64_t> dataAt;
  std::optional<uint64_t> compressedAt;
  uint32_t compressedBytes = 0;
  uint32_t allocated = 0, zeros = 0;  // the subclusters' bitmaps (all or none without them)
};

class Tables {
 public:
  Tables(std::shared_ptr<ByteSource> file, uint32_t clusterBits, bool extended, uint64_t l1At,
         uint32_t l1Entries)
      : m_file(file),
        m_clusterBits(clusterBits),
        m_extended(extended),
        m_l2Entries((uint64_t{1} << clusterBits) / (extended ? 16 : 8)),
        m_l1(file, l1At, 8, l1Entries, true),
        m_l2(file, 0, 8, file->Size() / 8, true) {}

  uint64_t L2Entries() const { return m_l2Entries; }
  // After the walk, which reads tables side by side in large pages: the guest's few reads
  // take a page of the L1 table and one L2 table each.
  void Walked() {
    m_l1.Shrink(512);
    m_l2.Shrink(uint64_t{1} << m_clusterBits);
  }
  // The L2 table L1 entry `i` names: 0 for none, none where the entry cannot be read.
  std::optional<uint64_t> L2At(uint64_t i) {
    const std::optional<uint64_t> l1 = m_l1[i];
    if (!l1) return std::nullopt;
    return *l1 & kOffsetMask;
  }

  // Where guest cluster `n` lies; unknown where a table cannot be read or points outside.
  Cluster Find(uint64_t n) {
    Cluster c;
    const std::optional<uint64_t> l1 = m_l1[n / m_l2Entries];
    if (!l1) return Unknown();
    const uint64_t l2At = *l1 & kOffsetMask;
    if (l2At == 0) return c;
    const uint64_t clusterBytes = uint64_t{1} << m_clusterBits;
    if (l2At % clusterBytes != 0 || l2At > m_file->Size() || clusterBytes > m_file->Size() - l2At)
      return Unknown();
    const uint64_t i = l2At / 8 + (n % m_l2Entries) * (m_extended ? 2 : 1);
    const std::optional<uint64_t> entry = m_l2[i];
    const std::optional<uint64_t> bitmap = m_extended ? m_l2[i + 1] : uint64_t{0};
    if (!entry || !bitmap) return Unknown();
    if (*entry & kCompressed) {
      // Its offset in the low bits, then the count of 512-byte sectors past the first.
      const uint32_t x = 62 - (m_clusterBits - 8);
      const uint64_t at = *entry & ((uint64_t{1} << x) - 1);
      const uint64_t sectors = ((*entry & ((uint64_t{1} << 62) - 1)) >> x) + 1;
      if (m_extended && *bitmap != 0) return Unknown();
      if (at > m_file->Size()) return Unknown();
      c.compressedAt = at;
      c.compressedBytes = static_cast<uint32_t>(sectors * 512 - (at % 512));
      return c;
    }
    const uint64_t dataAt = *entry & kOffsetMask;
    c.allocated = static_cast<uint32_t>(*bitmap);
    c.zeros = static_cast<uint32_t>(*bitmap >> 32);
    // Without subclusters a cluster is allocated where it has an offset, zeros where its
    // entry says so, and else its parent's.
    if (!m_extended && (*entry & kAllZeros) != 0)
      c.zeros = ~0u;
    else if (!m_extended && dataAt != 0)
      c.allocated = ~0u;
    if (dataAt == 0 || c.allocated == 0) return c;
    // With subclusters only those allocated are written: the file may end past the last.
    uint64_t used = clusterBytes;
    if (m_extended) {
      uint32_t last = 31;
      while ((c.allocated >> last & 1) == 0) --last;
      used = (uint64_t{last} + 1) * (clusterBytes / 32);
    }
    if (dataAt % clusterBytes != 0 || dataAt > m_file->Size() || used > m_file->Size() - dataAt)
      return Unknown();
    c.dataAt = dataAt;
    return c;
  }

 private:
  static Cluster Unknown() {
    Cluster c;
    c.known = false;
    return c;
  }
  std::shared_ptr<ByteSource> m_file;
  uint32_t m_clusterBits;
  bool m_extended;
  uint64_t m_l2Entries;
  EntryTable m_l1;
  EntryTable m_l2;  // the whole file as 8-byte entries: the L2 tables where they lie
};

// The guest in blocks of a cluster, or of a subcluster where entries are extended.
class Qcow2Disk : public BlockDisk {
 public:
  Qcow2Disk(std::shared_ptr<ByteSource> file, uint64_t size, uint32_t clusterBits, bool extended,
            Tables tables)
      : BlockDisk(file, size, (uint64_t{1} << clusterBits) >> (extended ? 5 : 0)),
        m_extended(extended),
        m_subclusterBits(extended ? clusterBits - 5 : clusterBits),
        m_tables(std::move(tables)) {}

 protected:
  Place Locate(uint64_t block) override {
    const uint64_t cluster = m_extended ? block / 32 : block;
    const uint32_t sub = m_extended ? static_cast<uint32_t>(block % 32) : 0;
    const Cluster c = m_tables.Find(cluster);
    if (!c.known) return Unknown();
    // A compressed cluster inflates whole, its subclusters read from it (with extended L2
    // entries its bitmap word is 0: qcow2.txt).
    if (c.compressedAt)
      return Deflated({*c.compressedAt, c.compressedBytes, Deflate::Raw,
                       m_extended ? uint64_t{32} << m_subclusterBits : 0,
                       uint64_t{sub} << m_subclusterBits});
    if (c.dataAt && (c.allocated >> sub & 1))
      return At(*c.dataAt + (uint64_t{sub} << m_subclusterBits));
    return (c.zeros >> sub & 1) ? Zeros() : Parents();
  }

 private:
  bool m_extended;
  uint32_t m_subclusterBits;
  Tables m_tables;
};

std::string Bits(uint64_t features) {
  std::string bits;
  for (int b = 0; b < 64; ++b)
    if (features >> b & 1) bits += (bits.empty() ? "" : ", ") + std::to_string(b);
  return bits;
}

// The header's fields this reader uses.
struct Header {
  uint64_t incompatible = 0;
  uint8_t compression = 0;  // version 3's compression type, where the header holds it
  uint64_t backingAt = 0;
  uint32_t backingBytes = 0;
  uint32_t clusterBits = 0;
  uint64_t size = 0;
  uint32_t l1Entries = 0;
  uint64_t l1At = 0;
  bool extended = false;
  uint32_t encryption = 0;
};

// The header of version 2 or 3; a refusal where it cannot be read or is another version.
std::optional<ImageOpening> ReadHeader(ByteSource& file, Header& header) {
  uint8_t h[112] = {};
  if (!file.Read(0, h, 72)) return Refused(ImageRefusal::OutsideFile, "its header could not be read");
  const uint32_t version = be::U32(h + 4);
  if (version != 2 && version != 3)
    return Refused(ImageRefusal::UnknownFormat, "a QCOW2 version Tessarel does not know");
  if (version == 3) {
    if (!file.Read(72, h + 72, 32))
      return Refused(ImageRefusal::OutsideFile, "its header could not be read");
    header.incompatible = be::U64(h + 72);
    const uint32_t headerBytes = be::U32(h + 100);
    if (headerBytes > 104 && file.Read(104, h + 104, 1)) header.compression = h[104];
  }
  header.backingAt = be::U64(h + 8);
  header.backingBytes = be::U32(h + 16);
  header.clusterBits = be::U32(h + 20);
  header.size = be::U64(h + 24);
  header.encryption = be::U32(h + 32);
  header.l1Entries = be::U32(h + 36);
  header.l1At = be::U64(h + 40);
  header.extended = (header.incompatible & kExtendedL2) != 0;
  return std::nullopt;
}

// What the header asks that this reader does not do, in the order qemu checks it.
std::optional<ImageOpening> FeaturesRefused(const Header& header) {
  const uint64_t incompatible = header.incompatible;
  if (incompatible & kCorrupt)
    return Refused(ImageRefusal::UnknownFormat,
                   "qemu marked it corrupt: check it with qemu-img check");
  if (incompatible & kExternalData)
    return Refused(ImageRefusal::UnknownFormat,
                   "its data lie in an external data file, which Tessarel does not read");
  if ((incompatible & kCompressionType) && header.compression != 0)
    return Refused(ImageRefusal::UnknownFormat,
                   header.compression == 1
                       ? "its clusters are compressed with zstd, which Tessarel does not read: "
                         "convert it with qemu-img"
                       : "its clusters are compressed in an unknown way");
  const uint64_t unknown = incompatible & ~uint64_t{kDirty | kCompressionType | kExtendedL2};
  if (unknown != 0)
    return Refused(
        ImageRefusal::UnknownFormat,
        "it needs incompatible features Tessarel does not know (bits " + Bits(unknown) + ")");
  if (header.encryption != 0)
    return Refused(ImageRefusal::UnknownFormat, "it is encrypted: Tessarel does not read it");
  if (header.clusterBits < 9 || header.clusterBits > 21 ||
      (header.extended && header.clusterBits < 14) || header.size == 0 ||
      header.size > kLargestDisk)
    return Refused(ImageRefusal::UnknownFormat, "its header names sizes a QCOW2 cannot have");
  return std::nullopt;
}

// Every cluster located from the tables, none of its data read: where each lies in the
// file against where it lies in the guest. Each L2 table walked once: a table named twice
// is no table. Their places are kept sorted in a vector (at most 32 MiB, the L1 table's own
// bound), never in a node a table.
std::optional<ImageOpening> WalkClusters(Tables& tables, uint64_t clusters, uint64_t l1Needed,
                                         BlockContainer& container) {
  std::vector<uint64_t> l2Tables;
  for (uint64_t l1 = 0; l1 < l1Needed; ++l1) {
    const std::optional<uint64_t> l2At = tables.L2At(l1);
    if (!l2At) return Refused(ImageRefusal::OutsideFile, "its L1 table could not be read");
    if (*l2At != 0) l2Tables.push_back(*l2At);
  }
  std::sort(l2Tables.begin(), l2Tables.end());
  if (std::adjacent_find(l2Tables.begin(), l2Tables.end()) != l2Tables.end())
    return Refused(ImageRefusal::UnknownFormat, "its L1 table names one L2 table twice");
  std::vector<uint64_t>().swap(l2Tables);
  for (uint64_t l1 = 0; l1 < l1Needed; ++l1) {
    if (tables.L2At(l1).value_or(0) == 0) continue;
    for (uint64_t i = 0; i < tables.L2Entries(); ++i) {
      const uint64_t n = l1 * tables.L2Entries() + i;
      if (n >= clusters) break;
      const Cluster c = tables.Find(n);
      if (!c.known)
        return Refused(ImageRefusal::OutsideFile, "its cluster tables point past the file's end");
      if (c.compressedAt) ++container.compressedBlocks;
      if (c.dataAt)
        container.blocksAligned = container.blocksAligned.value_or(true) &&
                                  OnFileGrid(*c.dataAt, n * container.blockBytes);
    }
  }
  // Only compressed clusters: a file to move a disk in. Any plain one among them is run as
  // it lies, and judged.
  container.transport = container.compressedBlocks > 0 && !container.blocksAligned;
  return std::nullopt;
}

}  // namespace

ImageOpening ReadQcow2(const ImageFile& named) {
  const std::shared_ptr<ByteSource>& file = named.bytes;
  Header h;
  if (std::optional<ImageOpening> refused = ReadHeader(*file, h)) return std::move(*refused);
  if (std::optional<ImageOpening> refused = FeaturesRefused(h)) return std::move(*refused);
  const uint64_t clusterBytes = uint64_t{1} << h.clusterBits;
  Tables tables(file, h.clusterBits, h.extended, h.l1At, h.l1Entries);
  const uint64_t clusters = (h.size + clusterBytes - 1) / clusterBytes;
  const uint64_t l1Needed = (clusters + tables.L2Entries() - 1) / tables.L2Entries();
  if (h.l1Entries < l1Needed || uint64_t{h.l1Entries} * 8 > kMostL1Bytes)
    return Refused(ImageRefusal::UnknownFormat, "its L1 table is shorter than its disk");
  if (h.l1At % clusterBytes != 0 || h.l1At > file->Size() ||
      uint64_t{h.l1Entries} * 8 > file->Size() - h.l1At)
    return Refused(ImageRefusal::OutsideFile, "its L1 table lies past the file's end");
  BlockContainer container{clusterBytes, std::nullopt, false};
  if (std::optional<ImageOpening> refused = WalkClusters(tables, clusters, l1Needed, container))
    return std::move(*refused);
  tables.Walked();
  auto guest =
      std::make_unique<Qcow2Disk>(file, h.size, h.clusterBits, h.extended, std::move(tables));
  ImageOpening opening;
  // A backing file holds what the image does not: its name, read by content; QCOW2 keeps
  // no identity of it to check.
  if (h.backingAt != 0) {
    std::string name(std::min<uint32_t>(h.backingBytes, 1023), '\0');
    if (name.empty() || h.backingAt > file->Size() ||
        !file->Read(h.backingAt, reinterpret_cast<uint8_t*>(&name[0]), name.size()))
      return Refused(ImageRefusal::Differencing, "its backing file's name could not be read");
    ParentFound parent = OpenParent(named.path, FromUtf8(name), named.chain, nullptr);
    if (parent.refusal.refusal != ImageRefusal::None) return std::move(parent.refusal);
    guest->SetParent(parent.guest);
    opening.parents = std::move(parent.parents);
  }
  DiskImage image;
  image.format = ImageFormat::Qcow2;
  image.virtualSize = h.size;
  image.sectorSizeFrom = SectorSizeFrom::Default;
  image.container = container;
  image.guest = std::move(guest);
  opening.image = std::move(image);
  return opening;
}
