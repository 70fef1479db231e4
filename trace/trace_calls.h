// Each traced call once: its name, the fields of its line in the order they are written,
// and the question it asks. The recorder fills a call from what passed the door and
// writes it; the replay reads it back, and asks the same question of a call it answers.
// A call's fields are its question and its answer, and the error it left.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "json/json_line.h"
#include "json/json_writer.h"
#include "platform/win32types.h"
#include "trace/trace_question.h"

namespace trace {

constexpr uint64_t kDword = 0xFFFFFFFFu;
constexpr size_t kMostLineBytes = 8u << 20;  // a line holds at most a few sectors as hex

// What a call does with a handle. An open's handle is numbered in the trace, from 1, null
// when the open failed; a call on a handle is asked under its open's question.
enum class HandleUse { None, Opens, On };

// The trace formats, each named in a trace's first line: 1 (version 1.02, which names
// none); 2 asks every volume for its pieces, every drive for its table and size, and the
// process's token whether it runs elevated; 3 reads the boot sector of each volume with
// neither letter nor folder; 4 asks each volume for Windows' view of its sectors
// (GetFileInformationByHandleEx) and each drive whether it pays for seeking and takes TRIM;
// 5 asks the computer's name; 6 asks the system's ANSI code page, has it decode the names the
// JSON and CSV write (a trace of an older format answers 1252, the page it was read in) and
// encode the Unicode names of an image's parents; 7 asks the time (a trace of an older
// format records none, and answers 1970-01-01T00:00:00Z); 8 lists folders (FindFirstFileA) and asks a file's identity (FileIdInfo,
// GetFileInformationByHandle).
constexpr uint32_t kFirstFormat = 1;
constexpr uint32_t kPiecesFormat = 2;
constexpr uint32_t kBootSectorFormat = 3;
constexpr uint32_t kWindowsViewFormat = 4;
constexpr uint32_t kComputerNameFormat = 5;
constexpr uint32_t kCodePageFormat = 6;
constexpr uint32_t kTimeFormat = 7;
constexpr uint32_t kFolderFormat = 8;

struct CallBase {
  static constexpr HandleUse kHandle = HandleUse::None;
  uint32_t error = 0;  // what GetLastError said after the call
  // The first trace format whose program asks this question: a trace of an older one
  // answers it as failing, without listing it, as its machine was never asked. `held`
  // tells whether the trace holds an answer to a question.
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kFirstFormat;
  }
};

struct CreateFileCall : CallBase {
  static constexpr const char kName[] = "CreateFileA";
  static constexpr HandleUse kHandle = HandleUse::Opens;
  std::string path;
  uint32_t access = 0, share = 0, disposition = 0, flags = 0;
  std::optional<uint64_t> handle;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("access", access) && v.Field("share", share) &&
           v.Field("disposition", disposition) && v.Field("flags", flags) &&
           v.Maybe("handle", handle);
  }
  Question Ask(const std::string&) const {
    return Question(kName)
        .Text(" ", path)
        .Hex(" access ", access)
        .Unsigned(" share ", share)
        .Unsigned(" disposition ", disposition)
        .Hex(" flags ", flags);
  }
  // Format 3 reads the boot sector of a volume with neither letter nor folder, which
  // format 2 opened with access 0 only, for its pieces: a read open of a volume that the
  // trace holds only such an open of. A volume the trace read under any access is no
  // volume format 3 added.
  template <class Held>
  uint32_t AskedSince(const Held& held) const {
    if (access == 0 || path.rfind("\\\\?\\", 0) != 0) return kFirstFormat;
    CreateFileCall queried = *this;
    queried.access = 0;
    queried.flags = 0;
    return held(queried.Ask("")) ? kBootSectorFormat : kFirstFormat;
  }
};

