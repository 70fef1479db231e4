// Whether an image is ready for where it goes next: Azure, which takes fixed VHDs of whole
// MiB (as its upload tools refuse the others), or a Hyper-V host, which runs a VHD or VHDX
// whose container is aligned (what Get-VHD shows as Alignment 1).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "image/disk_image.h"

// Azure, a Hyper-V host, or a physical disk of 4096-byte logical sectors (4Kn).
enum class Target { Azure, HyperV, Sectors4Kn };

// Why an image is not ready, or what the person should know though it is.
enum class TargetReason {
  Refused,               // the image could not be read
  NotFixedVhd,           // azure: only a fixed VHD is taken
  SizeNotWholeMiB,       // azure: its virtual size is not a whole number of MiB
  FileNotSizeAndFooter,  // azure: the file is not its virtual size and a 512-byte footer
  UploadSizeOutside,     // azure: the upload size lies below what Azure takes
  LargerThanAzure,       // azure: the upload size lies above what Azure takes
  LargerThanVhd,         // azure: no tool writes a VHD this large (2040 GiB at most)
  Sectors4096,           // azure: a VHD has 512-byte sectors; the guest's table counts 4096
  NotHyperVFormat,       // hyperv: Hyper-V runs VHD and VHDX only
  ContainerMisaligned,   // hyperv: its blocks (or a parent's) lie off 4 KiB in the file
  Physical512,           // hyperv, a note: 512-byte physical sectors; 4096 suits today's hosts
  MoveNotReady,          // 4kn: its move to 4096-byte sectors is not ready as it lies
};

// Azure's upload limits (its UploadSizeBytes): 20 MiB and a footer, to 32,767 GiB and a
// MiB and a footer. The largest VHD Convert-VHD and qemu-img write: 2040 GiB.
constexpr uint64_t kAzureLeastUpload = 20972032;
constexpr uint64_t kAzureMostUpload = 35183298347520;
constexpr uint64_t kLargestVhd = 2040ull << 30;

struct TargetCheck {
  Target target = Target::Azure;
  bool ready = false;
  std::vector<TargetReason> reasons;
  // azure: what uploading it takes, the virtual size rounded up to a whole MiB and a footer.
  uint64_t uploadBytes = 0;
  // azure: the virtual size to give it, whole MiB and at least Azure's least, where its own
  // is not.
  std::optional<uint64_t> resizeTo;
};

struct ImageCheck;
TargetCheck CheckTarget(const ImageCheck& image, Target target);
