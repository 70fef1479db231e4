// VMDK, as VMware's Virtual Disk Format 1.1 and 5.0 documents describe it: a text descriptor
// (a small file of its own, or embedded in a sparse extent) whose extent lines name the
// disk's pieces in order (access, size in sectors, type, file name, offset); a sparse
// extent ("KDMV", little-endian) keeps its grains where a grain directory and grain tables
// place them (an entry of 1 a grain of zeros, where the header says so); a stream-optimized
// one keeps deflated grains behind markers and its directory at the end, in a footer.
#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "image/block_disk.h"
#include "image/disk_image.h"
#include "image/image_format.h"
#include "disk/little_endian.h"
#include "platform/ansi_text.h"

namespace {

constexpr uint64_t kSector = 512;
constexpr uint64_t kGdAtEnd = ~uint64_t{0};
constexpr uint32_t kZeroedGrainEntries = 1u << 2;  // flags: a GT entry of 1 is zeros
constexpr uint32_t kCompressedGrains = 1u << 16;
constexpr uint32_t kMarkers = 1u << 17;
// VMware splits a disk of up to 62 TB in 2 GB extents: 31,744 lines of some 45 bytes.
constexpr uint64_t kMostDescriptorBytes = 2u << 20;
constexpr size_t kMostExtents = 32768;
constexpr uint64_t kLargestDisk = 1ull << 46;
// The walk's bookkeeping for one extent: where each grain table starts, 8 bytes a table.
constexpr uint64_t kWalkBudget = 64u << 20;

// A disk of pieces one after another: the extents, each a source of its own (none: zeros).
class Extents : public ByteSource {
 public:
  struct Piece {
    uint64_t start, length;
    std::shared_ptr<ByteSource> source;
  };
  explicit Extents(std::vector<Piece> pieces) : m_pieces(std::move(pieces)) {}
  uint64_t Size() const override {
    return m_pieces.empty() ? 0 : m_pieces.back().start + m_pieces.back().length;
  }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override {
    if (!Inside(offset, size)) return false;
    for (size_t done = 0; done < size;) {
      const uint64_t at = offset + done;
      const auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), at,
                                          [](uint64_t a, const Piece& p) { return a < p.start; }) -
                         1;
      const uint64_t within = at - piece->start;
      const auto part =
          static_cast<size_t>(std::min<uint64_t>(size - done, piece->length - within));
      if (!piece->source)
        std::memset(out + done, 0, part);
      else if (!piece->source->Read(within, out + done, part))
        return false;
      done += part;
    }
    return true;
  }

 private:
  std::vector<Piece> m_pieces;
};

// A flat extent's bytes, from its offset in its file.
class Offset : public ByteSource {
 public:
  Offset(std::shared_ptr<ByteSource> file, uint64_t at, uint64_t size)
      : m_file(std::move(file)), m_at(at), m_size(size) {}
  uint64_t Size() const override { return m_size; }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override {
    return Inside(offset, size) && m_file->Read(m_at + offset, out, size);
  }

 private:
  std::shared_ptr<ByteSource> m_file;
  uint64_t m_at, m_size;
};

struct SparseHeader {
  uint32_t flags = 0;
  uint64_t capacity = 0, grainSectors = 0, descriptorAt = 0, descriptorSectors = 0, gdAt = 0;
  uint32_t gtEntries = 0;
  uint16_t compression = 0;
  bool Stream() const { return (flags & kCompressedGrains) != 0; }
};

bool ReadHeader(ByteSource& file, uint64_t at, SparseHeader* h) {
  uint8_t b[512];
  if (!file.Read(at, b, sizeof b) || std::memcmp(b, "KDMV", 4) != 0) return false;
  const uint32_t version = le::U32(b + 4);
  if (version < 1 || version > 3) return false;
  h->flags = le::U32(b + 8);
  h->capacity = le::U64(b + 12);
  h->grainSectors = le::U64(b + 20);
  h->descriptorAt = le::U64(b + 28);
  h->descriptorSectors = le::U64(b + 36);
  h->gtEntries = le::U32(b + 44);
  h->gdAt = le::U64(b + 56);
  h->compression = le::U16(b + 77);
  return true;
}

// One sparse extent: its grains, found through its directory and tables (read in 1 MiB
// pages of the file, however they are spread), inflated where they are compressed.
class SparseExtent : public BlockDisk {
 public:
  SparseExtent(std::shared_ptr<ByteSource> file, const SparseHeader& h, EntryTable directory)
      : BlockDisk(file, h.capacity * kSector, h.grainSectors * kSector),
        m_header(h),
        m_directory(std::move(directory)),
        m_tables(file, 0, 4, file->Size() / 4, false) {}