struct DeviceIoControlCall : CallBase {
  static constexpr const char kName[] = "DeviceIoControl";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  uint32_t code = 0;
  std::optional<Bytes> in;  // the request as it went in: the answer may reuse its buffer
  uint32_t outSize = 0;
  bool result = false;
  std::optional<Bytes> out;
  std::optional<uint32_t> returned;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("code", code) && v.Maybe("in", in, kMostLineBytes) &&
           v.Field("outSize", outSize) && v.Field("result", result) &&
           v.Maybe("out", out, outSize) && v.Maybe("returned", returned);
  }
  Question Ask(const std::string& on) const {
    return Question(kName)
        .Hex(" ", code)
        .Text(" on [", on, "]")
        .Bytes(" in ", in)
        .Unsigned(" out ", outSize)
        .Flag(" counted", returned.has_value());
  }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    const bool since2 = code == IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS ||
                        code == IOCTL_DISK_GET_DRIVE_LAYOUT_EX ||
                        code == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX;
    if (since2) return kPiecesFormat;
    // The seek penalty and TRIM properties: the query's first DWORD names the property.
    if (code == IOCTL_STORAGE_QUERY_PROPERTY && in && in->size() >= 4) {
      const uint32_t property =
          (*in)[0] | ((*in)[1] << 8) | ((*in)[2] << 16) | (static_cast<uint32_t>((*in)[3]) << 24);
      if (property == StorageDeviceSeekPenaltyProperty || property == StorageDeviceTrimProperty)
        return kWindowsViewFormat;
    }
    return kFirstFormat;
  }
};

struct SetFilePointerCall : CallBase {
  static constexpr const char kName[] = "SetFilePointer";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  int32_t low = 0;
  std::optional<int32_t> high;
  uint32_t method = 0, result = 0;
  std::optional<int32_t> highOut;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("low", low) && v.Maybe("high", high) &&
           v.Field("method", method) && v.Field("result", result) && v.Maybe("highOut", highOut) &&
           v.Agree(high.has_value() == highOut.has_value(), "\"high\" and \"highOut\" disagree");
  }
  Question Ask(const std::string& on) const {
    return Question(kName)
        .Text(" on [", on, "]")
        .Decimal(" low ", low)
        .MaybeDecimal(" high ", high)
        .Unsigned(" method ", method);
  }
};

struct ReadFileCall : CallBase {
  static constexpr const char kName[] = "ReadFile";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  uint64_t position = 0;  // where the read began: the device's own position
  uint32_t size = 0;
  bool result = false;
  Bytes out;
  std::optional<uint32_t> read;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("position", position) && v.Field("size", size) &&
           v.Field("result", result) && v.Field("out", out, size) && v.Maybe("read", read);
  }
  Question Ask(const std::string& on) const {
    return Question(kName)
        .Text(" on [", on, "]")
        .Unsigned(" at byte ", position)
        .Unsigned(", ", size, " bytes");
  }
};

// A handle's end: CloseHandle, FindVolumeClose.
template <const char* Name>
struct CloseCall : CallBase {
  static constexpr const char* kName = Name;
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  bool result = false;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("result", result);
  }
  Question Ask(const std::string& on) const { return Question(kName).Text(" on [", on, "]"); }
};
inline constexpr char kCloseHandle[] = "CloseHandle";
inline constexpr char kFindVolumeClose[] = "FindVolumeClose";
inline constexpr char kFindClose[] = "FindClose";
using CloseHandleCall = CloseCall<kCloseHandle>;
using FindVolumeCloseCall = CloseCall<kFindVolumeClose>;
struct FindCloseCall : CloseCall<kFindClose> {
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kFolderFormat;
  }
};

struct GetDriveTypeCall : CallBase {
  static constexpr const char kName[] = "GetDriveTypeA";
  std::string path;
  uint32_t result = 0;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("result", result);
  }
  Question Ask(const std::string&) const { return Question(kName).Text(" ", path); }
};

struct GetDiskFreeSpaceCall : CallBase {
  static constexpr const char kName[] = "GetDiskFreeSpaceA";
  std::string path;
  bool result = false;
  std::optional<uint32_t> sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("result", result) &&
           v.Maybe("sectorsPerCluster", sectorsPerCluster) &&
           v.Maybe("bytesPerSector", bytesPerSector) && v.Maybe("freeClusters", freeClusters) &&
           v.Maybe("totalClusters", totalClusters);
  }
  Question Ask(const std::string&) const { return Question(kName).Text(" ", path); }
};

struct GetVolumeInformationCall : CallBase {
  static constexpr const char kName[] = "GetVolumeInformationA";
  std::string path;
  uint32_t nameSize = 0, fileSystemSize = 0;  // 0 for a buffer not given
  bool result = false;
  std::string volumeName;
  uint32_t serial = 0, maxComponent = 0, fileSystemFlags = 0;
  std::string fileSystem;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("nameSize", nameSize) &&
           v.Field("fileSystemSize", fileSystemSize) && v.Field("result", result) &&
           v.Field("volumeName", volumeName) && v.Field("serial", serial) &&
           v.Field("maxComponent", maxComponent) && v.Field("fileSystemFlags", fileSystemFlags) &&
           v.Field("fileSystem", fileSystem);
  }
  Question Ask(const std::string&) const {
    return Question(kName)
        .Text(" ", path)
        .Unsigned(" name ", nameSize)
        .Unsigned(" file system ", fileSystemSize);
  }
};

