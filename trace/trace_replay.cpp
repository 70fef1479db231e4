#include "trace/trace_replay.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace trace {

namespace {

constexpr size_t kMostCalls = 1000000;  // a server of thousands of volumes asks far fewer

// A trace being read: the question of each handle it opened, by number, and the answers.
struct Loading {
  std::map<uint64_t, std::string> opened;
  std::map<Question, std::deque<Call>>& answers;
  bool registering = true;
};

// Reads one call of type C. While registering, only an open is read, and its handle
// registered: every open is known before any call on a handle is read, wherever its line
// stands.
template <class C>
bool ReadAs(const JsonLine& line, uint32_t error, Loading& loading, std::string* why) {
  if (loading.registering && C::kHandle != HandleUse::Opens) return true;
  C call;
  call.error = error;
  FieldReader fields(line, loading.opened, why);
  if (!call.Fields(fields)) return false;
  std::string on;
  if constexpr (C::kHandle == HandleUse::On) on = loading.opened.at(call.handle);
  const Question question = call.Ask(on);
  if constexpr (C::kHandle == HandleUse::Opens) {
    if (loading.registering) {
      if (!call.handle || loading.opened.emplace(*call.handle, question.Key()).second) return true;
      *why = "handle " + std::to_string(*call.handle) + " opened twice";
      return false;
    }
  }
  loading.answers[question].push_back(std::move(call));
  return true;
}

using Reader = bool (*)(const JsonLine&, uint32_t, Loading&, std::string*);

// A reader for each kind of call the trace knows: every alternative of Call.
template <size_t... I>
std::map<std::string, Reader> Readers(std::index_sequence<I...>) {
  return {
      {std::variant_alternative_t<I, Call>::kName, ReadAs<std::variant_alternative_t<I, Call>>}...};
}

// Reads one line as the call it names.
bool ReadCall(const JsonLine& line, Loading& loading, std::string* why) {
  static const std::map<std::string, Reader> readers =
      Readers(std::make_index_sequence<std::variant_size_v<Call>>());
  std::string call;
  uint64_t error = 0;
  if (!line.Text("call", &call, why) || !line.Number("error", kDword, &error, why)) return false;
  auto reader = readers.find(call);
  if (reader != readers.end())
    return reader->second(line, static_cast<uint32_t>(error), loading, why);
  if (loading.registering) return true;
  *why = "unknown function \"" + call + "\"";
  return false;
}

// The trace's lines, each one flat JSON object; false with "line N: why" otherwise.
bool SplitLines(const std::string& text, std::vector<JsonLine>* lines, std::string* error) {
  for (size_t at = 0; at < text.size();) {
    const std::string where = "line " + std::to_string(lines->size() + 1) + ": ";
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      *error = where + "cut short, without its line feed";
      return false;
    }
    if (end - at > kMostLineBytes || lines->size() > kMostCalls) {
      *error = where + (end - at > kMostLineBytes
                            ? "longer than " + std::to_string(kMostLineBytes) + " bytes"
                            : "more than " + std::to_string(kMostCalls) + " calls");
      return false;
    }
    std::string why;
    lines->emplace_back();
    if (!JsonLine::Parse(text.substr(at, end - at), &lines->back(), &why)) {
      *error = where + why;
      return false;
    }
    at = end + 1;
  }
  return true;
}

// A name into a caller's buffer of `size` characters, cut to fit, always terminated.
void PutName(const std::string& name, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return;
  const size_t n = std::min<size_t>(name.size(), size - 1);
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
}

// Recorded bytes into a caller's buffer. Their size was part of the question, so they fit.
void PutBytes(const Bytes& bytes, void* buffer) {
  if (buffer != nullptr && !bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
}

template <typename T, typename U>
void PutAt(T* out, const std::optional<U>& value) {
  if (out != nullptr && value) *out = static_cast<T>(*value);
}

std::string Text(LPCSTR text) { return text != nullptr ? text : ""; }

}  // namespace

