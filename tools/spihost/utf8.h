// Paths and text as UTF-8 on every system, for a program that keeps all its
// text so (spihost): the wide calls on Windows, the narrow ones unchanged on
// POSIX, where UTF-8 already is the system's own form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/spi.h"

namespace spihost::utf8 {

using WideString = std::basic_string<SpiWChar>;

// True where the system names files in UTF-16 (Windows), so that a plug-in's
// W exports reach names its plain ones cannot.
bool WidePaths();
// The program's arguments as UTF-8: from the UTF-16 command line on Windows,
// argv itself elsewhere.
std::vector<std::string> Arguments(int argc, char** argv);
// UTF-8 to UTF-16; false when the text is not valid UTF-8.
bool ToWide(const std::string& text, WideString* out);
// UTF-16 units (up to count or the first zero) as UTF-8; an unpaired
// surrogate is replaced.
std::string FromWide(const SpiWChar* units, size_t count);
// The narrow code page's form of text (ANSI on Windows, the text itself
// elsewhere); false when some character has none there.
bool ToNarrow(const std::string& text, std::string* out);
// A text of the narrow code page as UTF-8.
std::string FromNarrow(const std::string& narrow);

bool IsDirectory(const std::string& path);
// One folder, whose parent exists; false when it cannot be made (or is there already).
bool MakeDirectory(const std::string& path);
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// As platform::WriteTempFile; out receives the UTF-8 path of the new file.
bool WriteTempFile(const std::string& dir, const char* prefix, const void* data, size_t size,
                   std::string* out);
bool ReplaceFile(const std::string& source, const std::string& target);
// As platform::FillEmptyFile; always -1 on Windows, where no caller hands over a placeholder.
int FillEmptyFile(const std::string& path, const void* data, size_t size);
// std::fopen of a UTF-8 path.
std::FILE* OpenFile(const std::string& path, const char* mode);
// As console::OpenForReading (console.h).
bool OpenForReading(const std::string& path, uintptr_t* handle, std::string* why);
void* OpenLibrary(const std::string& path);
// The running program's path, "" when unknown.
std::string ExecutablePath();
// Writes UTF-8 text to stream: as characters to a Windows console, as the
// bytes themselves everywhere else. False when the write failed.
bool WriteText(std::FILE* stream, const std::string& text);

}  // namespace spihost::utf8
