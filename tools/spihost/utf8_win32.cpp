// UTF-8 paths through the wide calls: the ANSI calls would lose every name
// outside the code page, and a code page 932 name whose last byte is 0x5C
// ('\\') would be cut there.
#include "utf8.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "console.h"
#include "platform/platform.h"

namespace spihost::utf8 {
namespace {

// The wide form, or "" when there is none: no call finds a file of that name.
WideString W(const std::string& path) {
  WideString w;
  return ToWide(path, &w) ? w : WideString();
}

}  // namespace

bool WidePaths() { return true; }

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(FromWide(wide[i], SIZE_MAX));
  LocalFree(wide);
  return args;
}

bool ToWide(const std::string& text, WideString* out) {
  out->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out->data(), n) == n;
}

std::string FromWide(const SpiWChar* units, size_t count) {
  size_t length = 0;
  while (length < count && units[length]) ++length;
  if (length == 0 || length > INT_MAX) return {};
  const int size = static_cast<int>(length);
  int n = WideCharToMultiByte(CP_UTF8, 0, units, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, units, size, out.data(), n, nullptr, nullptr);
  return out;
}

bool ToNarrow(const std::string& text, std::string* out) {
  out->clear();
  WideString w;
  if (!ToWide(text, &w)) return false;
  if (w.empty()) return true;
  const int size = static_cast<int>(w.size());
  // No best fit: a character the code page lacks must fail, not become a
  // look-alike that names another file.
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), size, nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out->resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), size, out->data(), n, nullptr, &lossy);
  return !lossy;
}

std::string FromNarrow(const std::string& narrow) { return console::NarrowToUtf8(narrow); }

bool IsDirectory(const std::string& path) { return platform::IsDirectory(W(path).c_str()); }

bool MakeDirectory(const std::string& path) { return platform::MakeDirectory(W(path).c_str()); }

bool FileExists(const std::string& path) {
  return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string& path) { return platform::RemoveFile(W(path).c_str()); }

bool WriteTempFile(const std::string& dir, const char* prefix, const void* data, size_t size,
                   std::string* out) {
  wchar_t temp[MAX_PATH];
  if (!platform::WriteTempFile(W(dir).c_str(), prefix, data, size, temp, MAX_PATH)) return false;
  *out = FromWide(temp, MAX_PATH);
  return true;
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  return platform::ReplaceFile(W(source).c_str(), W(target).c_str());
}

int FillEmptyFile(const std::string&, const void*, size_t) { return -1; }

std::FILE* OpenFile(const std::string& path, const char* mode) {
  WideString m;
  if (!ToWide(mode, &m)) return nullptr;
  return _wfopen(W(path).c_str(), m.c_str());
}

bool OpenForReading(const std::string& path, uintptr_t* handle, std::string* why) {
  const WideString w = W(path);
  DWORD attributes = GetFileAttributesW(w.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = "Is a directory";
    return false;
  }
  HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = console::LastErrorText();
    return false;
  }
  *handle = reinterpret_cast<uintptr_t>(h);
  return true;
}

void* OpenLibrary(const std::string& path) { return LoadLibraryW(W(path).c_str()); }

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(32768);
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  return FromWide(buffer.data(), n);
}

bool WriteText(std::FILE* stream, const std::string& text) {
  if (text.empty()) return true;
  HANDLE console = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  WideString w;
  if ((stream == stdout || stream == stderr) && GetConsoleMode(console, &mode) && ToWide(text, &w)) {
    // The console shows characters, whatever its code page.
    std::fflush(stream);
    DWORD wrote = 0;
    return WriteConsoleW(console, w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr) != 0;
  }
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace spihost::utf8