struct GetVersionExCall : CallBase {
  static constexpr const char kName[] = "GetVersionExA";
  uint32_t size = 0;
  bool result = false;
  Bytes out;
  template <class V>
  bool Fields(V& v) {
    return v.Field("size", size, sizeof(OSVERSIONINFOA)) && v.Field("result", result) &&
           v.Field("out", out, size);
  }
  Question Ask(const std::string&) const { return Question(kName).Unsigned(" size ", size); }
};

struct FindFirstVolumeCall : CallBase {
  static constexpr const char kName[] = "FindFirstVolumeA";
  static constexpr HandleUse kHandle = HandleUse::Opens;
  uint32_t size = 0;
  std::optional<uint64_t> handle;
  std::string name;
  template <class V>
  bool Fields(V& v) {
    return v.Field("size", size) && v.Maybe("handle", handle) && v.Field("name", name);
  }
  Question Ask(const std::string&) const { return Question(kName).Unsigned(" size ", size); }
};

struct FindNextVolumeCall : CallBase {
  static constexpr const char kName[] = "FindNextVolumeA";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  uint32_t size = 0;
  bool result = false;
  std::string name;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("size", size) && v.Field("result", result) &&
           v.Field("name", name);
  }
  Question Ask(const std::string& on) const {
    return Question(kName).Text(" on [", on, "]").Unsigned(" size ", size);
  }
};

// A folder's first entry and the next: each as the 320 bytes of WIN32_FIND_DATAA.
struct FindFirstFileCall : CallBase {
  static constexpr const char kName[] = "FindFirstFileA";
  static constexpr HandleUse kHandle = HandleUse::Opens;
  std::string pattern;
  std::optional<uint64_t> handle;
  Bytes out;
  template <class V>
  bool Fields(V& v) {
    return v.Field("pattern", pattern) && v.Maybe("handle", handle) &&
           v.Field("out", out, sizeof(WIN32_FIND_DATAA));
  }
  Question Ask(const std::string&) const { return Question(kName).Text(" [", pattern, "]"); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kFolderFormat;
  }
};

struct FindNextFileCall : CallBase {
  static constexpr const char kName[] = "FindNextFileA";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  bool result = false;
  Bytes out;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("result", result) &&
           v.Field("out", out, sizeof(WIN32_FIND_DATAA));
  }
  Question Ask(const std::string& on) const { return Question(kName).Text(" on [", on, "]"); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kFolderFormat;
  }
};

struct GetFileIndexCall : CallBase {
  static constexpr const char kName[] = "GetFileInformationByHandle";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  bool result = false;
  Bytes out;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("result", result) &&
           v.Field("out", out, sizeof(BY_HANDLE_FILE_INFORMATION));
  }
  Question Ask(const std::string& on) const { return Question(kName).Text(" on [", on, "]"); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kFolderFormat;
  }
};

struct GetVolumePathNamesCall : CallBase {
  static constexpr const char kName[] = "GetVolumePathNamesForVolumeNameA";
  std::string path;
  uint32_t size = 0;
  bool result = false;
  Bytes out;
  std::optional<uint32_t> returned;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("size", size) && v.Field("result", result) &&
           v.Field("out", out, size) && v.Maybe("returned", returned);
  }
  Question Ask(const std::string&) const {
    return Question(kName).Text(" ", path).Unsigned(" size ", size);
  }
};

struct GetVolumeNameForMountPointCall : CallBase {
  static constexpr const char kName[] = "GetVolumeNameForVolumeMountPointA";
  std::string path;
  uint32_t size = 0;
  bool result = false;
  std::string name;
  template <class V>
  bool Fields(V& v) {
    return v.Field("path", path) && v.Field("size", size) && v.Field("result", result) &&
           v.Field("name", name);
  }
  Question Ask(const std::string&) const {
    return Question(kName).Text(" ", path).Unsigned(" size ", size);
  }
};

