#include "trace/trace_replay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "trace/trace_line.h"

namespace trace {

namespace {

constexpr std::align_val_t kPageAlignment{4096};
constexpr uint64_t kDword = 0xFFFFFFFFu;
constexpr size_t kMostLineBytes = 8u << 20;  // a line holds at most a few sectors as hex
constexpr size_t kMostCalls = 1000000;  // a server of thousands of volumes asks far fewer

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The questions, as the replay keys its answers and as it tells a missing one. A call on a
// handle is asked under the question that opened it.
std::string OpenQuestion(const std::string& path, uint64_t access, uint64_t share,
                         uint64_t disposition, uint64_t flags) {
  return "CreateFileA " + path + " access " + Hex(access) + " share " + std::to_string(share) +
         " disposition " + std::to_string(disposition) + " flags " + Hex(flags);
}
std::string ControlQuestion(const std::string& on, uint64_t code, const std::string& inHex,
                            uint64_t outSize, bool counted) {
  return "DeviceIoControl " + Hex(code) + " on [" + on + "] in " + inHex + " out " +
         std::to_string(outSize) + (counted ? " counted" : "");
}
std::string SeekQuestion(const std::string& on, int64_t low, const std::string& high,
                         uint64_t method) {
  return "SetFilePointer on [" + on + "] low " + std::to_string(low) + " high " + high +
         " method " + std::to_string(method);
}
std::string ReadQuestion(const std::string& on, uint64_t position, uint64_t size) {
  return "ReadFile on [" + on + "] at byte " + std::to_string(position) + ", " +
         std::to_string(size) + " bytes";
}
std::string OnHandle(const char* function, const std::string& on) {
  return std::string(function) + " on [" + on + "]";
}
std::string WithPath(const char* function, const std::string& path) {
  return std::string(function) + " " + path;
}
std::string WithSize(const std::string& question, uint64_t size) {
  return question + " size " + std::to_string(size);
}

// One line read for the replay: every value checked for its kind and range.
class Fields {
 public:
  Fields(const Line& line, std::string* error) : m_line(line), m_error(error) {}
  bool Number(const char* key, uint64_t max, uint64_t* out) {
    return m_line.Number(key, max, out, m_error);
  }
  bool Signed(const char* key, int64_t* out) {
    return m_line.Signed(key, INT32_MIN, INT32_MAX, out, m_error);
  }
  bool Text(const char* key, std::string* out) { return m_line.Text(key, out, m_error); }
  bool Hex(const char* key, size_t max, std::vector<uint8_t>* out) {
    return m_line.Hex(key, max, out, m_error);
  }
  bool Null(const char* key) const { return m_line.IsNull(key); }
  bool Fail(const std::string& why) {
    *m_error = why;
    return false;
  }