  // Grain `grain`'s table entry: none where a table cannot be read or lies outside.
  std::optional<uint64_t> Entry(uint64_t grain) {
    const std::optional<uint64_t> table = m_directory[grain / m_header.gtEntries];
    if (!table) return std::nullopt;
    if (*table == 0) return uint64_t{0};  // no table: the grains are the parent's, or zeros
    return m_tables[*table * kSector / 4 + grain % m_header.gtEntries];
  }
  bool ZeroedEntries() const { return (m_header.flags & kZeroedGrainEntries) != 0; }
  // After the walk: a sector of the directory and one table at a time.
  void Walked() {
    m_directory.Shrink(kSector);
    m_tables.Shrink(uint64_t{m_header.gtEntries} * 4);
  }

 protected:
  Place Locate(uint64_t grain) override {
    const std::optional<uint64_t> entry = Entry(grain);
    if (!entry) return Unknown();
    if (*entry == 1 && ZeroedEntries()) return Zeros();
    if (*entry == 0) return Parents();
    const uint64_t at = *entry * kSector;
    if (!m_header.Stream()) return At(at);
    // A grain marker: the grain's sector (8 bytes) and its deflated size (4), then the data.
    uint8_t marker[12];
    if (!File()->Read(at, marker, sizeof marker)) return Unknown();
    return Deflated({at + 12, le::U32(marker + 8), Deflate::Zlib});
  }

 private:
  SparseHeader m_header;
  EntryTable m_directory;
  EntryTable m_tables;  // the whole file, as 32-bit entries
};

struct ExtentLine {
  std::string access, type, file;
  uint64_t sectors = 0, offset = 0;
};

struct Descriptor {
  std::string cid, parentCid = "ffffffff", parentHint, changeTrackPath;
  std::vector<ExtentLine> extents;
  std::string bad;  // a line that could not be read
};

std::string Trimmed(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r");
  const size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The words of `line` between blanks, at most `most`.
std::vector<std::string> Words(const std::string& line, size_t most) {
  std::vector<std::string> words;
  for (size_t at = line.find_first_not_of(" \t"); at != std::string::npos && words.size() < most;) {
    const size_t end = line.find_first_of(" \t", at);
    words.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
    at = end == std::string::npos ? end : line.find_first_not_of(" \t", end);
  }
  return words;
}

// Parsed without streams: the C++ locale machinery they pull in would double the console.
Descriptor Parse(const std::string& whole) {
  Descriptor d;
  const std::string text = whole.substr(0, whole.find('\0'));
  for (size_t from = 0; from < text.size();) {
    const size_t end = std::min(text.find('\n', from), text.size());
    std::string line = Trimmed(text.substr(from, end - from));
    from = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const std::string first = line.substr(0, line.find_first_of(" \t"));
    const bool extent = first == "RW" || first == "RDONLY" || first == "NOACCESS";
    if (!extent && eq == std::string::npos) {
      d.bad = line;
      continue;
    }
    if (!extent) {
      const std::string key = Trimmed(line.substr(0, eq));
      std::string value = Trimmed(line.substr(eq + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      // CIDs are hexadecimal, written in either case.
      std::string lower = value;
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (key == "CID") d.cid = lower;
      if (key == "parentCID") d.parentCid = lower;
      if (key == "parentFileNameHint") d.parentHint = value;
      if (key == "changeTrackPath") d.changeTrackPath = value;
      continue;
    }
    // RW 4192256 SPARSE "disk.vmdk" [offset]
    ExtentLine e;
    const std::vector<std::string> words = Words(line, 3);
    const std::string sectors = words.size() > 1 ? words[1] : "";
    e.access = words[0];
    e.type = words.size() > 2 ? words[2] : "";
    const size_t open = line.find('"'), close = line.rfind('"');
    if (open != std::string::npos && close > open) {
      e.file = line.substr(open + 1, close - open - 1);
      const std::string rest = Trimmed(line.substr(close + 1));
      if (!rest.empty() && rest.find_first_not_of("0123456789") == std::string::npos &&
          rest.size() <= 19)
        e.offset = std::stoull(rest);
      else if (!rest.empty())
        d.bad = line;
    }
    if (sectors.empty() || sectors.size() > 19 ||
        sectors.find_first_not_of("0123456789") != std::string::npos) {
      d.bad = line;
      continue;
    }
    e.sectors = std::stoull(sectors);
    d.extents.push_back(e);
  }
  return d;
}

// A file name beside the descriptor, in ASCII, without a folder, a drive or a stream.
bool PlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x80;
         });
}

