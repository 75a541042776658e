// The operating system, behind the few services the program needs. One
// implementation per platform: platform_posix.cpp, platform_windows.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace quenlo::platform {

using FileHandle = intptr_t;
constexpr FileHandle kInvalidHandle = -1;

// Both open without sharing; kInvalidHandle on failure. Create truncates an
// existing file only once it is held.
FileHandle OpenFileForReading(const std::string& name);
FileHandle CreateFileForWriting(const std::string& name);
// Counts actually moved; 0 when the call fails.
int32_t ReadFile(FileHandle file, void* buffer, int32_t count);
int32_t WriteFile(FileHandle file, const void* buffer, int32_t count);
// The new position as the system reports it (-1 on failure).
int32_t SeekFile(FileHandle file, int32_t offset, int32_t origin);
void CloseFile(FileHandle file);

// The name designates an existing entry that is not a directory.
bool FileIsPresent(const std::string& name);

// The file name of the running executable, at most 63 characters.
std::string ModuleName();

// Shows the error box (on POSIX: title line and text on standard error).
void ShowErrorBox(const std::string& title, const std::string& text);

// Writes one line to standard error / standard output, for the short hints.
void WriteErrorLine(const std::string& line);
void WriteOutputLine(const std::string& line);

// The first character of the locale's decimal separator, '.' if none.
char LocaleDecimalSeparator();

}  // namespace quenlo::platform

namespace quenlo::platform {

// Whether the message table's texts stay UTF-8 (POSIX) or become code page 1252.
extern const bool kMessagesAreUtf8;
// A text of the message table, converted for the platform.
std::string MessageText(const char* utf8);

}  // namespace quenlo::platform

namespace quenlo::platform {

// Whether the program reads its own command line (Windows) rather than argv.
extern const bool kHasNativeCommandLine;
// Whether "--version" and "--help" are answered on standard output; the Windows
// program carries its version resource instead and shows nothing.
extern const bool kAnswersInformationRequests;
std::string NativeCommandLine();

}  // namespace quenlo::platform
