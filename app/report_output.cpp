#include "app/report_output.h"

#include <cerrno>
#include <cstring>

#include "report/report_text.h"

int WriteReport(std::FILE* out, std::FILE* err, const std::string& report,
                const std::string& messages, int status) {
  errno = 0;
  // Each check on its own: a full disk fails the write; a closed stream takes the write
  // into its buffer and fails the flush.
  const bool wrote = std::fwrite(report.data(), 1, report.size(), out) == report.size();
  const bool flushed = std::fflush(out) == 0;
  const bool written = wrote && flushed && std::ferror(out) == 0;
  const int error = errno;
  std::fwrite(messages.data(), 1, messages.size(), err);
  if (!written) {
    std::fprintf(err, "TessarelReport: the report could not be written: %s\n",
                 error != 0 ? std::strerror(error) : "the output stream failed");
    status = static_cast<int>(report::ExitStatus::CannotRun);
  }
  std::fflush(err);
  return status;
}
