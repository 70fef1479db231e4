// The fuzz targets' input formats, each written once as a codec: FuzzReader turns fuzz
// input into a simulated machine (or report rows), FuzzWriter turns a machine (the lab)
// into a seed of the same format. Past the end of the input every field reads as zero.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "inspect/drive_info.h"
#include "inspect/scan.h"
#include "sim/builders.h"
#include "sim/machine.h"

namespace fuzz {

using sim::Bytes;

class FuzzReader {
 public:
  FuzzReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  static constexpr bool kReading = true;

  void U8(uint8_t& v) { v = m_at < m_size ? m_data[m_at++] : 0; }
  template <typename T>
  void Int(T& v) {  // little-endian, sizeof(T) bytes
    uint64_t raw = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      uint8_t b;
      U8(b);
      raw |= static_cast<uint64_t>(b) << (8 * i);
    }
    v = static_cast<T>(raw);
  }
  void Flag(bool& v) {
    uint8_t b;
    U8(b);
    v = b & 1;
  }
  // A flag, or (bit 1 set) none.
  void Tristate(std::optional<bool>& v) {
    uint8_t b;
    U8(b);
    v = b & 2 ? std::nullopt : std::optional<bool>(b & 1);
  }
  template <typename E>
  void Enum(E& e, int count) {
    uint8_t b;
    U8(b);
    e = static_cast<E>(b % count);
  }
  // One of the table's values, or (past the table's end) any value.
  template <typename T, size_t N>
  void Choice(T& v, const T (&table)[N], bool anyValue = true) {
    uint8_t b;
    U8(b);
    if (b < N || !anyValue)
      v = table[b % N];
    else
      Int(v);
  }
  // A length of at most `max`, bounded by what is left, then that many bytes.
  void Blob(Bytes& b, size_t max) {
    uint16_t n;
    Int(n);
    const size_t length = std::min({static_cast<size_t>(n), max, m_size - m_at});
    b.assign(m_data + m_at, m_data + m_at + length);
    m_at += length;
  }
  void Text(std::string& s, size_t max) {
    Bytes b;
    Blob(b, max);
    s.assign(b.begin(), b.end());
  }
  void Raw(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) U8(p[i]);
  }
  template <typename Item, typename Code>
  void List(std::vector<Item>& items, size_t max, Code code) {
    uint8_t n;
    U8(n);
    items.resize(n % (max + 1));
    for (Item& item : items) code(item);
  }
  void Sectors(std::map<uint64_t, Bytes>& sectors, size_t maxSectors, size_t maxBytes) {
    uint8_t n;
    U8(n);
    for (size_t i = 0; i < n % (maxSectors + 1); ++i) {
      uint64_t lba;
      Int(lba);
      Blob(sectors[lba], maxBytes);
    }
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

class FuzzWriter {
 public:
  static constexpr bool kReading = false;
  const Bytes& Data() const { return m_out; }

  void U8(uint8_t& v) { m_out.push_back(v); }
  template <typename T>
  void Int(T& v) {
    const auto raw = static_cast<uint64_t>(v);
    for (size_t i = 0; i < sizeof(T); ++i) m_out.push_back(static_cast<uint8_t>(raw >> (8 * i)));
  }
  void Flag(bool& v) { m_out.push_back(v ? 1 : 0); }
  void Tristate(std::optional<bool>& v) { m_out.push_back(!v ? 2 : *v ? 1 : 0); }
  template <typename E>
  void Enum(E& e, int) {
    m_out.push_back(static_cast<uint8_t>(e));
  }
  template <typename T, size_t N>
  void Choice(T& v, const T (&table)[N], bool = true) {
    const size_t at = std::find(table, table + N, v) - table;
    m_out.push_back(static_cast<uint8_t>(at < N ? at : 0xFF));
    if (at == N) Int(v);
  }
  void Blob(Bytes& b, size_t max) {
    auto n = static_cast<uint16_t>(std::min(b.size(), max));
    Int(n);
    m_out.insert(m_out.end(), b.begin(), b.begin() + n);
  }
  void Text(std::string& s, size_t max) {
    Bytes b(s.begin(), s.end());
    Blob(b, max);
  }
  void Raw(uint8_t* p, size_t n) { m_out.insert(m_out.end(), p, p + n); }
  template <typename Item, typename Code>
  void List(std::vector<Item>& items, size_t max, Code code) {
    auto n = static_cast<uint8_t>(std::min(items.size(), max));
    U8(n);
    for (size_t i = 0; i < n; ++i) code(items[i]);
  }
  void Sectors(std::map<uint64_t, Bytes>& sectors, size_t maxSectors, size_t maxBytes) {
    auto n = static_cast<uint8_t>(std::min(sectors.size(), maxSectors));
    U8(n);
    size_t i = 0;
    for (auto& [lba, bytes] : sectors) {
      if (i++ == n) break;
      uint64_t at = lba;
      Int(at);
      Blob(bytes, maxBytes);
    }
  }

 private:
  Bytes m_out;
};

// Sector sizes the simulated devices may have: what real drives use, and a few odd
// ones. (What the system *reports* for a volume is any value; see CodeVolume.)
constexpr uint32_t kDriveSectorSizes[] = {512, 4096, 520, 1024, 2048, 8192, 65536, 528};
constexpr uint32_t kReportedSectorSizes[] = {512, 4096, 0,     1,           3,           511, 513,
                                             520, 2048, 65536, 0x80000000u, 0xFFFFFFFFu, 40,  39};
constexpr DWORD kCounts[] = {0,  1,  28, 27, 8,   12,  16,  36,  55,
                             56, 71, 72, 98, 100, 144, 527, 528, 529};
constexpr size_t kMaxSectorBytes = 65536;
// Disk numbers: the first ten, the lab's past the gap, and the far end of 32 bits.
constexpr uint32_t kDiskNumbers[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 4000000000u,
                                     0xFFFFFFFFu};
constexpr int64_t kHostDrives[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// A number, or a position or disk as the number it holds (as wide as before they had types).
template <typename IO, typename T>
void Number(IO& io, T& v) {
  io.Int(v);
}
template <typename IO>
void Number(IO& io, Sectors& v) {
  io.Int(v.value);
}
template <typename IO>
void Number(IO& io, ByteCount& v) {
  io.Int(v.value);
}
template <typename IO>
void Number(IO& io, DiskNumber& v) {
  io.Int(v.value);
}
template <typename IO>
void Number(IO& io, bool& v) {
  io.Flag(v);
}

template <typename IO, typename T>
void Optional(IO& io, std::optional<T>& value) {
  bool has = value.has_value();
  T v = value ? *value : T(0);
  io.Flag(has);
  Number(io, v);
  value = has ? std::optional<T>(v) : std::nullopt;
}

template <typename IO>
void CodeSmart(IO& io, sim::SmartAnswer& s) {
  io.Enum(s.kind, 4);
  io.Choice(s.returned, kCounts);
  io.U8(s.driverError);
  io.Raw(s.data.data(), s.data.size());
}

template <typename IO>
void CodeScsi(IO& io, sim::ScsiAnswer& s) {
  io.Flag(s.supported);
  io.Choice(s.returned, kCounts);
  io.U8(s.status);
  io.Blob(s.inquiry, 255);
}

template <typename IO>
void CodeAlignment(IO& io, sim::AlignmentAnswer& a) {
  io.Flag(a.supported);
  const DWORD sizes[] = {512,  4096, 0,    256,          520,         1024,
                         2048, 3072, 8192, 512u * 32768, 512u * 65536};
  io.Choice(a.logical, sizes);
  io.Choice(a.physical, sizes);
  const DWORD offsets[] = {0, 512, 3584, 4096, 100, 1};
  io.Choice(a.offset, offsets);
  io.Choice(a.size, kCounts);
  io.Choice(a.returned, kCounts);
}

// The drive's table: any style, count and entries; types from those Windows names and
// one it does not.
template <typename IO>
void CodeLayout(IO& io, sim::LayoutAnswer& l) {
  io.Flag(l.supported);
  io.Flag(l.hasTable);
  io.Enum(l.style, 2);
  const DWORD claimed[] = {0, 1, 4, 17, 1024, 1025, 0x0AAAAAAB, 0xFFFFFFFFu};
  io.Choice(l.claimedCount, claimed);
  static const std::string kTypes[] = {"", sim::gpt::kEfiSystem, sim::gpt::kMsReserved,
                                       sim::gpt::kLdmData, sim::gpt::kLinuxFileSystem,
                                       "01234567-89AB-CDEF-0123-456789ABCDEF"};
  io.List(l.partitions, 40, [&](sim::PartitionEntry& e) {
    io.Int(e.start);
    io.Int(e.length);
    io.Int(e.mbrType);
    uint8_t type = static_cast<uint8_t>(std::find(std::begin(kTypes), std::end(kTypes), e.gptType) -
                                        std::begin(kTypes));
    io.U8(type);
    e.gptType = kTypes[type % std::size(kTypes)];
    io.Flag(e.logical);
  });
}

template <typename IO>
void CodeDrive(IO& io, sim::Drive& d) {
  io.Enum(d.open, 5);
  CodeSmart(io, d.smart);
  CodeScsi(io, d.scsi);
  CodeAlignment(io, d.alignment);
  io.Choice(d.sectorSize, kDriveSectorSizes, false);
  io.Int(d.sectorCount);
  io.Sectors(d.sectors, 8, kMaxSectorBytes);
  CodeLayout(io, d.layout);
  Optional(io, d.seekPenalty);
  Optional(io, d.trimEnabled);
}

// The pieces a volume lists, and how it answers for them.
template <typename IO>
void CodeExtents(IO& io, sim::Volume& l) {
  io.Flag(l.extentsOk);
  io.Flag(l.zeroExtents);
  const DWORD claimed[] = {0, 1, 2, 40, 128, 129, 0x0AAAAAAB, 0xFFFFFFFFu};
  io.Choice(l.claimedExtents, claimed);
  const DWORD returned[] = {~DWORD{0}, 0, 8, 31, 32, 55, 56, 80, 968};
  io.Choice(l.extentsReturned, returned);
  io.List(l.extents, 40, [&](sim::Extent& e) {
    io.Choice(e.disk, kDiskNumbers);
    io.Int(e.offset);
    io.Int(e.length);
  });
}

template <typename IO>
void CodeVolume(IO& io, sim::Volume& l) {
  io.Text(l.name, 80);
  std::vector<std::string>& paths = l.mountPaths;
  io.List(paths, 40, [&](std::string& path) { io.Text(path, 300); });
  io.Enum(l.type, 8);
  io.Flag(l.freeSpaceOk);
  const DWORD clusters[] = {8, 1, 2, 4, 16, 64, 128, 0, 0x80000000u};
  io.Choice(l.sectorsPerCluster, clusters);
  io.Choice(l.bytesPerSector, kReportedSectorSizes);
  io.Flag(l.fileSystemOk);
  io.Text(l.fileSystem, 200);
  io.Enum(l.open, 5);
  io.Flag(l.partitionInfoOk);
  io.Enum(l.table, 2);
  io.Int(l.startingOffset);
  io.Choice(l.partitionReturned, kCounts);
  io.Flag(l.deviceNumberOk);
  const DWORD types[] = {FILE_DEVICE_DISK, 0x22, 0x2D, 0};
  io.Choice(l.deviceType, types);
  io.Int(l.diskNumber);
  io.Choice(l.deviceNumberReturned, kCounts);
  CodeExtents(io, l);
  io.Choice(l.hostDrive, kHostDrives, false);
  io.Choice(l.ownSectorSize, kDriveSectorSizes, false);
  io.Sectors(l.ownSectors, 2, kMaxSectorBytes);
  io.Int(l.encryptionKey);
}

// A whole machine: its drives by number, then the letters that exist.
template <typename IO>
void CodeMachine(IO& io, sim::Machine& m) {
  std::vector<uint32_t> numbers;
  if (!IO::kReading)
    for (auto& [number, d] : m.drives) numbers.push_back(number);
  io.List(numbers, 16, [&](uint32_t& number) {
    io.Choice(number, kDiskNumbers);
    CodeDrive(io, m.drives[number]);
  });
  std::vector<char> letters;
  if (!IO::kReading)
    for (auto& [letter, l] : m.letters) letters.push_back(letter);
  io.List(letters, 24, [&](char& letter) {
    uint8_t b = static_cast<uint8_t>(letter - 'A');
    io.U8(b);
    letter = static_cast<char>('A' + b % 26);
    CodeVolume(io, m.letters[letter]);
  });
  // Volumes without a letter, by any name, and how the system lists them.
  std::vector<std::string> names;
  if (!IO::kReading)
    for (auto& [name, v] : m.unlettered) names.push_back(name);
  io.List(names, 8, [&](std::string& name) {
    io.Text(name, 80);
    CodeVolume(io, m.unlettered[name]);
  });
  io.Flag(m.enumerationOk);
  io.Flag(m.namesWithoutBackslash);
  const DWORD lengths[] = {0, 1, 100, 261, 262, 65536, 65537};
  io.Choice(m.claimedPathsLength, lengths);
  io.Int(m.platformId);
  // Windows 10, 7 and XP: whether volumes answer FileStorageInfo.
  const DWORD majors[] = {10, 6, 5}, minors[] = {0, 1, 2, 3};
  io.Choice(m.majorVersion, majors, false);
  io.Choice(m.minorVersion, minors, false);
  io.Text(m.computerName, 40);
}

template <typename IO>
void CodeDriveInfo(IO& io, DriveInfo& d) {
  io.Int(d.status);
  io.Int(d.sectorsPerPhysical);
  io.Int(d.alignPhase);
  io.Enum(d.geometry, 4);
  io.Int(d.bytesPerLogicalSector);
  io.Flag(d.sectorSizesDisagree);
  Optional(io, d.seekPenalty);
  Optional(io, d.trimEnabled);
  Optional(io, d.rotationWord);
  Optional(io, d.identityTrim);
  std::string model = d.model.GetString(), serial = d.serial.GetString(),
              firmware = d.firmware.GetString();
  io.Text(model, 40);
  io.Text(serial, 20);
  io.Text(firmware, 8);
  d.model = model.c_str();
  d.serial = serial.c_str();
  d.firmware = firmware.c_str();
}

template <typename IO>
void CodeRow(IO& io, ScanRow& row) {
  uint8_t letter = static_cast<uint8_t>(row.letter);
  io.U8(letter);
  row.letter = static_cast<char>(letter);
  io.Text(row.name, 300);
  io.List(row.paths, 8, [&](std::string& path) { io.Text(path, 300); });
  Optional(io, row.drive);
  std::string name = row.driveName.GetString();
  io.Text(name, 40);
  row.driveName = name.c_str();
  Optional(io, row.dataStart);
  io.Enum(row.verdict, 3);
  io.Text(row.fileSystem, 40);
  io.List(row.extents, 40, [&](PieceVerdict& piece) {
    Optional(io, piece.disk);
    Number(io, piece.start);
    Optional(io, piece.dataStart);
    Optional(io, piece.bytesPastPhysicalStart);
    io.Enum(piece.verdict, 3);
  });
  io.Enum(row.reason, 8);
  io.Flag(row.onMiB);
  bool advised = row.advice.has_value();
  Advice advice = row.advice.value_or(Advice{});
  io.Flag(advised);
  Optional(io, advice.moveTo);
  Optional(io, advice.moveBy);
  Optional(io, advice.moveByBytes);
  io.Enum(advice.moveToRoom.fit, 4);
  Number(io, advice.moveToRoom.shrinkBy);
  Optional(io, advice.moveToMiB);
  io.Enum(advice.moveToMiBRoom.fit, 4);
  Number(io, advice.moveToMiBRoom.shrinkBy);
  Optional(io, advice.clusterBytes);
  io.Int(advice.clusterUnit);
  io.Flag(advice.format);
  row.advice = advised ? std::optional<Advice>(advice) : std::nullopt;
  bool viewed = row.windows.has_value();
  WindowsView view = row.windows.value_or(WindowsView{});
  io.Flag(viewed);
  io.Tristate(view.partitionAligned);
  io.Tristate(view.deviceAligned);
  Optional(io, view.partitionAlignmentOffset);
  io.Int(view.logicalSectorSize);
  io.Int(view.physicalForAtomicity);
  io.Int(view.physicalForPerformance);
  io.Int(view.fileSystemEffective);
  row.windows = viewed ? std::optional<WindowsView>(view) : std::nullopt;
  io.Enum(row.windowsDisagrees, 7);
}

template <typename IO>
void CodeSkipped(IO& io, SkippedVolume& v) {
  io.Text(v.name, 300);
  io.Enum(v.reason, 6);
}

// A drive table: the entries of the drive phase, then those that hold volumes.
template <typename IO>
void CodeDriveTable(IO& io, DriveTable& table) {
  std::vector<uint32_t> numbers;
  if (!IO::kReading)
    for (DiskNumber n : table.Listed()) numbers.push_back(n.value);
  io.List(numbers, 16, [&](uint32_t& number) {
    io.Choice(number, kDiskNumbers);
    CodeDriveInfo(io, table[DiskNumber(number)]);
    bool holds = number >= kDriveCount;
    io.Flag(holds);
    if (holds) table.HoldsVolume(DiskNumber(number));
  });
}

// A disk image file: its size, then up to 24 runs of bytes (each at most 64 KiB) at
// offsets from its start or, flagged, back from its end; the rest reads as zeros, as a
// sparse file's holes do. Offsets and sizes the formats name are offered first.
constexpr uint64_t kImageSizes[] = {4ull << 20, 1ull << 20, 64ull << 20, 2ull << 40, 513, 0};
constexpr uint64_t kImageOffsets[] = {0,         512,     4096,    64 << 10, 128 << 10, 192 << 10,
                                      256 << 10, 1 << 20, 2 << 20, 3 << 20,  4 << 20};

template <typename IO>
void CodeImageFile(IO& io, sim::File& file) {
  io.Choice(file.size, kImageSizes);
  std::vector<std::pair<uint64_t, Bytes>> runs(file.extents.begin(), file.extents.end());
  io.List(runs, 24, [&](std::pair<uint64_t, Bytes>& run) {
    bool fromEnd = false;
    io.Flag(fromEnd);
    io.Choice(run.first, kImageOffsets);
    io.Blob(run.second, 65536);
    if (fromEnd) run.first = file.size - std::min(run.first, file.size);
  });
  if (!IO::kReading) return;
  file.extents.clear();
  for (auto& [at, bytes] : runs) {
    if (at >= file.size) continue;
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(bytes.size(), file.size - at)));
    file.extents[at] = std::move(bytes);
  }
}

}  // namespace fuzz
