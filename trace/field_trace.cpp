#include "trace/field_trace.h"

#include <algorithm>
#include <cstring>

#include "res/version.h"

namespace trace {

namespace {

std::string Text(LPCSTR text) { return text != nullptr ? text : ""; }

// The first `size` bytes at `bytes`; nothing without a buffer.
Bytes Copy(const void* bytes, size_t size) {
  if (bytes == nullptr) return {};
  const auto* b = static_cast<const uint8_t*>(bytes);
  return Bytes(b, b + size);
}

}  // namespace

std::string WindowsVersion(sys::Backend& machine) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!machine.GetVersionExA(&version)) return "unknown";
  version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
  std::string windows =
      std::to_string(version.dwMajorVersion) + "." + std::to_string(version.dwMinorVersion) + "." +
      std::to_string(version.dwBuildNumber) + " platform " + std::to_string(version.dwPlatformId);
  if (version.szCSDVersion[0] != '\0') windows += std::string(" ") + version.szCSDVersion;
  return windows;
}

FieldTrace::FieldTrace(sys::Backend& inner, std::FILE* out, const std::string& program,
                       const std::string& windows)
    : m_inner(&inner), m_out(out) {
  JsonWriter line(JsonWriter::Layout::OneLine);
  line.BeginObject();
  line.Member("program", program);
  line.Member("version", TESSAREL_VERSION);
  line.Member("windows", windows);
  line.Member("format", kTraceFormat);
  line.EndObject();
  Put(line.Text());
}

void FieldTrace::Put(const std::string& line) {
  if (std::fwrite(line.data(), 1, line.size(), m_out) != line.size()) m_failed = true;
}

template <class C, class Real>
bool FieldTrace::Answer(C& call, HANDLE h, Real real) {
  if (Recording()) {
    if constexpr (C::kHandle == HandleUse::On) call.handle = NumberOf(h);
    real();
    return true;
  }
  const Question question = call.Ask(C::kHandle == HandleUse::On ? HandleQuestion(h) : "");
  auto it = m_answers.find(question);
  if (it == m_answers.end() || it->second.empty()) {
    // A question the trace's program did not ask yet is no gap in it: it fails, as it
    // would have on that machine.
    const auto held = [this](const Question& q) { return m_answers.count(q) != 0; };
    if (call.AskedSince(held) <= m_format) m_unanswered.push_back(question.Told());
    return false;
  }
  call = std::get<C>(std::move(it->second.front()));
  it->second.pop_front();
  m_lastError = call.error;
  return true;
}

template <class C>
void FieldTrace::Finish(C& call) {
  if (!Recording()) return;
  call.error = m_inner->GetLastError();
  JsonWriter line(JsonWriter::Layout::OneLine);
  line.BeginObject();
  line.Member("call", C::kName);
  FieldWriter fields(line);
  call.Fields(fields);
  line.Member("error", call.error);
  line.EndObject();
  Put(line.Text());
}

template <typename F, typename T>
void FieldTrace::At(std::optional<F>& field, T* out) {
  if (Recording())
    field = out != nullptr ? std::optional<F>(*out) : std::nullopt;
  else if (out != nullptr && field)
    *out = static_cast<T>(*field);
}

void FieldTrace::Value(uint32_t& field, LPDWORD out) {
  if (Recording())
    field = out != nullptr ? *out : 0;
  else if (out != nullptr)
    *out = field;
}

void FieldTrace::Buffer(Bytes& field, void* out, size_t written) {
  // Replayed, the bytes fit: the buffer's size was part of the question.
  if (Recording())
    field = Copy(out, written);
  else if (out != nullptr && !field.empty())
    std::memcpy(out, field.data(), field.size());
}

void FieldTrace::Buffer(std::optional<Bytes>& field, void* out, size_t written) {
  if (Recording()) {
    if (out != nullptr) field = Copy(out, written);
  } else if (field) {
    Buffer(*field, out, written);
  }
}

void FieldTrace::Name(std::string& field, LPSTR out, DWORD size) {
  if (Recording()) {
    // A name the system wrote: up to its terminator.
    const auto* end = out != nullptr ? static_cast<LPCSTR>(std::memchr(out, '\0', size)) : nullptr;
    field = out != nullptr ? std::string(static_cast<LPCSTR>(out), end ? end : out + size) : "";
  } else if (out != nullptr && size != 0) {
    // Cut to fit, always terminated.
    const size_t n = std::min<size_t>(field.size(), size - 1);
    std::memcpy(out, field.data(), n);
    out[n] = '\0';
  }
}