std::unique_ptr<Replay> Replay::Load(const std::string& text, std::string* error) {
  std::vector<JsonLine> lines;
  if (!SplitLines(text, &lines, error)) return nullptr;
  // The first line names the program and the machine it ran on.
  std::string why, named;
  if (lines.empty()) {
    *error = "line 1: empty: no trace";
    return nullptr;
  }
  std::unique_ptr<Replay> replay(new Replay);
  if (!lines[0].Text("program", &named, &why) ||
      !lines[0].Text("windows", &replay->m_windows, &why)) {
    *error = "line 1: " + why;
    return nullptr;
  }
  Loading loading{{}, replay->m_answers};
  for (bool registering : {true, false}) {
    loading.registering = registering;
    for (size_t i = 1; i < lines.size(); ++i) {
      if (!ReadCall(lines[i], loading, &why)) {
        *error = "line " + std::to_string(i + 1) + ": " + why;
        return nullptr;
      }
    }
  }
  return replay;
}

template <class C>
std::optional<C> Replay::Ask(const C& call, const std::string& on) {
  const Question question = call.Ask(on);
  auto it = m_answers.find(question);
  if (it == m_answers.end() || it->second.empty()) {
    m_unanswered.push_back(question.Told());
    return std::nullopt;
  }
  C answer = std::get<C>(std::move(it->second.front()));
  it->second.pop_front();
  m_lastError = answer.error;
  return answer;
}

std::string Replay::HandleQuestion(HANDLE handle) const {
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? std::string("a handle never opened") : it->second.question;
}

HANDLE Replay::Open(const std::string& question) {
  HANDLE h = sys::MintHandle(m_nextHandle);
  m_handles[h] = {question, 0};
  return h;
}

HANDLE Replay::CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                           DWORD disposition, DWORD flags, HANDLE) {
  const CreateFileCall question{{}, Text(path), access, share, disposition, flags, std::nullopt};
  const auto a = Ask(question);
  if (!a) return Missing(INVALID_HANDLE_VALUE);
  return a->handle ? Open(question.Ask("").Key()) : INVALID_HANDLE_VALUE;
}

BOOL Replay::DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                             DWORD outSize, LPDWORD returned, LPOVERLAPPED) {
  DeviceIoControlCall question;
  question.code = code;
  if (in != nullptr)
    question.in = Bytes(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + inSize);
  question.outSize = outSize;
  if (returned != nullptr) question.returned = 0;
  const auto a = Ask(question, HandleQuestion(h));
  if (!a) {
    if (returned != nullptr) *returned = 0;
    return Missing(FALSE);
  }
  if (a->out) PutBytes(*a->out, out);
  PutAt(returned, a->returned);
  return a->result;
}

DWORD Replay::SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
  SetFilePointerCall question;
  question.low = low;
  if (high != nullptr) question.high = *high;
  question.method = method;
  const auto a = Ask(question, HandleQuestion(h));
  if (!a) return Missing(INVALID_SET_FILE_POINTER);
  PutAt(high, a->highOut);
  auto it = m_handles.find(h);
  if (it != m_handles.end() && (a->result != INVALID_SET_FILE_POINTER || a->error == ERROR_SUCCESS))
    it->second.position = sys::FilePosition(a->result, high);
  return a->result;
}

BOOL Replay::ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  auto it = m_handles.find(h);
  ReadFileCall question;
  question.position = it != m_handles.end() ? it->second.position : 0;
  question.size = size;
  if (read != nullptr) *read = 0;
  const auto a = Ask(question, HandleQuestion(h));
  if (!a) return Missing(FALSE);
  PutBytes(a->out, buffer);
  PutAt(read, a->read);
  if (it != m_handles.end() && a->result) it->second.position += a->out.size();
  return a->result;
}

BOOL Replay::CloseHandle(HANDLE h) {
  const std::string on = HandleQuestion(h);
  m_handles.erase(h);  // released whatever the trace says: this replay owns it
  const auto a = Ask(CloseHandleCall{}, on);
  return a ? a->result : Missing(FALSE);
}

UINT Replay::GetDriveTypeA(LPCSTR root) {
  const auto a = Ask(GetDriveTypeCall{{}, Text(root), 0});
  return a ? a->result : Missing(UINT{DRIVE_UNKNOWN});
}