// What a VMDK is read as, while its extents are opened: the pieces, its sparse extents'
// grains judged, and the kind of disk.
class Reader {
 public:
  explicit Reader(const ImageFile& named) : m_named(named) {}

  ImageOpening Read() {
    std::string text;
    if (ImageOpening refused = DescriptorText(&text); refused.refusal != ImageRefusal::None)
      return refused;
    const Descriptor d = Parse(text);
    if (!d.bad.empty())
      return Refused(ImageRefusal::UnknownFormat,
                     "its descriptor holds a line Tessarel cannot read");
    ImageOpening opening;
    if (d.parentCid != "ffffffff") {
      ParentFound parent = FindParent(d);
      if (parent.refusal.refusal != ImageRefusal::None) return std::move(parent.refusal);
      m_parent = parent.guest;
      opening.parents = std::move(parent.parents);
    }
    if (d.extents.empty())
      return Refused(ImageRefusal::UnknownFormat,
                     "an extent of a larger disk: check the descriptor that names it");
    // A sparse file whose own descriptor names one extent is that extent, whatever name the
    // file was copied or renamed to.
    m_self = m_named.ends.Head("KDMV") && d.extents.size() == 1;
    if (d.extents.size() > kMostExtents)
      return Refused(ImageRefusal::UnknownFormat,
                     "its descriptor names more extents than any disk has");
    std::vector<Extents::Piece> pieces;
    uint64_t start = 0;
    for (const ExtentLine& e : d.extents) {
      if (e.sectors > kLargestDisk / kSector - start / kSector)
        return Refused(ImageRefusal::UnknownFormat, "its extents are larger than any disk");
      Extents::Piece piece{start, e.sectors * kSector, nullptr};
      if (ImageOpening refusal = Open(e, start, &piece.source);
          refusal.refusal != ImageRefusal::None)
        return refusal;
      pieces.push_back(piece);
      start += piece.length;
    }
    if (start == 0) return Refused(ImageRefusal::UnknownFormat, "its extents hold no sector");
    DiskImage image;
    image.format = m_stream   ? ImageFormat::VmdkStream
                   : m_sparse ? ImageFormat::VmdkSparse
                              : ImageFormat::VmdkFlat;
    image.virtualSize = start;
    image.sectorSizeFrom = SectorSizeFrom::Default;
    if (m_sparse) {
      m_container.transport = m_stream;
      if (m_stream) m_container.blocksAligned.reset();
      image.container = m_container;
    }
    image.guest = std::make_unique<Extents>(std::move(pieces));
    image.identity = d.cid;
    image.members = std::move(m_members);
    // Named, never opened: it holds which blocks changed, no sector of the disk.
    if (PlainName(d.changeTrackPath))
      image.members.push_back({FolderOf(m_named.path) + d.changeTrackPath, MemberKind::ChangeTracking});
    opening.image = std::move(image);
    return opening;
  }

 private:
  // The descriptor's text: in a sparse extent where it holds one, else the whole file.
  ImageOpening DescriptorText(std::string* text) {
    if (m_named.ends.Head("KDMV")) {
      SparseHeader h;
      if (!ReadHeader(*m_named.bytes, 0, &h))
        return Refused(ImageRefusal::UnknownFormat, "its sparse extent header is not one");
      if (h.descriptorAt == 0 || h.descriptorSectors == 0 ||
          h.descriptorSectors * kSector > kMostDescriptorBytes)
        return Refused(ImageRefusal::UnknownFormat,
                       "an extent without a descriptor: check the descriptor that names it");
      text->assign(static_cast<size_t>(h.descriptorSectors * kSector), '\0');
      if (!m_named.bytes->Read(h.descriptorAt * kSector, reinterpret_cast<uint8_t*>(&(*text)[0]),
                               text->size()))
        return Refused(ImageRefusal::OutsideFile, "its descriptor lies past the file's end");
      return {};
    }
    if (m_named.bytes->Size() > kMostDescriptorBytes)
      return Refused(ImageRefusal::UnknownFormat, "a descriptor larger than any VMware writes");
    text->assign(static_cast<size_t>(m_named.bytes->Size()), '\0');
    if (!text->empty() &&
        !m_named.bytes->Read(0, reinterpret_cast<uint8_t*>(&(*text)[0]), text->size()))
      return Refused(ImageRefusal::OutsideFile, "its descriptor could not be read");
    return {};
  }

