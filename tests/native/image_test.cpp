// Disk images checked offline, where the simulated machine stands for what Linux's tools
// cannot make (tests/images/images_check.py compares real images with those tools): a file
// a running machine holds, the opens the check makes, the options, the text.
#include <gtest/gtest.h>

#include <cstring>

#include "app/report_program.h"
#include "image/crc32.h"
#include "disk/boot_sector.h"
#include "report/report_images.h"
#include "sim/builders.h"
#include "image_headers.h"
#include "sim_fixture.h"

namespace {

const ReportTexts kTexts = {{"Drive", "Drv No", "Drive Name", "Offset"}, "NOT NT", "NO ACCESS"};

class ImageTest : public SimTest {
 protected:
  int Run(std::vector<std::string> args) {
    out.clear();
    err.clear();
    return RunReport(args, kTexts, &out, &err);
  }
  // A 64 MiB raw disk whose MBR holds NTFS at 63 (its boot sector of 512-byte sectors) and a
  // Linux partition on 1 MiB.
  void XpDisk(const std::string& path) {
    sim::File& f = machine.files[path];
    f.size = 64ull << 20;
    sim::Bytes mbr(512, 0);
    const uint8_t entries[2][16] = {{0, 0, 0, 0, 0x07, 0, 0, 0, 63, 0, 0, 0, 0xC1, 0x07, 0, 0},
                                    {0, 0, 0, 0, 0x83, 0, 0, 0, 0, 0x08, 0, 0, 0, 0x08, 0, 0}};
    std::memcpy(&mbr[446], entries, sizeof entries);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    f.extents[0] = mbr;
    f.extents[63 * 512] = sim::BuildNtfsBootSector(512, 8, 63);
  }
  std::string out, err;
};

// An MBR entry: type, first sector and count, in whatever unit the disk counts.
void Entry(sim::Bytes& mbr, int slot, uint8_t type, uint32_t lba, uint32_t count,
           uint8_t active = 0) {
  uint8_t* e = &mbr[446 + 16 * slot];
  e[0] = active;
  e[4] = type;
  std::memcpy(e + 8, &lba, 4);
  std::memcpy(e + 12, &count, 4);
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
}

// What a raw image's sector size is taken from: the witnesses it holds, the person's word
// over them, and none where they disagree; and an MBR whose active bytes are not 0 or 0x80
// is no table. Each disk is 64 MiB; "ntfs512@N" is an NTFS boot sector of 512-byte sectors
// at byte N.
TEST_F(ImageTest, ARawImagesSectorSizeIsWhatItsContentWitnesses) {
  const auto ntfs = [](uint16_t bytes) { return sim::BuildNtfsBootSector(bytes, 1, 0); };
  const auto gpt = [] {
    sim::Bytes header(512, 0);
    std::memcpy(header.data(), "EFI PART", 8);
    return header;
  };
  struct Case {
    const char* what;
    std::map<uint64_t, sim::Bytes> extents;
    std::optional<uint32_t> named;
    uint32_t sectorSize;
    SectorSizeFrom from;
  };
  sim::Bytes both4k(512, 0), past(512, 0), boots(512, 0), bad(512, 0);
  Entry(both4k, 0, 0x07, 256, 2048);      // at 4096: NTFS of 4096-byte sectors there
  Entry(past, 0, 0x83, 2048, 129024);     // fills 64 MiB in 512s: past the end in 4096s
  Entry(boots, 0, 0x07, 2048, 4096);      // NTFS of 512 at 2048 * 512
  Entry(boots, 1, 0x07, 4096, 4096);      // NTFS of 4096 at 4096 * 4096
  Entry(bad, 0, 0x07, 2048, 4096, 0x12);  // not a table
  sim::Bytes aligned(512, 0), at63(512, 0), ext4(512, 0), xfs(512, 0);
  Entry(aligned, 0, 0x83, 2048, 4096);  // Linux on 1 MiB: aligned in either unit
  Entry(at63, 0, 0x83, 63, 4096);       // Linux at 63: misaligned in 512s, aligned in 4096s
  ext4[56] = 0x53, ext4[57] = 0xEF;     // the superblock's magic, 1024 bytes in
  std::memcpy(xfs.data(), "XFSB", 4);
  xfs[102] = 0x02, xfs[103] = 0x00;     // its sector size, big-endian: 512
  const Case cases[] = {
      {"nothing", {}, std::nullopt, 512, SectorSizeFrom::Default},
      {"GPT at 4096", {{0, past}, {4096, gpt()}}, std::nullopt, 4096, SectorSizeFrom::Image},
      {"GPT at both", {{512, gpt()}, {4096, gpt()}}, std::nullopt, 512, SectorSizeFrom::Disagree},
      {"entries past the end at 4096", {{0, past}}, std::nullopt, 512, SectorSizeFrom::Image},
      {"a boot sector at 4096s",
       {{0, both4k}, {256 * 4096, ntfs(4096)}},
       std::nullopt,
       4096,
       SectorSizeFrom::Image},
      {"boot sectors of both sizes",
       {{0, boots}, {2048 * 512, ntfs(512)}, {4096ull * 4096, ntfs(4096)}},
       std::nullopt,
       512,
       SectorSizeFrom::Disagree},
      {"named over them",
       {{0, boots}, {2048 * 512, ntfs(512)}, {4096ull * 4096, ntfs(4096)}},
       4096,
       4096,
       SectorSizeFrom::Option},
      {"a file system at 0", {{0, ntfs(4096)}}, std::nullopt, 4096, SectorSizeFrom::Image},
      {"nothing speaks, and 4096 judges as 512 does",
       {{0, aligned}},
       std::nullopt,
       512,
       SectorSizeFrom::Either},
      {"nothing speaks, and 4096 judges otherwise",
       {{0, at63}},
       std::nullopt,
       512,
       SectorSizeFrom::Unshown},
      {"an ext4 superblock at 4096s: 0xEF53 at 1080",
       {{0, at63}, {63 * 4096 + 1024, ext4}},
       std::nullopt,
       4096,
       SectorSizeFrom::Image},
      {"an XFS superblock at 512s, its sectors of 512",
       {{0, at63}, {63 * 512, xfs}},
       std::nullopt,
       512,
       SectorSizeFrom::Image},
      {"active byte not 0 or 0x80",
       {{0, bad}, {2048 * 512, ntfs(512)}},
       std::nullopt,
       512,
       SectorSizeFrom::Default},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::File& f = machine.files["d.img"];
    f.size = 64ull << 20;
    f.extents = c.extents;
    const ImageCheck check = CheckImage("d.img", {std::nullopt, c.named});
    EXPECT_EQ(check.logicalSectorSize, c.sectorSize);
    EXPECT_EQ(check.sectorSizeFrom, c.from);
    const ImageVerdict verdict = check.Judged();
    if (c.from == SectorSizeFrom::Disagree || c.from == SectorSizeFrom::Unshown) {
      EXPECT_EQ(verdict.reason, ImageReason::SectorSizeUnknown);
    }
    if (c.extents.empty() || c.extents.begin()->second == bad) {
      EXPECT_EQ(verdict.reason, ImageReason::NothingInFirstSector);
    }
    EXPECT_NE(verdict.verdict == Verdict::Aligned, verdict.reason != ImageReason::None);
  }
  // A container names its own: the person's word is not used, and the text says so.
  machine.files["d.img"].extents = {{0, past}};
  EXPECT_EQ(Run({"--image", "d.img", "--sector-size", "4096"}), 0);
  EXPECT_NE(out.find("4096-byte sectors (--sector-size)"), std::string::npos) << out;
  EXPECT_EQ(Run({"--sector-size", "4096"}), 3);
  EXPECT_NE(err.find("option '--sector-size' goes with '--image', '--image-list' or '--image-dir' only"), std::string::npos);
  EXPECT_EQ(Run({"--image", "d.img", "--sector-size", "1024"}), 3);
  EXPECT_NE(err.find("option '--sector-size' needs 512 or 4096"), std::string::npos);
}

sim::Bytes Text(const std::string& text) { return sim::Bytes(text.begin(), text.end()); }

// Every field a container's header takes from the file is checked before it is used; each
// shape a reader does not read is refused, naming what it met, never read as a disk.
TEST_F(ImageTest, ContainerHeadersAreCheckedFieldByField) {
  const std::string vmdk =
      "# Disk DescriptorFile\nversion=1\nCID=12345678\nparentCID=ffffffff\n"
      "createType=\"monolithicFlat\"\n";
  const struct {
    const char* what;
    sim::Bytes head;
    ImageRefusal refusal;
    const char* words;
  } cases[] = {
      {"QCOW2 as made", Qcow2Header(nullptr), ImageRefusal::None, ""},
      {"QCOW2 version 4", Qcow2Header([](sim::Bytes& h) { Be32(h, 4, 4); }),
       ImageRefusal::UnknownFormat, "version"},
      {"QCOW2 encrypted", Qcow2Header([](sim::Bytes& h) { Be32(h, 32, 2); }),
       ImageRefusal::UnknownFormat, "encrypted"},
      {"QCOW2 marked corrupt", Qcow2Header([](sim::Bytes& h) { Be64(h, 72, 2); }),
       ImageRefusal::UnknownFormat, "corrupt"},
      {"QCOW2 with an external data file", Qcow2Header([](sim::Bytes& h) { Be64(h, 72, 4); }),
       ImageRefusal::UnknownFormat, "external data file"},
      {"QCOW2 compressed with zstd",
       Qcow2Header([](sim::Bytes& h) { Be64(h, 72, 8), Be32(h, 100, 112), h[104] = 1; }),
       ImageRefusal::UnknownFormat, "zstd"},
      {"QCOW2 needing feature 7", Qcow2Header([](sim::Bytes& h) { Be64(h, 72, 1u << 7); }),
       ImageRefusal::UnknownFormat, "bits 7"},
      {"QCOW2 of 256-byte clusters", Qcow2Header([](sim::Bytes& h) { Be32(h, 20, 8); }),
       ImageRefusal::UnknownFormat, "sizes"},
      {"QCOW2 whose L1 is short", Qcow2Header([](sim::Bytes& h) { Be32(h, 36, 0); }),
       ImageRefusal::UnknownFormat, "L1 table is shorter"},
      {"QCOW2 whose L1 lies past the file",
       Qcow2Header([](sim::Bytes& h) { Be64(h, 40, 1u << 30); }), ImageRefusal::OutsideFile,
       "L1 table"},
      {"QCOW2 over a parent it does not name",
       Qcow2Header([](sim::Bytes& h) { Be64(h, 8, 400), Be32(h, 16, 0); }),
       ImageRefusal::Differencing, "name"},
      {"VDI as made", VdiHeader(nullptr), ImageRefusal::None, ""},
      {"VDI 1.0", VdiHeader([](sim::Bytes& h) { Le32(h, 0x44, 0x00010000); }),
       ImageRefusal::UnknownFormat, "version"},
      {"VDI differencing", VdiHeader([](sim::Bytes& h) { Le32(h, 0x4C, 4); }),
       ImageRefusal::Differencing, "parent"},
      {"VDI undo", VdiHeader([](sim::Bytes& h) { Le32(h, 0x4C, 3); }), ImageRefusal::UnknownFormat,
       "undo"},
      {"VDI of 1000-byte blocks", VdiHeader([](sim::Bytes& h) { Le32(h, 0x178, 1000); }),
       ImageRefusal::UnknownFormat, "sizes"},
      {"VDI of too few blocks", VdiHeader([](sim::Bytes& h) { Le64(h, 0x170, 2 << 20); }),
       ImageRefusal::UnknownFormat, "sizes"},
      {"VDI whose map lies past the file",
       VdiHeader([](sim::Bytes& h) { Le32(h, 0x154, 1u << 30); }), ImageRefusal::OutsideFile,
       "block map"},
      {"VDI whose blocks lie past the file", VdiHeader([](sim::Bytes& h) {
         Le64(h, 0x170, 4 << 20), Le32(h, 0x180, 4), Le32(h, 0x184, 4);
       }),
       ImageRefusal::OutsideFile, "blocks"},
      {"VMDK line of nothing known", Text(vmdk + "nonsense\n"), ImageRefusal::UnknownFormat,
       "line"},
      {"VMDK extent NOACCESS", Text(vmdk + "NOACCESS 2048 FLAT \"d-flat.vmdk\" 0\n"),
       ImageRefusal::UnknownFormat, "NOACCESS"},
      {"VMDK extent in another folder", Text(vmdk + "RW 2048 FLAT \"..\\d-flat.vmdk\" 0\n"),
       ImageRefusal::UnknownFormat, "plain file name"},
      {"VMDK raw device mapping", Text(vmdk + "RW 2048 VMFSRDM \"d-rdm.vmdk\"\n"),
       ImageRefusal::UnknownFormat, "VMFSRDM"},
      {"VMDK of no extent", Text(vmdk), ImageRefusal::UnknownFormat, "larger disk"},
      {"VMDK extent past its file", Text(vmdk + "RW 4096 FLAT \"d-flat.vmdk\" 0\n"),
       ImageRefusal::OutsideFile, "past"},
  };
  machine.files["C:\\VMs\\d-flat.vmdk"].size = 2048 * 512;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::File& f = machine.files["C:\\VMs\\d.img"];
    f.size = c.head[0] == '#' ? c.head.size() : 2 << 20;
    f.extents = {{0, c.head}};
    const ImageCheck check = CheckImage("C:\\VMs\\d.img", {});
    EXPECT_EQ(check.refusal, c.refusal) << check.refusalWords;
    EXPECT_NE(check.refusalWords.find(c.words), std::string::npos) << check.refusalWords;
    if (c.refusal != ImageRefusal::None) {
      EXPECT_NE(check.Judged().verdict, Verdict::Aligned);
    }
  }
  ExpectNothingLeft();
}