// The process's own token: only its access is a question (the process is always this one).
struct OpenProcessTokenCall : CallBase {
  static constexpr const char kName[] = "OpenProcessToken";
  static constexpr HandleUse kHandle = HandleUse::Opens;
  uint32_t access = 0;
  std::optional<uint64_t> handle;
  template <class V>
  bool Fields(V& v) {
    return v.Field("access", access) && v.Maybe("handle", handle);
  }
  Question Ask(const std::string&) const { return Question(kName).Hex(" access ", access); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kPiecesFormat;
  }
};

struct GetTokenInformationCall : CallBase {
  static constexpr const char kName[] = "GetTokenInformation";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  uint32_t infoClass = 0, size = 0;
  bool result = false;
  Bytes out;
  std::optional<uint32_t> returned;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("class", infoClass) && v.Field("size", size) &&
           v.Field("result", result) && v.Field("out", out, size) && v.Maybe("returned", returned);
  }
  Question Ask(const std::string& on) const {
    return Question(kName)
        .Text(" on [", on, "]")
        .Unsigned(" class ", infoClass)
        .Unsigned(" size ", size);
  }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kPiecesFormat;
  }
};

// Windows' view of a volume's sectors: the class asked, and the structure it filled.
struct GetFileInformationByHandleCall : CallBase {
  static constexpr const char kName[] = "GetFileInformationByHandleEx";
  static constexpr HandleUse kHandle = HandleUse::On;
  uint64_t handle = 0;
  uint32_t infoClass = 0, size = 0;
  bool result = false;
  Bytes out;
  template <class V>
  bool Fields(V& v) {
    return v.On("handle", handle) && v.Field("class", infoClass) && v.Field("size", size) &&
           v.Field("result", result) && v.Field("out", out, size);
  }
  Question Ask(const std::string& on) const {
    return Question(kName)
        .Text(" on [", on, "]")
        .Unsigned(" class ", infoClass)
        .Unsigned(" size ", size);
  }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kWindowsViewFormat;
  }
};

// The computer's name: the buffer's size in characters, the name, and the count Windows gave
// back (the characters copied; failing, the size the name needs).
struct GetComputerNameCall : CallBase {
  static constexpr const char kName[] = "GetComputerNameA";
  uint32_t size = 0;
  bool result = false;
  std::string name;
  uint32_t returned = 0;
  template <class V>
  bool Fields(V& v) {
    return v.Field("size", size) && v.Field("result", result) && v.Field("name", name) &&
           v.Field("returned", returned);
  }
  Question Ask(const std::string&) const { return Question(kName).Unsigned(" size ", size); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kComputerNameFormat;
  }
};

// The system's ANSI code page.
struct GetACPCall : CallBase {
  static constexpr const char kName[] = "GetACP";
  uint32_t codePage = 0;
  template <class V>
  bool Fields(V& v) {
    return v.Field("codePage", codePage);
  }
  Question Ask(const std::string&) const { return Question(kName); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kCodePageFormat;
  }
};

// The time of day, UTC, as a FILETIME's 100-nanosecond count.
struct GetSystemTimeCall : CallBase {
  static constexpr const char kName[] = "GetSystemTimeAsFileTime";
  uint64_t fileTime = 0;
  template <class V>
  bool Fields(V& v) {
    return v.Field("fileTime", fileTime);
  }
  Question Ask(const std::string&) const { return Question(kName); }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kTimeFormat;
  }
};

// Text decoded by the system: the code page, the bytes and their count (-1: up to their
// terminator), the room given; the characters it made, as UTF-16 little-endian bytes.
struct MultiByteToWideCharCall : CallBase {
  static constexpr const char kName[] = "MultiByteToWideChar";
  uint32_t codePage = 0, flags = 0;
  Bytes text;
  int32_t textBytes = 0, wideChars = 0, result = 0;
  std::optional<Bytes> wide;
  template <class V>
  bool Fields(V& v) {
    return v.Field("codePage", codePage) && v.Field("flags", flags) &&
           v.Field("text", text, kMostLineBytes) && v.Field("textBytes", textBytes) &&
           v.Field("wideChars", wideChars) && v.Field("result", result) &&
           v.Maybe("wide", wide, 2 * static_cast<size_t>(wideChars > 0 ? wideChars : 0));
  }
  Question Ask(const std::string&) const {
    return Question(kName)
        .Unsigned(" code page ", codePage)
        .Hex(" flags ", flags)
        .Bytes(" text ", text)
        .Decimal(" of ", textBytes)
        .Decimal(" room ", wideChars);
  }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kCodePageFormat;
  }
};

