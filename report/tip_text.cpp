#include "report/tip_text.h"

#include <cctype>

#include "report/report_text.h"

namespace report {

namespace {

// Words that begin in lower case, as a sentence.
std::string Sentence(std::string words) {
  if (!words.empty()) words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
  return words + ".";
}

}  // namespace

std::vector<std::string> RowTipSentences(const ScanRow& row, Verdict shown, size_t disks,
                                         uint32_t sectorBytes) {
  std::vector<std::string> sentences;
  if (shown == Verdict::Undetermined)
    if (const char* why = UndeterminedWords(row.reason)) sentences.push_back(Sentence(why));
  if (disks > 1) sentences.push_back("The volume lies on " + std::to_string(disks) + " disks.");
  if (shown == Verdict::Misaligned && row.advice)
    sentences.push_back(AdviceSentence(*row.advice, SectorSize(sectorBytes)));
  const std::string windows =
      WindowsDisagreesWords(row.windowsDisagrees, row.fileSystem == "exFAT", Reader::Window);
  if (!windows.empty()) sentences.push_back(windows + ".");
  return sentences;
}

std::string JoinWhole(std::string first, const std::vector<std::string>& more, size_t room) {
  for (const std::string& sentence : more) {
    if (first.size() + 1 + sentence.size() + 1 > room) break;
    first += " " + sentence;
  }
  return first;
}

std::string CutAtWholeSentences(const std::string& text, size_t room) {
  if (room == 0) return "";
  if (text.size() < room) return text;
  size_t best = 0;
  for (size_t i = 0; i < room - 1; ++i) {
    if (text[i] == '\n')
      best = i;  // a line ends before its line feed
    else if (text[i] == '.' && (text[i + 1] == ' ' || text[i + 1] == '\n'))
      best = i + 1;
  }
  return text.substr(0, best != 0 ? best : room - 1);
}

}  // namespace report