// Upload readiness at its edges: Azure's least and most upload sizes, whole MiB, the file's
// footer; Hyper-V's formats, a parent's blocks, and the note on 512-byte physical sectors.
TEST(TargetTest, ReadinessAtItsEdges) {
  const auto fixed = [](uint64_t size, uint64_t file) {
    ImageCheck c;
    c.format = ImageFormat::VhdFixed;
    c.virtualSize = size;
    c.fileBytes = file;
    return c;
  };
  const uint64_t least = kAzureLeastUpload, most = kAzureMostUpload;
  const struct {
    const char* what;
    ImageCheck image;
    Target target;
    bool ready;
    std::optional<uint64_t> resizeTo;
  } cases[] = {
      {"the least upload", fixed(least - 512, least), Target::Azure, true, std::nullopt},
      {"a MiB short of it", fixed(least - 512 - (1 << 20), least - (1 << 20)), Target::Azure, false,
       least - 512},
      {"the most upload", fixed(most - 512, most), Target::Azure, true, std::nullopt},
      {"a MiB past it", fixed(most + (1 << 20) - 512, most + (1 << 20)), Target::Azure, false,
       std::nullopt},
      {"a size of sectors, not MiB", fixed((64 << 20) + 512, (64 << 20) + 1024), Target::Azure,
       false, 65 << 20},
      {"a footer missing", fixed(64 << 20, 64 << 20), Target::Azure, false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TargetCheck check = CheckTarget(c.image, c.target);
    EXPECT_EQ(check.ready, c.ready);
    EXPECT_EQ(check.resizeTo, c.resizeTo);
  }
  ImageCheck vhdx;
  vhdx.format = ImageFormat::VhdxDynamic;
  vhdx.physicalSectorSize = 512;
  vhdx.container = BlockContainer{1 << 20, true, false};
  TargetCheck check = CheckTarget(vhdx, Target::HyperV);
  EXPECT_TRUE(check.ready);
  EXPECT_EQ(check.reasons, std::vector<TargetReason>{TargetReason::Physical512});
  ParentImage parent;
  parent.container = BlockContainer{2 << 20, false, false};
  vhdx.parents = {parent};
  EXPECT_FALSE(CheckTarget(vhdx, Target::HyperV).ready) << "a parent's blocks off 4 KiB";
  vhdx.format = ImageFormat::Qcow2;
  vhdx.parents.clear();
  EXPECT_EQ(CheckTarget(vhdx, Target::HyperV).reasons,
            std::vector<TargetReason>{TargetReason::NotHyperVFormat});
}

// Ready for a 4Kn disk: a guest of 4096-byte sectors told by the file, or a move that needs
// nothing; a size guessed, a container over a guest of the other size, or a refusal is not.
TEST(TargetTest, ReadyFor4KnOnlyOnWhatTheFileSays) {
  const auto image = [](uint32_t sector, SectorSizeFrom from, std::optional<MoveVerdict> move) {
    ImageCheck c;
    c.logicalSectorSize = sector;
    c.sectorSizeFrom = from;
    if (move) c.sectorSizeMove = SectorSizeMove{sector == 512 ? 4096u : 512u, *move, {}};
    return c;
  };
  ImageCheck guest = image(512, SectorSizeFrom::Format, MoveVerdict::NotReady);
  guest.guestLaidOutIn = 4096;
  ImageCheck refused = image(4096, SectorSizeFrom::Format, std::nullopt);
  refused.refusal = ImageRefusal::CannotOpen;
  const struct {
    const char* what;
    ImageCheck image;
    bool ready;
  } cases[] = {
      {"a VHDX of 4096-byte sectors", image(4096, SectorSizeFrom::Format, MoveVerdict::NeedsTableRewrite), true},
      {"a raw 4Kn disk its GPT tells", image(4096, SectorSizeFrom::Image, MoveVerdict::NeedsTableRewrite), true},
      {"a raw disk named 4096", image(4096, SectorSizeFrom::Option, std::nullopt), true},
      {"XFS of 4 KiB sectors without a table", image(512, SectorSizeFrom::Option, MoveVerdict::Ready), true},
      {"a partitioned 512-byte disk", image(512, SectorSizeFrom::Format, MoveVerdict::NeedsTableRewrite), false},
      {"a size nothing names", image(4096, SectorSizeFrom::Unshown, std::nullopt), false},
      {"a VHD over a 4Kn guest", guest, false},
      {"a refused file", refused, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TargetCheck check = CheckTarget(c.image, Target::Sectors4Kn);
    EXPECT_EQ(check.ready, c.ready);
    EXPECT_EQ(check.reasons.empty(), c.ready);
  }
}

// Azure's readiness as the fix a person runs: the upload size is the virtual size in whole
// MiB and a footer, whatever the file holds; VHD and VHDX through Convert-VHD, the others
// through qemu-img (Convert-VHD reads neither); nothing a command mends past the largest
// VHD, past Azure's largest upload, or for a table in 4096-byte sectors.
TEST(TargetTest, AzuresFixIsOneThatWorks) {
  const auto image = [](ImageFormat format, uint64_t size, uint32_t sector = 512) {
    ImageFinding c;
    c.check.format = format;
    c.check.virtualSize = size;
    c.check.fileBytes = 206848;  // a dynamic file's own size says nothing of the upload
    c.check.logicalSectorSize = sector;
    c.targets = {CheckTarget(c.check, Target::Azure)};
    return c;
  };
  constexpr uint64_t GiB = 1ull << 30;
  const struct {
    const char* what;
    ImageFinding image;
    uint64_t upload;
    const char* reason;  // the last reason's words begin so
    const char* fix;
  } cases[] = {
      {"a 100 GiB dynamic VHD", image(ImageFormat::VhdDynamic, 100 * GiB), 100 * GiB + 512,
       "Azure takes a fixed VHD only",
       "convert it with Convert-VHD -VHDType Fixed to a .vhd; or upload it with Add-AzVhd, "
       "which does both"},
      {"a VHDX of sectors, not MiB", image(ImageFormat::VhdxDynamic, 100 * GiB + 512),
       100 * GiB + (1 << 20) + 512, "its virtual size",
       "convert it with Convert-VHD -VHDType Fixed to a .vhd, then Resize-VHD -SizeBytes "
       "107375230976; or upload it with Add-AzVhd, which does both"},
      {"a QCOW2", image(ImageFormat::Qcow2, 64 << 20), (64 << 20) + 512,
       "Azure takes a fixed VHD only",
       "qemu-img convert -O raw FILE disk.raw, then qemu-img resize -f raw disk.raw 67108864, "
       "then qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on disk.raw disk.vhd"},
      {"a small raw disk", image(ImageFormat::Raw, 1 << 20), (1 << 20) + 512, "its upload size",
       "qemu-img convert -O raw FILE disk.raw, then qemu-img resize -f raw disk.raw 20971520, "
       "then qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on disk.raw disk.vhd"},
      {"a VHDX of 2041 GiB", image(ImageFormat::VhdxDynamic, 2041 * GiB), 2041 * GiB + 512,
       "neither Convert-VHD nor qemu-img", ""},
      {"a VHDX of 40 TiB", image(ImageFormat::VhdxDynamic, 40960 * GiB), 40960 * GiB + 512,
       "its upload size", ""},
      {"a VHDX of 4096-byte sectors", image(ImageFormat::VhdxDynamic, 64 << 20, 4096),
       (64 << 20) + 512, "a VHD has 512-byte sectors", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.image.targets[0].ready);
    EXPECT_EQ(c.image.targets[0].uploadBytes, c.upload);
    const std::vector<std::string> reasons = report::TargetReasons(c.image.check, c.image.targets[0]);
    ASSERT_FALSE(reasons.empty());
    EXPECT_EQ(reasons.back().rfind(c.reason, 0), 0u) << reasons.back();
    EXPECT_EQ(report::TargetFix(c.image.check, c.image.targets[0]), c.fix);
  }
}

// Where a start lies aligned to: the largest power of two of its bytes, up to 1 MiB.
TEST(AlignedToTest, TheLargestPowerOfTwoOfTheStartsBytesUpToOneMiB) {
  const struct {
    uint64_t sector, sectorBytes, alignedTo;
    const char* word;
  } cases[] = {
      {63, 512, 512, "512"},      {2048, 512, 1 << 20, "1M"}, {256, 4096, 1 << 20, "1M"},
      {2056, 512, 4096, "4K"},    {0, 512, 1 << 20, "1M"},    {1, 4096, 4096, "4K"},
      {6144, 512, 1 << 20, "1M"}, {34, 512, 1024, "1K"},      {1u << 30, 512, 1 << 20, "1M"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sector);
    const uint64_t got = AlignedTo(ByteCount(c.sector * c.sectorBytes));
    EXPECT_EQ(got, c.alignedTo);
    EXPECT_EQ(report::AlignedToWord(got), c.word);
  }
}

TEST(CrcTest, TheCheckValuesOfBothPolynomials) {
  const auto* text = reinterpret_cast<const uint8_t*>("123456789");
  EXPECT_EQ(crc::Ieee(text, 9), 0xCBF43926u);
  EXPECT_EQ(crc::Castagnoli(text, 9), 0xE3069283u);
  EXPECT_EQ(crc::Ieee(text, 0), 0u);
}

// The check opens the named file once, for reading, shared with a hypervisor that writes
// it; no drive, no volume. A file a running machine holds is refused with what to do.
TEST_F(ImageTest, OnlyTheFileIsOpenedAndOneInUseIsRefused) {
  XpDisk("C:\\VMs\\xp.img");
  machine.files["C:\\VMs\\running.vhdx"].inUse = true;
  machine.user = sim::User::Standard;
  EXPECT_EQ(Run({"--image", "c:\\vms\\XP.img", "--image", "C:\\VMs\\running.vhdx", "--image",
                 "C:\\VMs\\gone.vhd"}),
            1);
  const auto opens = machine.Calls("CreateFileA");
  ASSERT_EQ(opens.size(), 3u);
  for (const sim::Call& open : opens) {
    EXPECT_EQ(open.access, GENERIC_READ);
    EXPECT_EQ(open.share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(open.disposition, DWORD(OPEN_EXISTING));
    EXPECT_EQ(open.flags, 0u);
  }
  EXPECT_NE(out.find("Image C:\\VMs\\running.vhdx\n  refused (in-use): in use, probably by a "
                     "running virtual machine: check a copy, or check it when the machine is off, "
                     "or check its checkpoint's parent, or inside the guest (Windows error 32, "
                     "sharing violation)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Image C:\\VMs\\gone.vhd\n  refused (cannot-open): Windows would not open "
                     "it (Windows error 2)\n"),
            std::string::npos)
      << out;
  ExpectNothingLeft();
}

TEST_F(ImageTest, TheTextOfAnImage) {
  XpDisk("xp.img");
  EXPECT_EQ(Run({"--image", "xp.img"}), 1);
  EXPECT_EQ(
      out,
      "Image xp.img\n"
      "  raw image: 67108864 bytes, 512-byte sectors (as its table and boot sectors show)\n"
      "  judged against a grid of 4096 bytes (the default: a physical sector of today's "
      "disks; --grid names another)\n"
      "  partition table: MBR\n"
      "Part  Type                Start       Length      Alignment    Aligned to  File system\n"
      "1     NTFS/exFAT          63          1985        misaligned   512         NTFS       \n"
      "    move to sector 64 (1 sector, 512 bytes later) after shrinking it by 1 sector; "
      "no room at 2048, on 1 MiB\n"
      "2     Linux               2048        2048        aligned      1M                     \n"
      "  free space with room for a partition:\n"
      "  126976 sectors free from sector 4096, on the grid\n"
      "    start a partition there at sector 4096 (62 MiB of room); Windows' own tools start it "
      "there\n"
      "  image: misaligned: a partition inside is misaligned\n");
  EXPECT_EQ(Run({"--image", "xp.img", "--grid", "512"}), 0);
  EXPECT_NE(out.find("grid of 512 bytes (--grid)\n"), std::string::npos) << out;
}

// The one-line outputs count images apart from their partitions; a refused image is an
// undetermined image, never a partition.
TEST_F(ImageTest, TheOneLineOutputsCountImagesAndPartitions) {
  XpDisk("xp.img");
  machine.files["held.vhdx"].inUse = true;
  EXPECT_EQ(Run({"--image", "xp.img", "--summary"}), 1);
  EXPECT_EQ(out,
            "MISALIGNED: 1 of 1 image; 1 of 2 partitions; xp.img partition 1 at 63: move to 64 "
            "after shrinking 1 sector\n");
  EXPECT_EQ(Run({"--image", "held.vhdx", "--image", "xp.img", "--nagios"}), 1);
  EXPECT_EQ(out,
            "TESSAREL WARNING - 1 of 2 images misaligned: xp.img | misaligned=1;0;;0; "
            "undetermined=0;;;0; partitions=2;;;0; images_misaligned=1;0;;0; "
            "images_undetermined=1;;;0; images=2;;;0;\n");
  EXPECT_EQ(Run({"--image", "held.vhdx", "--summary"}), 2);
  EXPECT_EQ(out, "UNDETERMINED: 1 of 1 image; 0 of 0 partitions; held.vhdx: refused (in-use)\n");
  EXPECT_EQ(err, "");
}

// Images are checked instead of the machine: options about the machine do not go with
// them, and the grid is a power of two from 512 bytes to 1 MiB.
TEST_F(ImageTest, OptionsThatDoNotGoWithImagesAreRefused) {
  XpDisk("xp.img");
  const struct {
    std::vector<std::string> args;
    int status;
    const char* said;
  } cases[] = {
      {{"--image", "xp.img", "--drives"},
       3,
       "option '--image' goes with '--grid', '--sector-size', '--target', '--prom' and the output "
       "options only"},
      {{"--target", "azure"}, 3, "option '--target' goes with '--image', '--image-list' or '--image-dir' only"},
      {{"--image", "xp.img", "--target", "gcp"}, 3, "option '--target' needs azure, hyperv or 4kn"},
      {{"--target", "4kn", "--target", "hyperv"}, 3, "option '--target' goes with '--image', '--image-list' or '--image-dir' only"},
      {{"--image", "xp.img", "--target", "4kn", "--target", "azure", "--target", "4kn"}, 1, ""},
      {{"--image", "xp.img", "--trace", "t.jsonl"}, 3, "goes with"},
      {{"--replay", "t.jsonl", "--image", "xp.img"}, 3, "goes with"},
      {{"--grid", "4096"}, 3, "option '--grid' goes with '--image', '--image-list' or '--image-dir' only"},
      {{"--image"}, 3, "option '--image' needs a file"},
      {{"--image", "xp.img", "--grid"}, 3, "a power of two from 512 to 1048576"},
      {{"--image", "xp.img", "--grid", "256"}, 3, "a power of two"},
      {{"--image", "xp.img", "--grid", "4095"}, 3, "a power of two"},
      {{"--image", "xp.img", "--grid", "2097152"}, 3, "a power of two"},
      {{"--image", "xp.img", "--grid", "+4096"}, 3, "a power of two"},
      {{"--image", "xp.img", "--grid", "1048576"}, 1, ""},
      {{"--image", "xp.img", "--grid", "512", "--json"}, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    EXPECT_EQ(Run(c.args), c.status);
    if (c.status == 3)
      EXPECT_NE(err.find(c.said), std::string::npos) << err;
    else
      EXPECT_EQ(err, "");
  }
  EXPECT_TRUE(machine.Calls("OpenProcessToken").size() == 1) << "--json asks elevation once";
  for (const std::string& path : OpenedPaths()) EXPECT_EQ(path, "xp.img");
}

}  // namespace