HANDLE FieldTrace::Opened(HANDLE real, const Question& open, std::optional<uint64_t>* number) {
  if (Recording()) {
    if (real == INVALID_HANDLE_VALUE) return real;
    *number = m_next;
    m_handles[real] = {m_next++, "", 0};
    return real;
  }
  if (!*number) return INVALID_HANDLE_VALUE;
  HANDLE h = sys::MintHandle(m_nextHandle);
  m_handles[h] = {0, open.Key(), 0};
  return h;
}

std::string FieldTrace::HandleQuestion(HANDLE handle) const {
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? std::string("a handle never opened") : it->second.question;
}

uint64_t FieldTrace::NumberOf(HANDLE handle) const {
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? 0 : it->second.number;
}

DWORD FieldTrace::GetLastError() { return Recording() ? m_inner->GetLastError() : m_lastError; }

HANDLE FieldTrace::CreateFileA(LPCSTR path, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile) {
  CreateFileCall call{{}, Text(path), access, share, disposition, flags, std::nullopt};
  HANDLE h = INVALID_HANDLE_VALUE;
  if (!Answer(call, nullptr, [&] {
        h = m_inner->CreateFileA(path, access, share, security, disposition, flags, templateFile);
      }))
    return Missing(INVALID_HANDLE_VALUE);
  h = Opened(h, call.Ask(""), &call.handle);
  Finish(call);
  return h;
}

BOOL FieldTrace::DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                 DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  DeviceIoControlCall call;
  call.code = code;
  if (in != nullptr) call.in = Copy(in, inSize);  // before the answer may overwrite it
  call.outSize = outSize;
  if (returned != nullptr) call.returned = 0;  // asked with a count or without
  if (!Answer(call, h, [&] {
        call.result =
            m_inner->DeviceIoControl(h, code, in, inSize, out, outSize, returned, overlapped);
      }))
    return Missing(FALSE);
  Buffer(call.out, out, outSize);
  At(call.returned, returned);
  Finish(call);
  return call.result;
}

DWORD FieldTrace::SetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
  SetFilePointerCall call;
  call.low = low;
  if (high != nullptr) call.high = *high;
  call.method = method;
  if (!Answer(call, h, [&] { call.result = m_inner->SetFilePointer(h, low, high, method); }))
    return Missing(DWORD{INVALID_SET_FILE_POINTER});
  At(call.highOut, high);
  Finish(call);
  // The low half of a good position can be all ones: only the error tells.
  auto it = m_handles.find(h);
  if (it != m_handles.end() &&
      (call.result != INVALID_SET_FILE_POINTER || call.error == ERROR_SUCCESS))
    it->second.position = sys::FilePosition(call.result, high);
  return call.result;
}

BOOL FieldTrace::ReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD read,
                          LPOVERLAPPED overlapped) {
  ReadFileCall call;
  auto it = m_handles.find(h);
  call.position = it != m_handles.end() ? it->second.position : 0;
  call.size = size;
  if (!Answer(call, h, [&] { call.result = m_inner->ReadFile(h, buffer, size, read, overlapped); }))
    return Missing(FALSE);
  At(call.read, read);
  // A count past the buffer is the device's claim: the buffer's bytes are what there is.
  const DWORD count = read != nullptr && call.result ? *read : 0;
  Buffer(call.out, buffer, std::min(count, size));
  Finish(call);
  if (it != m_handles.end() && call.result)
    it->second.position += Recording() ? count : call.out.size();
  return call.result;
}

BOOL FieldTrace::CloseHandle(HANDLE h) {
  CloseHandleCall call;
  const bool answered = Answer(call, h, [&] { call.result = m_inner->CloseHandle(h); });
  m_handles.erase(h);  // released whatever the answer: a replay owns its handles
  if (!answered) return Missing(FALSE);
  Finish(call);
  return call.result;
}

