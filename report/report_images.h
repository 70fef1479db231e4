// The report on disk image files: a section for each image, as text or as one JSON document.
#pragma once

#include <string>
#include <vector>

#include "image/image_check.h"
#include "platform/elevation.h"
#include "report/report_text.h"
#include "report/report_words.h"

namespace report {

// "raw", "vhd-fixed", "vhd-dynamic", "vhdx-fixed", "vhdx-dynamic".
const char* ImageFormatWord(ImageFormat format);

// For each image: its path, what it is, the grid, its container's blocks and its table,
// or why it is refused; then its partitions with their reasons and advice.
std::string ImagesText(const std::vector<ImageCheck>& images);
// `mode` gives how it ran: elevation and the computer's name.
std::string ImagesJson(const std::vector<ImageCheck>& images, const RunMode& mode);
// 1 where anything is misaligned, else 2 where anything is undetermined or an image was
// refused, else 0.
ExitStatus ImagesExitStatus(const std::vector<ImageCheck>& images);

}  // namespace report
