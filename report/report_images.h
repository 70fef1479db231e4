// The report on disk image files: a section for each image, as text or as one JSON document.
#pragma once

#include <string>
#include <vector>

#include "image/image_check.h"
#include "report/findings.h"
#include "report/report_words.h"

namespace report {

// "raw", "vhd-fixed", "vhd-dynamic", "vhdx-fixed", "vhdx-dynamic".
const char* ImageFormatWord(ImageFormat format);

// Why an image has its verdict, as the JSON's reason and the CSV's say it; nullptr for an
// aligned one.
const char* ImageReasonWords(const ImageVerdict& verdict);

// Whether the image is ready for a target --target named: "azure", "hyperv", "4kn"; each
// reason in words; what to do, or empty.
const char* TargetWord(Target target);
std::vector<std::string> TargetReasons(const ImageCheck& image, const TargetCheck& target);
std::string TargetFix(const ImageCheck& image, const TargetCheck& target);

// An image's section of the text: its path, what it is, the grid, its container's blocks
// and its table, or why it is refused; then its partitions with their reasons and advice.
std::string ImageText(const ImageFinding& finding);

}  // namespace report