 private:
  const Line& m_line;
  std::string* m_error;
};

// Reads one call of the trace into its question and answer; `opened` holds the question of
// each handle the trace opened, by its number. While `registering`, a call only registers
// the handle it opened, if any: every open is known before any call on a handle is read,
// wherever its line stands.
bool ReadCall(const Line& line, bool registering, std::map<uint64_t, std::string>* opened,
              std::string* question, Replay::Answer* a, std::string* error) {
  Fields f(line, error);
  std::string call, path;
  uint64_t handle = 0, size = 0;
  if (!f.Text("call", &call) || !f.Number("error", kDword, &a->error)) return false;
  // The question a call on a handle is asked under.
  auto on = [&](std::string* out) {
    if (!f.Number("handle", ~uint64_t{0}, &handle)) return false;
    auto it = opened->find(handle);
    if (it == opened->end()) return f.Fail("handle " + std::to_string(handle) + " was never opened");
    *out = it->second;
    return true;
  };
  auto openedHandle = [&](const std::string& open) {
    a->opened = !f.Null("handle");
    if (!a->opened || !registering) return true;
    if (!f.Number("handle", ~uint64_t{0}, &handle)) return false;
    if (!opened->emplace(handle, open).second)
      return f.Fail("handle " + std::to_string(handle) + " opened twice");
    return true;
  };
  auto count = [&](const char* key) {
    int64_t value = 0;
    uint64_t unsignedValue = 0;
    a->hasCount = !f.Null(key);
    if (!a->hasCount) return true;
    if (std::strcmp(key, "highOut") == 0) {
      if (!f.Signed(key, &value)) return false;
    } else {
      if (!f.Number(key, kDword, &unsignedValue)) return false;
      value = static_cast<int64_t>(unsignedValue);
    }
    a->count = value;
    return true;
  };

  if (registering && call != "CreateFileA" && call != "FindFirstVolumeA") return true;
  if (call == "CreateFileA") {
    uint64_t access, share, disposition, flags;
    if (!f.Text("path", &path) || !f.Number("access", kDword, &access) ||
        !f.Number("share", kDword, &share) || !f.Number("disposition", kDword, &disposition) ||
        !f.Number("flags", kDword, &flags))
      return false;
    *question = OpenQuestion(path, access, share, disposition, flags);
    return openedHandle(*question);
  }
  if (call == "DeviceIoControl") {
    std::string handleQuestion;
    uint64_t code, outSize;
    std::vector<uint8_t> in;
    if (!on(&handleQuestion) || !f.Number("code", kDword, &code) ||
        !f.Number("outSize", kDword, &outSize) || !f.Number("result", 1, &a->result))
      return false;
    if (!f.Null("in") && !f.Hex("in", kMostLineBytes, &in)) return false;
    if (!f.Null("out") && !f.Hex("out", outSize, &a->out)) return false;
    if (!count("returned")) return false;
    *question = ControlQuestion(handleQuestion, code, f.Null("in") ? "null" : HexOf(in.data(), in.size()),
                                outSize, a->hasCount);
    return true;
  }
  if (call == "SetFilePointer") {
    std::string handleQuestion;
    int64_t low, high = 0;
    uint64_t method;
    if (!on(&handleQuestion) || !f.Signed("low", &low) || !f.Number("method", kDword, &method) ||
        !f.Number("result", kDword, &a->result))
      return false;
    if (!f.Null("high") && !f.Signed("high", &high)) return false;
    if (!count("highOut")) return false;
    if (f.Null("high") != !a->hasCount) return f.Fail("\"high\" and \"highOut\" disagree");
    *question = SeekQuestion(handleQuestion, low, f.Null("high") ? "null" : std::to_string(high), method);
    return true;
  }
  if (call == "ReadFile") {
    std::string handleQuestion;
    uint64_t position;
    if (!on(&handleQuestion) || !f.Number("position", ~uint64_t{0}, &position) ||
        !f.Number("size", kDword, &size) || !f.Number("result", 1, &a->result) ||
        !f.Hex("out", size, &a->out) || !count("read"))
      return false;
    *question = ReadQuestion(handleQuestion, position, size);
    return true;
  }
  if (call == "CloseHandle" || call == "FindVolumeClose") {
    std::string handleQuestion;
    if (!on(&handleQuestion) || !f.Number("result", 1, &a->result)) return false;
    *question = OnHandle(call.c_str(), handleQuestion);
    return true;
  }
  if (call == "GetDriveTypeA") {
    if (!f.Text("path", &path) || !f.Number("result", kDword, &a->result)) return false;
    *question = WithPath("GetDriveTypeA", path);
    return true;
  }
  if (call == "GetDiskFreeSpaceA") {
    if (!f.Text("path", &path) || !f.Number("result", 1, &a->result)) return false;
    const char* keys[] = {"sectorsPerCluster", "bytesPerSector", "freeClusters", "totalClusters"};
    for (int i = 0; i < 4; ++i) {
      a->hasNumbers[i] = !f.Null(keys[i]);
      if (a->hasNumbers[i] && !f.Number(keys[i], kDword, &a->numbers[i])) return false;
    }
    *question = WithPath("GetDiskFreeSpaceA", path);
    return true;
  }
  if (call == "GetVolumeInformationA") {
    uint64_t nameSize, fileSystemSize;
    if (!f.Text("path", &path) || !f.Number("nameSize", kDword, &nameSize) ||
        !f.Number("fileSystemSize", kDword, &fileSystemSize) || !f.Number("result", 1, &a->result) ||
        !f.Text("volumeName", &a->name) || !f.Number("serial", kDword, &a->numbers[0]) ||
        !f.Number("maxComponent", kDword, &a->numbers[1]) ||
        !f.Number("fileSystemFlags", kDword, &a->numbers[2]) || !f.Text("fileSystem", &a->fileSystem))
      return false;
    *question = WithPath("GetVolumeInformationA", path) + " name " + std::to_string(nameSize) +
                " file system " + std::to_string(fileSystemSize);
    return true;
  }
  if (call == "GetVersionExA") {
    if (!f.Number("size", sizeof(OSVERSIONINFOA), &size) || !f.Number("result", 1, &a->result) ||
        !f.Hex("out", size, &a->out))
      return false;
    *question = WithSize("GetVersionExA", size);
    return true;
  }
  if (call == "FindFirstVolumeA") {
    if (!f.Number("size", kDword, &size) || !f.Text("name", &a->name)) return false;
    *question = WithSize("FindFirstVolumeA", size);
    return openedHandle(*question);
  }
  if (call == "FindNextVolumeA") {
    std::string handleQuestion;
    if (!on(&handleQuestion) || !f.Number("size", kDword, &size) ||
        !f.Number("result", 1, &a->result) || !f.Text("name", &a->name))
      return false;
    *question = WithSize(OnHandle("FindNextVolumeA", handleQuestion), size);
    return true;
  }
  if (call == "GetVolumePathNamesForVolumeNameA") {
    if (!f.Text("path", &path) || !f.Number("size", kDword, &size) ||
        !f.Number("result", 1, &a->result) || !f.Hex("out", size, &a->out) || !count("returned"))
      return false;
    *question = WithSize(WithPath("GetVolumePathNamesForVolumeNameA", path), size);
    return true;
  }
  if (call == "GetVolumeNameForVolumeMountPointA") {
    if (!f.Text("path", &path) || !f.Number("size", kDword, &size) ||
        !f.Number("result", 1, &a->result) || !f.Text("name", &a->name))
      return false;
    *question = WithSize(WithPath("GetVolumeNameForVolumeMountPointA", path), size);
    return true;
  }
  return f.Fail("unknown function \"" + call + "\"");
}

}  // namespace

std::unique_ptr<Replay> Replay::Load(const std::string& text, std::string* error) {
  std::vector<Line> lines;
  for (size_t at = 0; at < text.size();) {
    const std::string where = "line " + std::to_string(lines.size() + 1) + ": ";
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      *error = where + "cut short, without its line feed";
      return nullptr;
    }
    if (end - at > kMostLineBytes || lines.size() > kMostCalls) {
      *error = where + (end - at > kMostLineBytes
                            ? "longer than " + std::to_string(kMostLineBytes) + " bytes"
                            : "more than " + std::to_string(kMostCalls) + " calls");
      return nullptr;
    }
    std::string why;
    lines.emplace_back();
    if (!Line::Parse(text.substr(at, end - at), &lines.back(), &why)) {
      *error = where + why;
      return nullptr;
    }
    at = end + 1;
  }
  // The first line names the program and the machine it ran on.
  std::string why, named;
  if (lines.empty()) {
    *error = "line 1: empty: no trace";
    return nullptr;
  }
  if (!lines[0].Text("program", &named, &why) || !lines[0].Text("windows", &named, &why)) {
    *error = "line 1: " + why;
    return nullptr;
  }
  std::unique_ptr<Replay> replay(new Replay);
  std::map<uint64_t, std::string> opened;
  for (bool registering : {true, false}) {
    for (size_t i = 1; i < lines.size(); ++i) {
      std::string question;
      Answer answer;
      if (!ReadCall(lines[i], registering, &opened, &question, &answer, &why)) {
        *error = "line " + std::to_string(i + 1) + ": " + why;
        return nullptr;
      }
      if (!registering) replay->m_answers[question].push_back(std::move(answer));
    }
  }
  return replay;
}

