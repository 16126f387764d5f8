// UTF-8 is the narrow form here: every call is the narrow one, unchanged.
#include "utf8.h"

#include "console.h"
#include "platform/platform.h"

namespace spihost::utf8 {

bool WidePaths() { return false; }

std::vector<std::string> Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool ToWide(const std::string& text, WideString* out) {
  out->assign(text.size() + 1, 0);
  if (!platform::NarrowToUtf16(text.c_str(), out->data(), out->size())) return false;
  out->resize(std::char_traits<SpiWChar>::length(out->c_str()));
  return true;
}

std::string FromWide(const SpiWChar* units, size_t count) {
  size_t n = 0;
  while (n < count && units[n]) ++n;
  std::string out(n * 3, '\0');
  out.resize(platform::Utf16ToNarrow(reinterpret_cast<const uint16_t*>(units), n, out.data(), out.size()));
  return out;
}

bool ToNarrow(const std::string& text, std::string* out) {
  *out = text;
  return true;
}

std::string FromNarrow(const std::string& narrow) { return narrow; }

bool IsDirectory(const std::string& path) { return platform::IsDirectory(path.c_str()); }
bool MakeDirectory(const std::string& path) { return platform::MakeDirectory(path.c_str()); }
bool FileExists(const std::string& path) { return platform::FileExists(path.c_str()); }
bool RemoveFile(const std::string& path) { return platform::RemoveFile(path.c_str()); }

bool WriteTempFile(const std::string& dir, const char* prefix, const void* data, size_t size,
                   std::string* out) {
  char temp[4096];
  if (!platform::WriteTempFile(dir.c_str(), prefix, data, size, temp, sizeof temp)) return false;
  *out = temp;
  return true;
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  return platform::ReplaceFile(source.c_str(), target.c_str());
}

int FillEmptyFile(const std::string& path, const void* data, size_t size) {
  return platform::FillEmptyFile(path.c_str(), data, size);
}

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool OpenForReading(const std::string& path, uintptr_t* handle, std::string* why) {
  return console::OpenForReading(path.c_str(), handle, why);
}

void* OpenLibrary(const std::string& path) { return platform::OpenLibrary(path.c_str()); }

std::string ExecutablePath() { return console::ExecutablePath(); }

bool WriteText(std::FILE* stream, const std::string& text) {
  return text.empty() || std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace spihost::utf8
