// The tips' sentences and their cut at whole sentences.
#include "report/tip_text.h"

#include <gtest/gtest.h>

namespace {

// Each reason the scan gives a row, after the string table's sentence, as the console words
// it; then the sentences every tip had.
TEST(TipTextTest, AnUndeterminedRowSaysWhy) {
  const struct {
    Undetermined reason;
    const char* sentence;
  } cases[] = {
      {Undetermined::NoGrid, "The drive reported nothing about its physical sectors."},
      {Undetermined::NoDrive, "No drive holds the volume."},
      {Undetermined::DataAreaNeedsRights, "Its data area needs administrative rights to read."},
      {Undetermined::SearchNeedsRights, "Finding its drive needs administrative rights."},
      {Undetermined::SectorSizes, "The volume and its drive disagree about the sector size."},
      {Undetermined::FirstSectorPastPhysical,
       "The drive reports its first sector past its physical sector."},
  };
  for (const auto& c : cases) {
    ScanRow row;
    row.verdict = Verdict::Undetermined;
    row.reason = c.reason;
    row.windowsDisagrees = WindowsDisagrees::HiddenSectors;
    const std::vector<std::string> sentences =
        report::RowTipSentences(row, Verdict::Undetermined, 2, 512);
    ASSERT_EQ(sentences.size(), 3u) << c.sentence;
    EXPECT_EQ(sentences[0], c.sentence);
    EXPECT_EQ(sentences[1], "The volume lies on 2 disks.");
    EXPECT_EQ(sentences[2].rfind("Windows calls its partition aligned, but", 0), 0u);
  }
  // A judged row names no reason; the window sends its reader to make the trace itself.
  ScanRow aligned;
  aligned.verdict = Verdict::Aligned;
  aligned.windowsDisagrees = WindowsDisagrees::WindowsMisaligned;
  EXPECT_EQ(report::RowTipSentences(aligned, Verdict::Aligned, 1, 512),
            std::vector<std::string>{
                "Windows calls its partition misaligned; Tessarel does not: run TessarelReport.exe "
                "--drives --trace tessarel-trace.jsonl from an elevated prompt and send the file."});
  EXPECT_EQ(report::WindowsDisagreesWords(WindowsDisagrees::WindowsMisaligned, false),
            "Windows calls its partition misaligned; Tessarel does not: please report it with a "
            "trace");
}

TEST(TipTextTest, TipsAreCutAtWholeSentences) {
  const std::vector<std::string> more = {"Two words.", "Three more words."};
  const struct {
    size_t room;
    const char* joined;
    const char* cut;  // the same text cut by CutAtWholeSentences
  } cases[] = {
      {100, "One. Two words. Three more words.", "One. Two words. Three more words."},
      {34, "One. Two words. Three more words.", "One. Two words. Three more words."},
      {33, "One. Two words.", "One. Two words."},
      {16, "One. Two words.", "One. Two words."},
      {15, "One.", "One."},
      {3, "One.", "On"},  // not even the first: cut to fit, as the string table's text is
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    EXPECT_EQ(report::JoinWhole("One.", more, c.room), c.joined);
    EXPECT_EQ(report::CutAtWholeSentences("One. Two words. Three more words.", c.room), c.cut);
  }
  // Lines end where their line feed begins.
  EXPECT_EQ(report::CutAtWholeSentences("Ser=KD40A0001\nf/w=KD01\nA hard disk.", 24),
            "Ser=KD40A0001\nf/w=KD01");
  EXPECT_EQ(report::CutAtWholeSentences("anything", 0), "");
}

}  // namespace
