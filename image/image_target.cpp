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
  if (target == Target::Azure) {
    if (image.format != ImageFormat::VhdFixed) fail(TargetReason::NotFixedVhd);
    if (image.virtualSize % kMiB != 0) {
      fail(TargetReason::SizeNotWholeMiB);
      check.resizeTo = (image.virtualSize / kMiB + 1) * kMiB;
    }
    if (image.format == ImageFormat::VhdFixed && image.fileBytes != image.virtualSize + 512)
      fail(TargetReason::FileNotSizeAndFooter);
    if (image.fileBytes < kAzureLeastUpload || image.fileBytes > kAzureMostUpload) {
      fail(TargetReason::UploadSizeOutside);
      // Too small: grown to the least Azure takes.
      if (image.virtualSize + 512 < kAzureLeastUpload)
        check.resizeTo = std::max(check.resizeTo.value_or(0), kAzureLeastUpload - 512);
    }
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