UINT FieldTrace::GetDriveTypeA(LPCSTR root) {
  GetDriveTypeCall call{{}, Text(root), 0};
  if (!Answer(call, nullptr, [&] { call.result = m_inner->GetDriveTypeA(root); }))
    return Missing(UINT{DRIVE_UNKNOWN});
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                   LPDWORD freeClusters, LPDWORD totalClusters) {
  GetDiskFreeSpaceCall call;
  call.path = Text(root);
  if (!Answer(call, nullptr, [&] {
        call.result = m_inner->GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector,
                                                 freeClusters, totalClusters);
      }))
    return Missing(FALSE);
  At(call.sectorsPerCluster, sectorsPerCluster);
  At(call.bytesPerSector, bytesPerSector);
  At(call.freeClusters, freeClusters);
  At(call.totalClusters, totalClusters);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                                       LPDWORD serialNumber, LPDWORD maxComponentLength,
                                       LPDWORD fileSystemFlags, LPSTR fileSystemName,
                                       DWORD fileSystemNameSize) {
  GetVolumeInformationCall call;
  call.path = Text(root);
  call.nameSize = volumeName != nullptr ? volumeNameSize : 0;
  call.fileSystemSize = fileSystemName != nullptr ? fileSystemNameSize : 0;
  if (!Answer(call, nullptr, [&] {
        call.result = m_inner->GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                                     maxComponentLength, fileSystemFlags,
                                                     fileSystemName, fileSystemNameSize);
      }))
    return Missing(FALSE);
  Name(call.volumeName, volumeName, volumeNameSize);
  Value(call.serial, serialNumber);
  Value(call.maxComponent, maxComponentLength);
  Value(call.fileSystemFlags, fileSystemFlags);
  Name(call.fileSystem, fileSystemName, fileSystemNameSize);
  Finish(call);
  return call.result;
}

LPVOID FieldTrace::VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  // Memory is no question for the trace: the recorded machine's, or the replaying one's.
  if (Recording()) return m_inner->VirtualAlloc(address, size, type, protect);
  if (address != nullptr || size == 0 || !(type & MEM_COMMIT) || protect != PAGE_READWRITE ||
      size > (SIZE_T{1} << 30))
    return Missing(LPVOID{nullptr});
  void* block = m_buffers.Allocate(size);
  if (block == nullptr) return Missing(LPVOID{nullptr});
  m_lastError = ERROR_SUCCESS;
  return block;
}

BOOL FieldTrace::VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  if (Recording()) return m_inner->VirtualFree(address, size, type);
  if (type != MEM_RELEASE || size != 0 || !m_buffers.Free(address)) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  return TRUE;
}

BOOL FieldTrace::GetVersionExA(LPOSVERSIONINFOA info) {
  GetVersionExCall call;
  call.size = info != nullptr ? info->dwOSVersionInfoSize : 0;
  if (!Answer(call, nullptr, [&] { call.result = m_inner->GetVersionExA(info); }))
    return Missing(FALSE);
  // At most `size` bytes, and never past the structure the caller gave.
  Buffer(call.out, info, call.size <= sizeof *info ? call.size : 0);
  Finish(call);
  return call.result;
}

HANDLE FieldTrace::FindFirstVolumeA(LPSTR name, DWORD size) {
  FindFirstVolumeCall call;
  call.size = size;
  HANDLE h = INVALID_HANDLE_VALUE;
  if (!Answer(call, nullptr, [&] { h = m_inner->FindFirstVolumeA(name, size); }))
    return Missing(INVALID_HANDLE_VALUE);
  h = Opened(h, call.Ask(""), &call.handle);
  if (h != INVALID_HANDLE_VALUE) Name(call.name, name, size);
  Finish(call);
  return h;
}

BOOL FieldTrace::FindNextVolumeA(HANDLE h, LPSTR name, DWORD size) {
  FindNextVolumeCall call;
  call.size = size;
  if (!Answer(call, h, [&] { call.result = m_inner->FindNextVolumeA(h, name, size); }))
    return Missing(FALSE);
  if (call.result) Name(call.name, name, size);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::FindVolumeClose(HANDLE h) {
  FindVolumeCloseCall call;
  const bool answered = Answer(call, h, [&] { call.result = m_inner->FindVolumeClose(h); });
  m_handles.erase(h);
  if (!answered) return Missing(FALSE);
  Finish(call);
  return call.result;
}

HANDLE FieldTrace::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  FindFirstFileCall call;
  call.pattern = Text(pattern);
  HANDLE h = INVALID_HANDLE_VALUE;
  if (!Answer(call, nullptr, [&] { h = m_inner->FindFirstFileA(pattern, found); }))
    return Missing(INVALID_HANDLE_VALUE);
  h = Opened(h, call.Ask(""), &call.handle);
  Buffer(call.out, found, h != INVALID_HANDLE_VALUE ? sizeof(WIN32_FIND_DATAA) : 0);
  Finish(call);
  return h;
}

