// TessarelReport.exe: the console report on the real machine (or, linked with the lab,
// on the simulated one).
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "app/report_output.h"
#include "app/report_program.h"
#include "platform/system_dlls.h"
#include "res/resource.h"

namespace {
std::string Load(UINT id) {
  char text[512] = {};
  const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, text, sizeof text);
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}
}  // namespace

int main(int argc, char** argv) {
  RestrictDllSearchToSystemFolder();
  ReportTexts texts;
  texts.headings = {Load(IDS_COL_DRIVE), Load(IDS_COL_DRVNO), Load(IDS_COL_NAME),
                    Load(IDS_COL_OFFSET)};
  texts.notNt = Load(IDS_BAD_OS);
  texts.noAccess = Load(IDS_NO_ACCESS);

  const std::vector<std::string> args(argv + 1, argv + argc);
  // CSV ends its lines with CRLF itself, as RFC 4180 and Import-Csv want them: the console's
  // text mode would make each one CR CR LF. JSON lines end with LF alone, which log pipelines
  // split on: text mode would add a CR to every record.
  for (const char* binary : {"--csv", "--jsonl"})
    if (std::find(args.begin(), args.end(), binary) != args.end())
      _setmode(_fileno(stdout), _O_BINARY);
  // A sweep's progress only where standard error is a console: never in a pipe, a file,
  // 2>nul, a scheduled task or a monitoring agent, whose readers keep what is written.
  DWORD mode = 0;
  ProgressSink progress;
  if (::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode))
    progress = [](const std::string& text) {
      std::fputs(text.c_str(), stderr);
      std::fflush(stderr);
    };
  std::string out, err;
  const int status = RunReport(args, texts, &out, &err, progress);
  return WriteReport(stdout, stderr, out, err, status);
}
