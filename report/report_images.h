// The report on disk image files: a section for each image, as text or as one JSON document.
#pragma once

#include <string>
#include <vector>

#include "image/image_check.h"
#include "platform/elevation.h"
#include "report/report_text.h"
#include "report/report_words.h"

class JsonWriter;

namespace report {

// "raw", "vhd-fixed", "vhd-dynamic", "vhdx-fixed", "vhdx-dynamic".
const char* ImageFormatWord(ImageFormat format);

// Why an image has its verdict, as the JSON's reason and the CSV's say it; nullptr for an
// aligned one.
const char* ImageReasonWords(const ImageVerdict& verdict);

// Whether the image is ready for the target --target named: "azure", "hyperv"; each reason
// in words; what to do, or empty.
const char* TargetWord(Target target);
std::vector<std::string> TargetReasons(const ImageCheck& image);
std::string TargetFix(const ImageCheck& image);

// For each image: its path, what it is, the grid, its container's blocks and its table,
// or why it is refused; then its partitions with their reasons and advice.
std::string ImagesText(const std::vector<ImageCheck>& images);
// `mode` gives how it ran: elevation and the computer's name.
std::string ImagesJson(const std::vector<ImageCheck>& images, const RunMode& mode);
// The members of an image's object and of its partitions' (the JSON-lines records carry
// the same keys).
void ImageMembers(JsonWriter& json, const ImageCheck& image);
void ImagePartitionMembers(JsonWriter& json, const ImagePartition& ip, SectorSize size);
// 1 where an image is misaligned, else 2 where one is undetermined, else 0.
ExitStatus ImagesExitStatus(const std::vector<ImageCheck>& images);

}  // namespace report