Replay::~Replay() {
  for (auto& [address, size] : m_buffers) ::operator delete(address, kPageAlignment);
}

bool Replay::Ask(const std::string& question, const std::string& description, Answer* answer) {
  auto it = m_answers.find(question);
  if (it == m_answers.end() || it->second.empty()) {
    m_unanswered.push_back(description);
    return false;
  }
  *answer = std::move(it->second.front());
  it->second.pop_front();
  m_lastError = static_cast<DWORD>(answer->error);
  return true;
}

std::string Replay::HandleQuestion(HANDLE handle) const {
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? std::string("a handle never opened") : it->second.question;
}

HANDLE Replay::Open(const std::string& question) {
  HANDLE h = reinterpret_cast<HANDLE>(m_nextHandle);
  m_nextHandle += 4;
  m_handles[h] = {question, 0};
  return h;
}

namespace {

// A name into a caller's buffer of `size` characters, cut to fit, always terminated.
void PutName(const std::string& name, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return;
  const size_t n = std::min<size_t>(name.size(), size - 1);
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
}

// A call's question told without its request bytes, which are long and say little.
std::string Told(const std::string& question) {
  const size_t in = question.find(" in ");
  const size_t out = question.find(" out ", in == std::string::npos ? 0 : in);
  if (in == std::string::npos || out == std::string::npos) return question;
  const size_t hexDigits = out - in - 4;
  return question.substr(0, in) + " in " +
         (question.compare(in + 4, 4, "null") == 0 ? std::string("nothing")
                                                  : std::to_string(hexDigits / 2) + " bytes") +
         question.substr(out);
}

}  // namespace