  // A delta: what it does not hold is its parent's, the parent it was made over (its CID
  // what the delta's parentCID says).
  ParentFound FindParent(const Descriptor& d) {
    return OpenParent(m_named.path, FromUtf8(d.parentHint), m_named.chain,
                      [&](const DiskImage& p) {
                        return p.identity == d.parentCid
                                   ? std::string()
                                   : "its CID is " + (p.identity.empty() ? "none" : p.identity) +
                                         ", the delta names " + d.parentCid;
                      });
  }
  // The file an extent line names, beside the descriptor; the descriptor's own where it
  // names that.
  ImageOpening File(const std::string& name, std::shared_ptr<ByteSource>* file) {
    if (!PlainName(name))
      return Refused(ImageRefusal::UnknownFormat,
                     "its extent \"" + name + "\" is not a plain file name beside it");
    const std::string folder = FolderOf(m_named.path);
    const std::string own = m_named.path.substr(folder.size());
    const auto same = [](const std::string& a, const std::string& b) {
      return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
             });
    };
    // No disk VMware or qemu writes names one file twice: walked twice, it would cost twice.
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!m_files.insert(key).second)
      return Refused(ImageRefusal::UnknownFormat,
                     "its descriptor names the extent \"" + name + "\" twice");
    if (m_self || same(name, own)) {
      *file = m_named.bytes;
      return {};
    }
    m_members.push_back({folder + name, MemberKind::Extent});
    auto opened = std::make_shared<FileSource>(folder + name);
    if (!opened->IsOpen()) {
      ImageOpening refusal =
          Refused(ImageRefusal::CannotOpen, "its extent \"" + name + "\" could not be opened");
      refusal.error = opened->OpenError();
      return refusal;
    }
    *file = opened;
    return {};
  }

  ImageOpening Open(const ExtentLine& e, uint64_t start, std::shared_ptr<ByteSource>* source) {
    if (e.access == "NOACCESS")
      return Refused(ImageRefusal::UnknownFormat, "an extent it marks NOACCESS");
    if (e.type == "ZERO") return {};
    if (e.type != "FLAT" && e.type != "VMFS" && e.type != "SPARSE")
      return Refused(ImageRefusal::UnknownFormat,
                     "its extents are of type " + e.type + ", which Tessarel does not read");
    std::shared_ptr<ByteSource> file;
    if (ImageOpening refusal = File(e.file, &file); refusal.refusal != ImageRefusal::None)
      return refusal;
    const uint64_t bytes = e.sectors * kSector;
    if (e.type != "SPARSE") {
      if (e.offset > file->Size() / kSector || bytes > file->Size() - e.offset * kSector)
        return Refused(ImageRefusal::OutsideFile, "an extent lies past its file's end");
      *source = std::make_shared<Offset>(file, e.offset * kSector, bytes);
      return {};
    }
    return Sparse(file, bytes, start, source);
  }

  // Every grain located from the tables, none of them read: where each lies in the file
  // against where it lies in the guest, from byte `start` of the disk for `bytes`.
  ImageOpening WalkGrains(ByteSource& file, const SparseHeader& h, EntryTable& directory,
                          SparseExtent& extent, uint64_t bytes, uint64_t start) {
    const uint64_t grainBytes = h.grainSectors * kSector;
    const uint64_t grains = (bytes + grainBytes - 1) / grainBytes;
    const uint64_t tables = (grains + h.gtEntries - 1) / h.gtEntries;
    // Where each table starts: two that share a sector are refused, so that every table
    // byte is walked once and the walk costs what the file holds.
    const uint64_t tableBytes = uint64_t{h.gtEntries} * 4;
    const uint64_t tableSectors = (tableBytes + kSector - 1) / kSector;
    std::vector<uint64_t> starts;
    for (uint64_t t = 0; t < tables; ++t) {
      const std::optional<uint64_t> table = directory[t];
      if (!table)
        return Refused(ImageRefusal::OutsideFile, "its grain directory could not be read");
      if (*table == 0) continue;
      if (*table > file.Size() / kSector || tableBytes > file.Size() - *table * kSector)
        return Refused(ImageRefusal::OutsideFile, "its grain directory points outside its tables");
      starts.push_back(*table);
    }
    std::sort(starts.begin(), starts.end());
    for (size_t i = 1; i < starts.size(); ++i)
      if (starts[i] - starts[i - 1] < tableSectors)
        return Refused(ImageRefusal::UnknownFormat, "its grain tables overlap");
    std::vector<uint64_t>().swap(starts);
    // Every grain located from the tables, none of them read.
    for (uint64_t t = 0; t < tables; ++t) {
      if (directory[t].value_or(0) == 0) continue;
      for (uint64_t i = 0; i < h.gtEntries && t * h.gtEntries + i < grains; ++i) {
        const uint64_t grain = t * h.gtEntries + i;
        const std::optional<uint64_t> entry = extent.Entry(grain);
        if (!entry) return Refused(ImageRefusal::OutsideFile, "its grain tables could not be read");
        if (*entry == 0 || (*entry == 1 && extent.ZeroedEntries())) continue;
        if (*entry > file.Size() / kSector)
          return Refused(ImageRefusal::OutsideFile, "its grain tables point past the file's end");
        if (h.Stream()) {
          ++m_container.compressedBlocks;
          continue;
        }
        m_container.blocksAligned = m_container.blocksAligned.value_or(true) &&
                                    OnFileGrid(*entry * kSector, start + grain * grainBytes);
      }
    }
    return {};
  }

  ImageOpening Sparse(std::shared_ptr<ByteSource> file, uint64_t bytes, uint64_t start,
                      std::shared_ptr<ByteSource>* source) {
    SparseHeader h;
    if (!ReadHeader(*file, 0, &h))
      return Refused(ImageRefusal::UnknownFormat, "a sparse extent whose header is not one");
    // A stream-optimized file's directory lies in its footer, before its last sector.
    if (h.gdAt == kGdAtEnd) {
      if (file->Size() < 1024 || !ReadHeader(*file, file->Size() - 1024, &h) || h.gdAt == kGdAtEnd)
        return Refused(ImageRefusal::UnknownFormat, "a stream-optimized extent without its footer");
    }
    const bool markers = (h.flags & kMarkers) != 0;
    if (h.Stream() && (h.compression != 1 || !markers))
      return Refused(ImageRefusal::UnknownFormat, "its grains are compressed in an unknown way");
    // A grain is a power of two of at least 8 sectors (4 KiB), as VMware's format demands.
    if (h.grainSectors < 8 || h.grainSectors > 4096 ||
        (h.grainSectors & (h.grainSectors - 1)) != 0 || h.gtEntries == 0 || h.gtEntries > 4096 ||
        h.capacity * kSector < bytes || h.capacity > kLargestDisk / kSector)
      return Refused(ImageRefusal::UnknownFormat, "its header names sizes a VMDK cannot have");
    // The grains the descriptor's line uses, not every one the header could hold.
    const uint64_t grainBytes = h.grainSectors * kSector;
    const uint64_t grains = (bytes + grainBytes - 1) / grainBytes;
    const uint64_t tables = (grains + h.gtEntries - 1) / h.gtEntries;
    if (h.gdAt > file->Size() / kSector || tables * 4 > file->Size() - h.gdAt * kSector)
      return Refused(ImageRefusal::OutsideFile, "its grain directory lies past the file's end");
    if (tables > kWalkBudget / 8)
      return Refused(ImageRefusal::UnknownFormat,
                     "its grain directory names " + std::to_string(tables) +
                         " tables, more than Tessarel walks in " +
                         std::to_string(kWalkBudget >> 20) + " MiB");
    EntryTable directory(file, h.gdAt * kSector, 4, tables, false);
    auto extent = std::make_shared<SparseExtent>(file, h, directory);
    if (ImageOpening refused = WalkGrains(*file, h, directory, *extent, bytes, start);
        refused.refusal != ImageRefusal::None)
      return refused;
    extent->Walked();
    if (m_parent)
      extent->SetParent(std::make_shared<Offset>(
          m_parent, start,
          m_parent->Size() > start ? std::min(bytes, m_parent->Size() - start) : 0));
    m_sparse = true;
    m_stream = m_stream || h.Stream();
    m_container.blockBytes = std::max(m_container.blockBytes, grainBytes);
    *source = std::make_shared<SharedSource>(extent, bytes);
    return {};
  }

  const ImageFile& m_named;
  std::set<std::string> m_files;  // the extents' files named so far, in lower case
  std::vector<MemberFile> m_members;
  bool m_sparse = false, m_stream = false, m_self = false;
  std::shared_ptr<ByteSource> m_parent;  // a delta's
  BlockContainer m_container;
};

}  // namespace

ImageOpening ReadVmdk(const ImageFile& named) { return Reader(named).Read(); }
