// The tips' words: what a row's mark means beyond the string table's sentence, and how a
// tip is cut to its buffer, at whole sentences.
#pragma once

#include <string>
#include <vector>

#include "report/report_words.h"

namespace report {

// The sentences a row's tip adds after the string table's text for the mark `shown`, in
// order: why it is undetermined (as the console words it), on how many disks it lies, what
// would align a misaligned one, and why Windows' own view differs.
std::vector<std::string> RowTipSentences(const ScanRow& row, Verdict shown, size_t disks,
                                         uint32_t sectorBytes);

// `first`, then each of `more` after a space while it fits whole in `room` bytes with the
// terminator; the first that does not fit ends the tip.
std::string JoinWhole(std::string first, const std::vector<std::string>& more, size_t room);

// The longest start of `text` that ends a sentence or a line and fits in `room` bytes with
// its terminator; where not even the first does, the text cut to fit.
std::string CutAtWholeSentences(const std::string& text, size_t room);

}  // namespace report