HANDLE Replay::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                           DWORD disposition, DWORD flags, HANDLE) {
  const std::string question =
      OpenQuestion(path != nullptr ? path : "", access, share, disposition, flags);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(INVALID_HANDLE_VALUE);
  return a.opened ? Open(question) : INVALID_HANDLE_VALUE;
}

BOOL Replay::DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                             DWORD outSize, LPDWORD returned, LPOVERLAPPED) {
  const std::string question =
      ControlQuestion(HandleQuestion(h), code, in != nullptr ? HexOf(in, inSize) : "null",
                      outSize, returned != nullptr);
  Answer a;
  if (!Ask(question, Told(question), &a)) {
    if (returned != nullptr) *returned = 0;
    return Missing(FALSE);
  }
  // Its size was part of the question: the answer fits the caller's buffer.
  if (out != nullptr && !a.out.empty()) std::memcpy(out, a.out.data(), a.out.size());
  if (returned != nullptr && a.hasCount) *returned = static_cast<DWORD>(a.count);
  return a.result != 0;
}

DWORD Replay::SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
  const std::string question = SeekQuestion(
      HandleQuestion(h), low, high != nullptr ? std::to_string(*high) : "null", method);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(INVALID_SET_FILE_POINTER);
  if (high != nullptr && a.hasCount) *high = static_cast<LONG>(a.count);
  const auto result = static_cast<DWORD>(a.result);
  auto it = m_handles.find(h);
  if (it != m_handles.end() && (result != INVALID_SET_FILE_POINTER || a.error == ERROR_SUCCESS))
    it->second.position =
        (high != nullptr ? static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32 : 0) | result;
  return result;
}

BOOL Replay::ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  auto it = m_handles.find(h);
  const uint64_t position = it != m_handles.end() ? it->second.position : 0;
  const std::string question = ReadQuestion(HandleQuestion(h), position, size);
  if (read != nullptr) *read = 0;
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  // Its size was part of the question: the bytes fit the caller's buffer.
  if (buffer != nullptr && !a.out.empty()) std::memcpy(buffer, a.out.data(), a.out.size());
  if (read != nullptr && a.hasCount) *read = static_cast<DWORD>(a.count);
  if (it != m_handles.end() && a.result != 0) it->second.position += a.out.size();
  return a.result != 0;
}

BOOL Replay::CloseHandle(HANDLE h) {
  const std::string question = OnHandle("CloseHandle", HandleQuestion(h));
  m_handles.erase(h);  // released whatever the trace says: this replay owns it
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  return a.result != 0;
}

UINT Replay::GetDriveTypeA(LPCSTR root) {
  const std::string question = WithPath("GetDriveTypeA", root != nullptr ? root : "");
  Answer a;
  if (!Ask(question, question, &a)) return Missing(UINT{DRIVE_UNKNOWN});
  return static_cast<UINT>(a.result);
}