BOOL Replay::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                               LPDWORD freeClusters, LPDWORD totalClusters) {
  GetDiskFreeSpaceCall question;
  question.path = Text(root);
  const auto a = Ask(question);
  if (!a) return Missing(FALSE);
  PutAt(sectorsPerCluster, a->sectorsPerCluster);
  PutAt(bytesPerSector, a->bytesPerSector);
  PutAt(freeClusters, a->freeClusters);
  PutAt(totalClusters, a->totalClusters);
  return a->result;
}

BOOL Replay::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                   LPDWORD serialNumber, LPDWORD maxComponentLength,
                                   LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                   DWORD fileSystemNameSize) {
  GetVolumeInformationCall question;
  question.path = Text(root);
  question.nameSize = volumeName != nullptr ? volumeNameSize : 0;
  question.fileSystemSize = fileSystemName != nullptr ? fileSystemNameSize : 0;
  const auto a = Ask(question);
  if (!a) return Missing(FALSE);
  PutName(a->volumeName, volumeName, volumeNameSize);
  PutName(a->fileSystem, fileSystemName, fileSystemNameSize);
  PutAt(serialNumber, std::optional<uint32_t>(a->serial));
  PutAt(maxComponentLength, std::optional<uint32_t>(a->maxComponent));
  PutAt(fileSystemFlags, std::optional<uint32_t>(a->fileSystemFlags));
  return a->result;
}

LPVOID Replay::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  // Memory is the replaying machine's own: it is no question for the trace.
  if (address != nullptr || size == 0 || !(type & MEM_COMMIT) || protect != PAGE_READWRITE ||
      size > (SIZE_T{1} << 30))
    return Missing(LPVOID{nullptr});
  void* block = m_buffers.Allocate(size);
  if (block == nullptr) return Missing(LPVOID{nullptr});
  m_lastError = ERROR_SUCCESS;
  return block;
}

BOOL Replay::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  if (type != MEM_RELEASE || size != 0 || !m_buffers.Free(address)) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  return TRUE;
}

BOOL Replay::GetVersionExA(LPOSVERSIONINFOA info) {
  GetVersionExCall question;
  question.size = info != nullptr ? info->dwOSVersionInfoSize : 0;
  const auto a = Ask(question);
  if (!a) return Missing(FALSE);
  // At most `size` bytes, and never past the structure the caller gave.
  if (info != nullptr && a->out.size() <= sizeof *info) PutBytes(a->out, info);
  return a->result;
}

HANDLE Replay::FindFirstVolumeA(LPSTR name, DWORD size) {
  FindFirstVolumeCall question;
  question.size = size;
  const auto a = Ask(question);
  if (!a) return Missing(INVALID_HANDLE_VALUE);
  if (!a->handle) return INVALID_HANDLE_VALUE;
  PutName(a->name, name, size);
  return Open(question.Ask("").Key());
}

BOOL Replay::FindNextVolumeA(HANDLE h, LPSTR name, DWORD size) {
  FindNextVolumeCall question;
  question.size = size;
  const auto a = Ask(question, HandleQuestion(h));
  if (!a) return Missing(FALSE);
  if (a->result) PutName(a->name, name, size);
  return a->result;
}

BOOL Replay::FindVolumeClose(HANDLE h) {
  const std::string on = HandleQuestion(h);
  m_handles.erase(h);
  const auto a = Ask(FindVolumeCloseCall{}, on);
  return a ? a->result : Missing(FALSE);
}

BOOL Replay::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                              PDWORD returned) {
  GetVolumePathNamesCall question;
  question.path = Text(name);
  question.size = size;
  const auto a = Ask(question);
  if (!a) return Missing(FALSE);
  PutBytes(a->out, paths);
  PutAt(returned, a->returned);
  return a->result;
}

BOOL Replay::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  GetVolumeNameForMountPointCall question;
  question.path = Text(mountPoint);
  question.size = size;
  const auto a = Ask(question);
  if (!a) return Missing(FALSE);
  if (a->result) PutName(a->name, name, size);
  return a->result;
}

}  // namespace trace