BOOL FieldTrace::FindNextFileA(HANDLE h, LPWIN32_FIND_DATAA found) {
  FindNextFileCall call;
  if (!Answer(call, h, [&] { call.result = m_inner->FindNextFileA(h, found); }))
    return Missing(FALSE);
  Buffer(call.out, found, call.result ? sizeof(WIN32_FIND_DATAA) : 0);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::FindClose(HANDLE h) {
  FindCloseCall call;
  const bool answered = Answer(call, h, [&] { call.result = m_inner->FindClose(h); });
  m_handles.erase(h);
  if (!answered) return Missing(FALSE);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetVolumePathNamesForVolumeNameA(LPCSTR name, LPSTR paths, DWORD size,
                                                  PDWORD returned) {
  GetVolumePathNamesCall call;
  call.path = Text(name);
  call.size = size;
  if (!Answer(call, nullptr, [&] {
        call.result = m_inner->GetVolumePathNamesForVolumeNameA(name, paths, size, returned);
      }))
    return Missing(FALSE);
  At(call.returned, returned);
  const DWORD count = call.result && returned != nullptr && paths != nullptr ? *returned : 0;
  Buffer(call.out, paths, std::min(count, size));
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR name, DWORD size) {
  GetVolumeNameForMountPointCall call;
  call.path = Text(mountPoint);
  call.size = size;
  if (!Answer(call, nullptr, [&] {
        call.result = m_inner->GetVolumeNameForVolumeMountPointA(mountPoint, name, size);
      }))
    return Missing(FALSE);
  if (call.result) Name(call.name, name, size);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::OpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  OpenProcessTokenCall call;
  call.access = access;
  HANDLE h = INVALID_HANDLE_VALUE;
  if (!Answer(call, nullptr, [&] {
        if (m_inner->OpenProcessToken(process, access, token) && token != nullptr) h = *token;
      }))
    return Missing(FALSE);
  h = Opened(h, call.Ask(""), &call.handle);
  Finish(call);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  if (token != nullptr) *token = h;
  return TRUE;
}

BOOL FieldTrace::GetTokenInformation(HANDLE h, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                                     DWORD size, PDWORD returned) {
  GetTokenInformationCall call;
  call.infoClass = static_cast<uint32_t>(infoClass);
  call.size = size;
  if (!Answer(call, h, [&] {
        call.result = m_inner->GetTokenInformation(h, infoClass, info, size, returned);
      }))
    return Missing(FALSE);
  At(call.returned, returned);
  Buffer(call.out, info, call.result ? size : 0);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetFileInformationByHandleEx(HANDLE h, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                              LPVOID info, DWORD size) {
  GetFileInformationByHandleCall call;
  call.infoClass = static_cast<uint32_t>(infoClass);
  call.size = size;
  if (!Answer(call, h, [&] {
        call.result = m_inner->GetFileInformationByHandleEx(h, infoClass, info, size);
      }))
    return Missing(FALSE);
  Buffer(call.out, info, call.result ? size : 0);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetFileInformationByHandle(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
  GetFileIndexCall call;
  if (!Answer(call, h, [&] { call.result = m_inner->GetFileInformationByHandle(h, info); }))
    return Missing(FALSE);
  Buffer(call.out, info, call.result ? sizeof(BY_HANDLE_FILE_INFORMATION) : 0);
  Finish(call);
  return call.result;
}

BOOL FieldTrace::GetComputerNameA(LPSTR name, LPDWORD size) {
  GetComputerNameCall call;
  call.size = size != nullptr ? *size : 0;
  if (!Answer(call, nullptr, [&] { call.result = m_inner->GetComputerNameA(name, size); }))
    return Missing(FALSE);
  Value(call.returned, size);
  if (call.result) Name(call.name, name, call.size);
  Finish(call);
  return call.result;
}

UINT FieldTrace::GetACP() {
  GetACPCall call;
  if (!Answer(call, nullptr, [&] { call.codePage = m_inner->GetACP(); }))
    return m_format < kCodePageFormat ? 1252 : 0;  // older traces were read as 1252
  Finish(call);
  return call.codePage;
}

void FieldTrace::GetSystemTimeAsFileTime(LPFILETIME time) {
  // Older traces record no time: they answer the Unix epoch, which no real run gives.
  constexpr uint64_t kUnixEpoch = 116444736000000000;
  GetSystemTimeCall call;
  uint64_t answer = 0;
  if (!Answer(call, nullptr, [&] {
        m_inner->GetSystemTimeAsFileTime(time);
        call.fileTime = uint64_t{time->dwHighDateTime} << 32 | time->dwLowDateTime;
      }))
    answer = m_format < kTimeFormat ? kUnixEpoch : 0;
  else
    answer = call.fileTime;
  Finish(call);
  time->dwLowDateTime = static_cast<DWORD>(answer);
  time->dwHighDateTime = static_cast<DWORD>(answer >> 32);
}

int FieldTrace::MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int textBytes,
                                    LPWSTR wide, int wideChars) {
  MultiByteToWideCharCall call;
  call.codePage = codePage;
  call.flags = flags;
  call.textBytes = textBytes;
  call.wideChars = wideChars;
  if (text != nullptr && textBytes != 0)
    call.text = Copy(text, textBytes < 0 ? std::strlen(text) + 1 : static_cast<size_t>(textBytes));
  if (!Answer(call, nullptr, [&] {
        call.result =
            m_inner->MultiByteToWideChar(codePage, flags, text, textBytes, wide, wideChars);
      })) {
    // An older trace asked nothing of the kind: its names were read as code page 1252.
    if (m_format >= kCodePageFormat || codePage != 1252) return Missing(0);
    const std::u16string decoded = DecodeCp1252(std::string(call.text.begin(), call.text.end()));
    call.result = static_cast<int32_t>(decoded.size());
    if (wide != nullptr && wideChars != 0) {
      if (wideChars < call.result) return Missing(0);
      std::copy(decoded.begin(), decoded.end(), wide);
    }
    m_lastError = ERROR_SUCCESS;
    return call.result;
  }
  const bool filled = wide != nullptr && wideChars != 0 && call.result > 0;
  const size_t wideBytes = 2 * static_cast<size_t>(call.result > 0 ? call.result : 0);
  if (Recording()) {
    if (filled) call.wide = Copy(wide, wideBytes);  // UTF-16 little-endian, as Windows keeps it
  } else if (filled) {
    // Characters the trace does not hold, or more than the room given, are no answer.
    if (!call.wide || call.wide->size() != wideBytes || call.result > wideChars) return Missing(0);
    for (int32_t i = 0; i < call.result; ++i)
      wide[i] = static_cast<WCHAR>((*call.wide)[2 * i] | ((*call.wide)[2 * i + 1] << 8));
  }
  Finish(call);
  return call.result;
}

int FieldTrace::WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideChars,
                                    LPSTR text, int textBytes, LPCCH defaultChar,
                                    LPBOOL usedDefault) {
  WideCharToMultiByteCall call;
  call.codePage = codePage;
  call.flags = flags;
  call.wideChars = wideChars;
  call.textBytes = textBytes;
  if (wide != nullptr && wideChars > 0) call.wide = Copy(wide, 2 * static_cast<size_t>(wideChars));
  BOOL defaulted = FALSE;
  if (!Answer(call, nullptr, [&] {
        call.result = m_inner->WideCharToMultiByte(codePage, flags, wide, wideChars, text,
                                                   textBytes, defaultChar, &defaulted);
        call.usedDefault = defaulted != FALSE;
      }))
    return Missing(0);
  const bool filled = text != nullptr && textBytes != 0 && call.result > 0;
  if (Recording()) {
    if (filled) call.text = Copy(text, static_cast<size_t>(call.result));
  } else if (filled) {
    if (!call.text || call.text->size() != static_cast<size_t>(call.result) ||
        call.result > textBytes)
      return Missing(0);
    std::memcpy(text, call.text->data(), call.text->size());
  }
  if (usedDefault != nullptr) *usedDefault = call.usedDefault ? TRUE : FALSE;
  Finish(call);
  return call.result;
}

}  // namespace trace
