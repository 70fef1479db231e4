#include "report/report_images.h"

#include <algorithm>

#include "report/report_free.h"
#include "report/report_move.h"
#include "report/report_words.h"
#include "report/text_lines.h"

namespace report {

namespace {

const std::vector<int> kPartitionWidths = {6, 20, 12, 12, 13, 12, 11};

// Each format as the JSON names it, and as the text says it.
const struct {
  ImageFormat format;
  const char* word;
  const char* words;
} kFormats[] = {{ImageFormat::Raw, "raw", "raw image"},
                {ImageFormat::VhdFixed, "vhd-fixed", "VHD, fixed"},
                {ImageFormat::VhdDynamic, "vhd-dynamic", "VHD, dynamic"},
                {ImageFormat::VhdxFixed, "vhdx-fixed", "VHDX, fixed"},
                {ImageFormat::VhdxDynamic, "vhdx-dynamic", "VHDX, dynamic"},
                {ImageFormat::VmdkSparse, "vmdk-sparse", "VMDK, sparse"},
                {ImageFormat::VmdkStream, "vmdk-stream", "VMDK, stream-optimized"},
                {ImageFormat::VmdkFlat, "vmdk-flat", "VMDK, flat"},
                {ImageFormat::Qcow2, "qcow2", "QCOW2"},
                {ImageFormat::VdiFixed, "vdi-fixed", "VDI, fixed"},
                {ImageFormat::VdiDynamic, "vdi-dynamic", "VDI, dynamic"}};

const char* FormatWords(ImageFormat format) {
  for (const auto& f : kFormats)
    if (f.format == format) return f.words;
  return "";
}

std::string RefusalLine(const ImageCheck& image) {
  std::string line =
      std::string("  refused (") + RefusalCode(image.refusal) + "): " + image.refusalWords;
  if (image.error != ERROR_SUCCESS) line += " (" + WindowsErrorWords(image.error) + ")";
  return line + "\n";
}

std::string ContainerLine(const BlockContainer& c) {
  std::string line = "  blocks of " + Decimal(c.blockBytes) + " bytes; ";
  if (c.transport)
    return line + "compressed: a transport format, not run as is, so its blocks are not judged\n";
  if (c.compressedBlocks > 0)
    line += Decimal(c.compressedBlocks) + " compressed (read whole, not judged); the others: ";
  if (!c.blocksAligned) return line + "none allocated\n";
  return line + (*c.blocksAligned ? "every allocated block begins on 4 KiB in the file\n"
                                  : "allocated blocks begin off 4 KiB in the file: misaligned\n");
}

// Where its sector size comes from, after "512-byte sectors".
std::string SectorSizeWords(const ImageCheck& image) {
  switch (image.sectorSizeFrom) {
    case SectorSizeFrom::Image:
      return " (as its table and boot sectors show)";
    case SectorSizeFrom::Default:
      return " (nothing in it says another size; --sector-size names one)";
    case SectorSizeFrom::Option:
      return " (--sector-size)";
    case SectorSizeFrom::Either:
      return " (its sector size is not shown: every partition is judged the same at 512 and "
             "4096)";
    case SectorSizeFrom::Format:
    case SectorSizeFrom::Disagree:
    case SectorSizeFrom::Unshown:
      break;
  }
  return "";
}

std::string SectorLine(const ImageCheck& image) {
  std::string line = std::string("  ") + FormatWords(image.format) + ": " +
                     Count(image.virtualSize, "byte", "bytes") + ", ";
  if (image.sectorSizeFrom == SectorSizeFrom::Disagree)
    return line +
           "its sector size cannot be told: its table and boot sectors name both 512 "
           "and 4096 bytes; name it with --sector-size\n";
  if (image.sectorSizeFrom == SectorSizeFrom::Unshown)
    return line +
           "its sector size cannot be told: nothing in it shows it, and its partitions are "
           "judged otherwise at 512 and at 4096 bytes; name it with --sector-size\n";
  line += Decimal(image.logicalSectorSize) + "-byte " +
          (image.physicalSectorSize
               ? "logical and " + Decimal(*image.physicalSectorSize) + "-byte physical sectors"
               : std::string("sectors")) +
          SectorSizeWords(image) + "\n";
  if (image.sectorSizeOptionUnused)
    line += image.format == ImageFormat::VhdFixed || image.format == ImageFormat::VhdDynamic
                ? "  --sector-size is not used: a VHD's sectors are 512 bytes by definition\n"
                : "  --sector-size is not used: a VHDX names its own in its metadata\n";
  return line;
}

std::string VerdictLine(const ImageFinding& finding) {
  const ImageCheck& image = finding.check;
  const ImageVerdict verdict = image.Judged();
  const char* why = ImageReasonWords(verdict);
  std::string line = std::string("  image: ") + VerdictWord(verdict.verdict) +
                     (why ? std::string(": ") + why : std::string()) + "\n";
  for (const TargetCheck& target : finding.targets) {
    line += std::string("  target ") + TargetWord(target.target) + ": " +
            (target.ready ? "ready" : "not ready");
    for (const std::string& reason : TargetReasons(image, target)) line += "; " + reason;
    const std::string fix = TargetFix(image, target);
    line += (fix.empty() ? "" : "; " + fix) + "\n";
    if (target.target == Target::Sectors4Kn) line += MoveItemLines(image.sectorSizeMove, "    ");
  }
  return line;
}

// A file system that fills the disk has no table and so no type.
bool Typed(const Partition& p) { return p.mbrType || !p.gptType.empty(); }

std::string TableLine(const ImageCheck& image) {
  if (SectorSizeUntold(image.sectorSizeFrom)) return "";
  if (!image.style) return "  its first sector could not be read\n";
  if (image.fileSystemWithoutTable) return "  no partition table: one file system fills the disk\n";
  switch (image.gpt) {
    case GptHeaderRead::Primary:
      return "  partition table: GPT\n";
    case GptHeaderRead::Backup:
      return "  partition table: GPT, from its backup header (the primary does not hold its "
             "checksums)\n";
    case GptHeaderRead::Neither:
      return "  partition table: GPT, but neither of its headers holds: no partition read\n";
    case GptHeaderRead::None:
      break;
  }
  return *image.style == PartitionStyle::Mbr
             ? "  partition table: MBR\n"
             : "  no partition table and no file system in its first sector\n";
}

}  // namespace

const char* TargetWord(Target target) {
  return target == Target::Azure ? "azure" : target == Target::HyperV ? "hyperv" : "4kn";
}

std::vector<std::string> TargetReasons(const ImageCheck& image, const TargetCheck& target) {
  std::vector<std::string> words;
  for (const TargetReason reason : target.reasons) {
    switch (reason) {
      case TargetReason::Refused:
        words.push_back("the image was refused");
        break;
      case TargetReason::NotFixedVhd:
        words.push_back("Azure takes a fixed VHD only");
        break;
      case TargetReason::SizeNotWholeMiB:
        words.push_back("its virtual size, " + Decimal(image.virtualSize) +
                        " bytes, is not a whole number of MiB");
        break;
      case TargetReason::FileNotSizeAndFooter:
        words.push_back("the file is " + Decimal(image.fileBytes) +
                        " bytes, not its virtual size and a 512-byte footer");
        break;
      case TargetReason::UploadSizeOutside:
        words.push_back("its upload size, " + Decimal(target.uploadBytes) +
                        " bytes, lies below the 20,972,032 bytes Azure takes");
        break;
      case TargetReason::LargerThanAzure:
        words.push_back("its upload size, " + Decimal(target.uploadBytes) +
                        " bytes, is larger than Azure takes (35,183,298,347,520)");
        break;
      case TargetReason::LargerThanVhd:
        words.push_back("neither Convert-VHD nor qemu-img writes a VHD this large (2040 GiB at "
                        "most)");
        break;
      case TargetReason::Sectors4096:
        words.push_back("a VHD has 512-byte sectors: its partition table must be written again");
        break;
      case TargetReason::NotHyperVFormat:
        words.push_back("Hyper-V runs VHD and VHDX files only");
        break;
      case TargetReason::ContainerMisaligned:
        words.push_back("its blocks lie off 4 KiB in the file (Get-VHD's Alignment 0)");
        break;
      case TargetReason::Physical512:
        words.push_back("its physical sectors are 512 bytes; 4096 suits today's hosts");
        break;
      case TargetReason::MoveNotReady:
        words.push_back(MoveSummary(image.sectorSizeMove));
        break;
    }
  }
  return words;
}

std::string TargetFix(const ImageCheck& image, const TargetCheck& target) {
  if (target.ready || target.target == Target::Sectors4Kn) return "";
  const std::vector<TargetReason>& r = target.reasons;
  const auto has = [&](TargetReason reason) {
    return std::find(r.begin(), r.end(), reason) != r.end();
  };
  // Nothing a command mends: the image unread, too large, or a table to write again.
  if (has(TargetReason::Refused) || has(TargetReason::LargerThanAzure) ||
      has(TargetReason::LargerThanVhd) || has(TargetReason::Sectors4096))
    return "";
  if (target.target == Target::Azure) {
    const std::string size = Decimal(target.resizeTo.value_or(image.virtualSize));
    const bool vhd = image.format == ImageFormat::VhdFixed ||
                     image.format == ImageFormat::VhdDynamic ||
                     image.format == ImageFormat::VhdxFixed ||
                     image.format == ImageFormat::VhdxDynamic;
    if (!vhd)  // Convert-VHD reads VHD and VHDX only; qemu-img's convert takes no size
      return "qemu-img convert -O raw FILE disk.raw, then qemu-img resize -f raw disk.raw " +
             size + ", then qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on "
             "disk.raw disk.vhd";
    if (has(TargetReason::NotFixedVhd))
      return "convert it with Convert-VHD -VHDType Fixed to a .vhd" +
             (target.resizeTo ? ", then Resize-VHD -SizeBytes " + size : std::string()) +
             "; or upload it with Add-AzVhd, which does both";
    if (target.resizeTo) return "Resize-VHD -SizeBytes " + size;
    return "";
  }
  if (has(TargetReason::NotHyperVFormat)) return "convert it with qemu-img convert -O vhdx";
  if (has(TargetReason::ContainerMisaligned))
    return "copy it with Convert-VHD to a new file, whose blocks Hyper-V lays out aligned";
  return "";
}

const char* ImageReasonWords(const ImageVerdict& verdict) {
  switch (verdict.reason) {
    case ImageReason::Refused:
      return "the image was refused";
    case ImageReason::TableUnread:
      return "its partition table could not be read";
    case ImageReason::NothingInFirstSector:
      return "no partition table and no file system in its first sector";
    case ImageReason::SectorSizeUnknown:
      return "its sector size cannot be told: name it with --sector-size";
    case ImageReason::BlocksOff4K:
      return "its blocks lie off 4 KiB in the file";
    case ImageReason::ParentBlocksOff4K:
      return "a parent's blocks lie off 4 KiB in the file";
    case ImageReason::PartitionMisaligned:
      return "a partition inside is misaligned";
    case ImageReason::HoldsOtherVolumes:
      return "it holds a dynamic disk's or a storage pool's volumes, which Tessarel does not "
             "read in a disk file; attach it and run Tessarel on the machine, or check inside "
             "the guest";
    case ImageReason::PartitionUndetermined:
      if (const char* why = UndeterminedWords(verdict.partitionReason)) return why;
      return "a partition inside is undetermined";
    case ImageReason::None:
      break;
  }
  return nullptr;
}

const char* ImageFormatWord(ImageFormat format) {
  for (const auto& f : kFormats)
    if (f.format == format) return f.word;
  return "";
}

std::string ImageText(const ImageFinding& finding) {
  const ImageCheck& image = finding.check;
  std::string text = "Image " + Printable(image.path.c_str()) + "\n";
  if (image.refusal != ImageRefusal::None) return text + RefusalLine(image) + VerdictLine(finding);
  text += SectorLine(image);
  text += "  judged against a grid of " + Decimal(image.grid) + " bytes" +
          (image.gridSource == GridSource::Option
               ? " (--grid)\n"
               : " (the default: a physical sector of today's disks; --grid names another)\n");
  if (image.container) text += ContainerLine(*image.container);
  for (const ParentImage& parent : image.parents) {
    text += "  over the parent " + Printable(parent.path.c_str()) + ": " +
            (parent.format ? FormatWords(*parent.format) : "not read") + "\n";
    if (parent.container) text += "  " + ContainerLine(*parent.container);
  }
  text += TableLine(image);
  if (image.partitions.empty()) return text + VerdictLine(finding);
  AppendFixedWidthLine(
      text, {"Part", "Type", "Start", "Length", "Alignment", "Aligned to", "File system"},
      kPartitionWidths, 1);
  const SectorSize size = image.Guest().sectorSize;
  for (const ImagePartition& ip : image.partitions) {
    const Partition& p = ip.partition;
    AppendFixedWidthLine(text,
                         {Decimal(p.number), Typed(p) ? PartitionTypeName(p) : "whole disk",
                          Decimal(size.Of(p.start)), Decimal(size.Of(p.length)),
                          p.verdict ? VerdictWord(*p.verdict) : "",
                          AlignedToWord(AlignedTo(p.start)), ip.fileSystem},
                         kPartitionWidths, 1);
    if (const char* why = UndeterminedWords(p.reason))
      text += std::string("    undetermined: ") + why + "\n";
    text += AdviceLines(p.advice);
  }
  if (image.free) {
    const std::string free = FreeLines(*image.free, size, "  ", image.Guest().EverySectorOnGrid());
    if (!free.empty()) text += "  free space with room for a partition:\n" + free;
  }
  return text + VerdictLine(finding);
}

}  // namespace report
