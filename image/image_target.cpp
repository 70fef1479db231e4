#include "image/image_target.h"

#include <algorithm>

#include "image/image_check.h"

namespace {

bool Vhd(ImageFormat f) { return f == ImageFormat::VhdFixed || f == ImageFormat::VhdDynamic; }
bool Vhdx(ImageFormat f) { return f == ImageFormat::VhdxFixed || f == ImageFormat::VhdxDynamic; }

}  // namespace

TargetCheck CheckTarget(const ImageCheck& image, Target target) {
  TargetCheck check;
  check.target = target;
  const auto fail = [&](TargetReason reason) { check.reasons.push_back(reason); };
  if (image.refusal != ImageRefusal::None) {
    fail(TargetReason::Refused);
    return check;
  }
  if (target == Target::Sectors4Kn) {
    // Already of 4096-byte sectors, or its move needs nothing: no table, a file system of 4 KiB.
    const bool told = SectorSizeNamed(image.sectorSizeFrom) && image.guestLaidOutIn == 0;
    check.ready = ReadyFor4Kn(told ? image.logicalSectorSize : 0, image.sectorSizeMove);
    if (!check.ready) fail(TargetReason::MoveNotReady);
    return check;
  }
  if (target == Target::Azure) {
    // Azure takes a fixed VHD whose virtual size is whole MiB: the upload is that and its
    // footer, whatever the file holds now.
    const uint64_t wholeMiB = (image.virtualSize + kMiB - 1) / kMiB * kMiB;
    check.uploadBytes = wholeMiB + 512;
    if (image.format != ImageFormat::VhdFixed) fail(TargetReason::NotFixedVhd);
    if (image.virtualSize % kMiB != 0) {
      fail(TargetReason::SizeNotWholeMiB);
      check.resizeTo = wholeMiB;
    }
    if (image.format == ImageFormat::VhdFixed && image.fileBytes != image.virtualSize + 512)
      fail(TargetReason::FileNotSizeAndFooter);
    if (check.uploadBytes < kAzureLeastUpload) {
      fail(TargetReason::UploadSizeOutside);
      check.resizeTo = kAzureLeastUpload - 512;
    }
    if (check.uploadBytes > kAzureMostUpload)
      fail(TargetReason::LargerThanAzure);
    else if (wholeMiB > kLargestVhd && image.format != ImageFormat::VhdFixed)
      fail(TargetReason::LargerThanVhd);  // a fixed VHD this large is made already
    if (image.logicalSectorSize != 512) fail(TargetReason::Sectors4096);
    check.ready = check.reasons.empty();
    return check;
  }
  if (!Vhd(image.format) && !Vhdx(image.format)) fail(TargetReason::NotHyperVFormat);
  bool misaligned = image.container && image.container->blocksAligned == false;
  for (const ParentImage& parent : image.parents)
    misaligned = misaligned || (parent.container && parent.container->blocksAligned == false);
  if (misaligned) fail(TargetReason::ContainerMisaligned);
  check.ready = check.reasons.empty();
  if (check.ready && Vhdx(image.format) && image.physicalSectorSize == 512u)
    check.reasons.push_back(TargetReason::Physical512);
  return check;
}