BOOL Replay::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                               LPDWORD freeClusters, LPDWORD totalClusters) {
  const std::string question = WithPath("GetDiskFreeSpaceA", root != nullptr ? root : "");
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  LPDWORD outputs[] = {sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
  for (int i = 0; i < 4; ++i)
    if (outputs[i] != nullptr && a.hasNumbers[i]) *outputs[i] = static_cast<DWORD>(a.numbers[i]);
  return a.result != 0;
}

BOOL Replay::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                   LPDWORD serialNumber, LPDWORD maxComponentLength,
                                   LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                   DWORD fileSystemNameSize) {
  const std::string question =
      WithPath("GetVolumeInformationA", root != nullptr ? root : "") + " name " +
      std::to_string(volumeName != nullptr ? volumeNameSize : 0) + " file system " +
      std::to_string(fileSystemName != nullptr ? fileSystemNameSize : 0);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  PutName(a.name, volumeName, volumeNameSize);
  PutName(a.fileSystem, fileSystemName, fileSystemNameSize);
  LPDWORD outputs[] = {serialNumber, maxComponentLength, fileSystemFlags};
  for (int i = 0; i < 3; ++i)
    if (outputs[i] != nullptr) *outputs[i] = static_cast<DWORD>(a.numbers[i]);
  return a.result != 0;
}

LPVOID Replay::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  // Memory is the replaying machine's own: it is no question for the trace.
  if (address != nullptr || size == 0 || !(type & MEM_COMMIT) || protect != PAGE_READWRITE ||
      size > (SIZE_T{1} << 30))
    return Missing(LPVOID{nullptr});
  void* block = ::operator new(size, kPageAlignment, std::nothrow);
  if (block == nullptr) return Missing(LPVOID{nullptr});
  std::memset(block, 0, size);
  m_buffers[block] = size;
  m_lastError = ERROR_SUCCESS;
  return block;
}

BOOL Replay::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  auto it = m_buffers.find(address);
  if (it == m_buffers.end() || type != MEM_RELEASE || size != 0) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  ::operator delete(address, kPageAlignment);
  m_buffers.erase(it);
  return TRUE;
}

BOOL Replay::GetVersionExA(LPOSVERSIONINFOA info) {
  const DWORD size = info != nullptr ? info->dwOSVersionInfoSize : 0;
  const std::string question = WithSize("GetVersionExA", size);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  // At most `size` bytes, and never past the structure the caller gave.
  if (info != nullptr && a.out.size() <= sizeof *info) std::memcpy(info, a.out.data(), a.out.size());
  return a.result != 0;
}

HANDLE Replay::FindFirstVolumeA(LPSTR name, DWORD size) {
  const std::string question = WithSize("FindFirstVolumeA", size);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(INVALID_HANDLE_VALUE);
  if (!a.opened) return INVALID_HANDLE_VALUE;
  PutName(a.name, name, size);
  return Open(question);
}

BOOL Replay::FindNextVolumeA(HANDLE h, LPSTR name, DWORD size) {
  const std::string question = WithSize(OnHandle("FindNextVolumeA", HandleQuestion(h)), size);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  if (a.result != 0) PutName(a.name, name, size);
  return a.result != 0;
}

BOOL Replay::FindVolumeClose(HANDLE h) {
  const std::string question = OnHandle("FindVolumeClose", HandleQuestion(h));
  m_handles.erase(h);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  return a.result != 0;
}

BOOL Replay::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                              PDWORD returned) {
  const std::string question =
      WithSize(WithPath("GetVolumePathNamesForVolumeNameA", name != nullptr ? name : ""), size);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  // Its size was part of the question: the list fits the caller's buffer.
  if (paths != nullptr && !a.out.empty()) std::memcpy(paths, a.out.data(), a.out.size());
  if (returned != nullptr && a.hasCount) *returned = static_cast<DWORD>(a.count);
  return a.result != 0;
}

BOOL Replay::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  const std::string question = WithSize(
      WithPath("GetVolumeNameForVolumeMountPointA", mountPoint != nullptr ? mountPoint : ""), size);
  Answer a;
  if (!Ask(question, question, &a)) return Missing(FALSE);
  if (a.result != 0) PutName(a.name, name, size);
  return a.result != 0;
}

}  // namespace trace