// Unicode encoded by the system: the code page, the characters (UTF-16LE) and their count,
// the room; the bytes it made, and whether it had to put a default character.
struct WideCharToMultiByteCall : CallBase {
  static constexpr const char kName[] = "WideCharToMultiByte";
  uint32_t codePage = 0, flags = 0;
  Bytes wide;
  int32_t wideChars = 0, textBytes = 0, result = 0;
  bool usedDefault = false;
  std::optional<Bytes> text;
  template <class V>
  bool Fields(V& v) {
    return v.Field("codePage", codePage) && v.Field("flags", flags) &&
           v.Field("wide", wide, kMostLineBytes) && v.Field("wideChars", wideChars) &&
           v.Field("textBytes", textBytes) && v.Field("result", result) &&
           v.Field("usedDefault", usedDefault) &&
           v.Maybe("text", text, static_cast<size_t>(textBytes > 0 ? textBytes : 0));
  }
  Question Ask(const std::string&) const {
    return Question(kName)
        .Unsigned(" code page ", codePage)
        .Hex(" flags ", flags)
        .Bytes(" wide ", wide)
        .Decimal(" room ", textBytes);
  }
  template <class Held>
  uint32_t AskedSince(const Held&) const {
    return kCodePageFormat;
  }
};

using Call =
    std::variant<CreateFileCall, DeviceIoControlCall, SetFilePointerCall, ReadFileCall,
                 CloseHandleCall, FindVolumeCloseCall, GetDriveTypeCall, GetDiskFreeSpaceCall,
                 GetVolumeInformationCall, GetVersionExCall, FindFirstVolumeCall,
                 FindNextVolumeCall, GetVolumePathNamesCall, GetVolumeNameForMountPointCall,
                 OpenProcessTokenCall, GetTokenInformationCall, GetFileInformationByHandleCall,
                 GetComputerNameCall, GetACPCall, MultiByteToWideCharCall, WideCharToMultiByteCall,
                 GetSystemTimeCall, FindFirstFileCall, FindNextFileCall, FindCloseCall,
                 GetFileIndexCall>;

// Writes a call's fields into one line of JSON.
class FieldWriter {
 public:
  explicit FieldWriter(JsonWriter& json) : m_json(json) {}
  bool Field(const char* key, const std::string& value) { return Put(key, value); }
  bool Field(const char* key, const Bytes& value, size_t = 0) {
    return Put(key, HexOf(value.data(), value.size()));  // hex digits need no escape
  }
  bool Field(const char* key, bool value) { return Put(key, uint64_t{value ? 1u : 0u}); }
  template <typename N, std::enable_if_t<std::is_integral_v<N>, int> = 0>
  bool Field(const char* key, N value, uint64_t = 0) {
    return Put(key, value);
  }
  template <typename T, typename... Max>
  bool Maybe(const char* key, const std::optional<T>& value, Max... max) {
    if (value) return Field(key, *value, max...);
    m_json.Key(key);
    m_json.Null();
    return true;
  }
  bool On(const char* key, uint64_t handle) { return Field(key, handle); }
  bool Agree(bool, const char*) { return true; }

 private:
  template <typename T>
  bool Put(const char* key, const T& value) {
    m_json.Member(key, value);
    return true;
  }
  JsonWriter& m_json;
};

// Reads a call's fields from one line, each checked for its kind and range (DWORDs unless
// said otherwise); the first that fails says why in *error. A call on a handle must name
// one the trace opened.
class FieldReader {
 public:
  FieldReader(const JsonLine& line, const std::map<uint64_t, std::string>& opened,
              std::string* error)
      : m_line(line), m_opened(opened), m_error(error) {}
  bool Field(const char* key, std::string& value) { return m_line.Text(key, &value, m_error); }
  bool Field(const char* key, Bytes& value, size_t max) {
    return m_line.Hex(key, max, &value, m_error);
  }
  bool Field(const char* key, bool& value);
  bool Field(const char* key, uint32_t& value, uint64_t max = kDword);
  bool Field(const char* key, uint64_t& value);
  bool Field(const char* key, int32_t& value);
  template <typename T, typename... Max>
  bool Maybe(const char* key, std::optional<T>& value, Max... max) {
    value.reset();
    return m_line.IsNull(key) || Field(key, value.emplace(), max...);
  }
  bool On(const char* key, uint64_t& handle);
  bool Agree(bool agree, const char* why);

 private:
  const JsonLine& m_line;
  const std::map<uint64_t, std::string>& m_opened;
  std::string* m_error;
};

}  // namespace trace
