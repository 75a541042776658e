// The Windows services behind the platform layer: CreateFileA without sharing,
// FindFirstFileA for the existence test, MessageBoxA for the error box, and the
// program's own command line.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string_view>

#include "runtime/platform.h"

namespace quenlo::platform {
namespace {

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<FileHandle>(handle);
}

// Share mode 0: the open fails while another program holds the file, and no
// other program can open it meanwhile.
FileHandle OpenUnshared(const std::string& name, DWORD access, DWORD disposition) {
  return FromHandle(
      CreateFileA(name.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The code points of code page 1252's bytes 0x80 to 0x9F; 0 where the byte is unassigned.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToCodePage1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == code) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// The next code point of a UTF-8 text; a byte that starts no complete
// sequence stands for itself.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  auto lead = static_cast<unsigned char>(text[i]);
  size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  char32_t code = lead & (0x3F >> extra);
  bool complete = extra > 0 && i + extra < text.size();
  for (size_t k = 1; complete && k <= extra; ++k) {
    auto next = static_cast<unsigned char>(text[i + k]);
    complete = (next & 0xC0) == 0x80;
    code = (code << 6) | (next & 0x3F);
  }
  if (!complete) {
    ++i;
    return lead;
  }
  i += extra + 1;
  return code;
}

// Standard handles exist only when the caller gave them: a GUI-subsystem
// program started from Explorer has none, and then nothing is written.
void WriteToStandardHandle(DWORD which, std::string_view text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    DWORD piece = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
    if (!::WriteFile(handle, p, piece, &written, nullptr) || written == 0) return;
    p += written;
    left -= written;
  }
}

}  // namespace

const bool kMessagesAreUtf8 = false;

std::string MessageText(const char* utf8) {
  std::string_view text(utf8);
  std::string converted;
  converted.reserve(text.size());
  for (size_t i = 0; i < text.size();) converted += ToCodePage1252(NextCodePoint(text, i));
  return converted;
}

FileHandle OpenFileForReading(const std::string& name) {
  return OpenUnshared(name, GENERIC_READ, OPEN_EXISTING);
}

// CREATE_ALWAYS truncates only once the file is held: a file in use fails to
// open and is left intact.
FileHandle CreateFileForWriting(const std::string& name) {
  return OpenUnshared(name, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

int32_t ReadFile(FileHandle file, void* buffer, int32_t count) {
  if (count <= 0) return 0;
  auto* p = static_cast<char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    DWORD moved = 0;
    if (!::ReadFile(AsHandle(file), p + done, static_cast<DWORD>(count - done), &moved, nullptr)) {
      return 0;
    }
    if (moved == 0) break;
    done += static_cast<int32_t>(moved);
  }
  return done;
}

int32_t WriteFile(FileHandle file, const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* p = static_cast<const char*>(buffer);
  int32_t done = 0;
  while (done < count) {
    DWORD moved = 0;
    if (!::WriteFile(AsHandle(file), p + done, static_cast<DWORD>(count - done), &moved, nullptr) ||
        moved == 0) {
      break;
    }
    done += static_cast<int32_t>(moved);
  }
  return done;
}

int32_t SeekFile(FileHandle file, int32_t offset, int32_t origin) {
  DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
  DWORD position = SetFilePointer(AsHandle(file), offset, nullptr, method);
  return static_cast<int32_t>(position);
}

void CloseFile(FileHandle file) {
  if (file != kInvalidHandle) CloseHandle(AsHandle(file));
}

// Wildcards are the search's own: the first match decides. Its last-write time
// must also be one a DOS date and time can hold (1980 to 2107, local time); the
// years are checked as well, since not every implementation of the conversion
// refuses the years after 2107.
bool FileIsPresent(const std::string& name) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  FILETIME local;
  WORD dos_date = 0;
  WORD dos_time = 0;
  SYSTEMTIME parts;
  return FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) &&
         FileTimeToDosDateTime(&local, &dos_date, &dos_time) &&
         FileTimeToSystemTime(&local, &parts) && parts.wYear >= 1980 && parts.wYear <= 2107;
}

std::string ModuleName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return "Quenlo.exe";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::string name = path.substr(path.find_last_of('\\') + 1);
  return name.substr(0, 63);
}

// No owner window, an OK button, the error icon, modal for the whole task.
void ShowErrorBox(const std::string& title, const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void WriteErrorLine(const std::string& line) {
  WriteToStandardHandle(STD_ERROR_HANDLE, line);
  WriteToStandardHandle(STD_ERROR_HANDLE, "\r\n");
}

void WriteOutputLine(const std::string& line) {
  WriteToStandardHandle(STD_OUTPUT_HANDLE, line);
  WriteToStandardHandle(STD_OUTPUT_HANDLE, "\r\n");
}

char LocaleDecimalSeparator() {
  char mark[2] = {0, 0};
  if (GetLocaleInfoA(GetSystemDefaultLCID(), LOCALE_SDECIMAL, mark, 2) == 0 || mark[0] == '\0') {
    return '.';
  }
  return mark[0];
}

}  // namespace quenlo::platform

namespace quenlo::platform {

const bool kHasNativeCommandLine = true;
const bool kAnswersInformationRequests = false;

std::string NativeCommandLine() {
  const char* line = GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

}  // namespace quenlo::platform
