// The registry stand-in: a REGEDIT4 text file, the format that Windows' registry
// editor exports and imports, so settings can be carried between the systems.
// Readers never lock: a writer replaces the whole file by rename, so a reader
// sees the old file or the new one. Writers serialise on a lock file and
// re-read under the lock, so two processes saving at once lose nothing.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

constexpr const char* RootName = "HKEY_CURRENT_USER\\";
constexpr size_t MaxFileSize = 16u << 20;  // far beyond any settings file

std::string RegistryFilePath() {
  const char* explicitPath = getenv("SPI_REGISTRY");
  if (explicitPath && *explicitPath) return explicitPath;
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = getenv("HOME");
    if (!home || !*home) {
      struct passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || !*home) return std::string();
    base = std::string(home) + "/.config";
  }
  return base + "/susie-plugins/registry.reg";
}

bool ReadWholeFile(const std::string& path, std::string* out, bool* exists) {
  *exists = false;
  out->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  *exists = true;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || out->size() + static_cast<size_t>(n) > MaxFileSize) {
      close(fd);
      return false;
    }
    if (n == 0) break;
    out->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

// The file as lines without their line ends; the line-end style is kept so a
// file written on Windows stays CRLF.
struct RegText {
  std::vector<std::string> lines;
  bool crlf = false;
  bool finalNewline = true;  // false when the last line has no line end
};

RegText SplitLines(const std::string& text) {
  RegText r;
  r.finalNewline = text.empty() || text.back() == '\n';
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      r.crlf = true;
    }
    r.lines.push_back(line);
    start = end + 1;
  }
  return r;
}

bool HasHeader(const RegText& r) {
  if (r.lines.empty()) return false;
  std::string first = r.lines[0];
  if (first.compare(0, 3, "\xEF\xBB\xBF") == 0) first.erase(0, 3);
  return first == "REGEDIT4" || first == "Windows Registry Editor Version 5.00";
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "[HKEY_CURRENT_USER\sub\key]" names subKey; a deletion "[-...]" names nothing.
bool IsSection(const std::string& line) { return !line.empty() && line[0] == '['; }

bool SectionNames(const std::string& line, const char* subKey) {
  size_t end = line.find_last_not_of(" \t");
  if (end == std::string::npos || line[end] != ']') return false;
  std::string inner = line.substr(1, end - 1);
  std::string want = std::string(RootName) + subKey;
  return EqualIgnoringCase(inner, want);
}

// Reads a quoted text starting at line[at] (the opening quote) with the
// escapes \\ and \"; at is left just behind the closing quote.
bool ParseQuoted(const std::string& line, size_t* at, std::string* out) {
  size_t i = *at;
  if (i >= line.size() || line[i] != '"') return false;
  out->clear();
  for (++i; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *at = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= line.size()) return false;
      c = line[++i];
    }
    out->push_back(c);
  }
  return false;
}

// Splits a value line into its name and the data after "=".
bool ParseValueLine(const std::string& line, std::string* name, std::string* data) {
  size_t at = 0;
  if (!ParseQuoted(line, &at, name)) return false;
  if (at >= line.size() || line[at] != '=') return false;
  *data = line.substr(at + 1);
  size_t end = data->find_last_not_of(" \t");
  data->erase(end == std::string::npos ? 0 : end + 1);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "dword:0000002a" (exactly eight digits, so a cut-off line is no number) or
// "hex(4):2a,00,00,00", the two ways regedit writes a REG_DWORD.
bool ParseDword(const std::string& data, uint32_t* value) {
  if (data.compare(0, 6, "dword:") == 0) {
    if (data.size() != 14) return false;
    uint32_t v = 0;
    for (size_t i = 6; i < 14; ++i) {
      int d = HexDigit(data[i]);
      if (d < 0) return false;
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
  }
  if (data.compare(0, 7, "hex(4):") == 0) {
    if (data.size() != 7 + 11) return false;
    uint32_t v = 0;
    for (int b = 0; b < 4; ++b) {
      size_t p = 7 + static_cast<size_t>(b) * 3;
      int hi = HexDigit(data[p]), lo = HexDigit(data[p + 1]);
      if (hi < 0 || lo < 0 || (b < 3 && data[p + 2] != ',')) return false;
      v |= static_cast<uint32_t>(hi * 16 + lo) << (8 * b);
    }
    *value = v;
    return true;
  }
  return false;
}

bool ParseString(const std::string& data, std::string* out) {
  size_t at = 0;
  return ParseQuoted(data, &at, out) && at == data.size();
}

// The data of the last assignment of name under subKey, as a later line
// overrides an earlier one when regedit imports the file.
bool FindValueData(const RegText& r, const char* subKey, const char* name, std::string* data) {
  bool inKey = false, found = false;
  std::string lineName, lineData;
  for (size_t i = 1; i < r.lines.size(); ++i) {
    const std::string& line = r.lines[i];
    if (IsSection(line)) {
      inKey = SectionNames(line, subKey);
    } else if (inKey && ParseValueLine(line, &lineName, &lineData) &&
               EqualIgnoringCase(lineName, name)) {
      *data = lineData;
      found = true;
    }
  }
  return found;
}

bool LoadRegistry(RegText* r) {
  std::string path = RegistryFilePath();
  if (path.empty()) return false;
  std::string text;
  bool exists = false;
  if (!ReadWholeFile(path, &text, &exists) || !exists) return false;
  *r = SplitLines(text);
  return HasHeader(*r);
}

std::string Escape(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '\\' || *p == '"') out.push_back('\\');
    out.push_back(*p);
  }
  return out;
}

// A value line ending in a backslash continues on the next line (long hex data).
size_t ValueLineCount(const RegText& r, size_t i) {
  size_t n = 1;
  while (i + n - 1 < r.lines.size() && !r.lines[i + n - 1].empty() &&
         r.lines[i + n - 1].back() == '\\' && i + n < r.lines.size())
    ++n;
  return n;
}

void SetDwordLine(RegText* r, const char* subKey, const char* name, uint32_t value) {
  char data[16];
  snprintf(data, sizeof data, "dword:%08x", value);
  std::string valueLine = "\"" + Escape(name) + "\"=" + data;
  r->finalNewline = true;

  // Replace the assignment that wins on reading, else add one to the last
  // section of the key, else add the key.
  size_t lastValue = 0, lastSectionEnd = 0;
  bool inKey = false, sectionSeen = false;
  std::string lineName, lineData;
  for (size_t i = 1; i < r->lines.size(); ++i) {
    const std::string& line = r->lines[i];
    if (IsSection(line)) {
      inKey = SectionNames(line, subKey);
      if (inKey) {
        sectionSeen = true;
        lastSectionEnd = i + 1;
      }
      continue;
    }
    if (!inKey) continue;
    if (ParseValueLine(line, &lineName, &lineData) && EqualIgnoringCase(lineName, name))
      lastValue = i;
    if (!line.empty()) lastSectionEnd = i + 1;
  }
  if (lastValue) {
    size_t n = ValueLineCount(*r, lastValue);
    r->lines.erase(r->lines.begin() + static_cast<long>(lastValue),
                   r->lines.begin() + static_cast<long>(lastValue + n));
    r->lines.insert(r->lines.begin() + static_cast<long>(lastValue), valueLine);
    return;
  }
  if (sectionSeen) {
    r->lines.insert(r->lines.begin() + static_cast<long>(lastSectionEnd), valueLine);
    return;
  }
  while (!r->lines.empty() && r->lines.back().empty() && r->lines.size() > 1)
    r->lines.pop_back();
  r->lines.push_back("");
  r->lines.push_back(std::string("[") + RootName + subKey + "]");
  r->lines.push_back(valueLine);
  r->lines.push_back("");
}

std::string JoinLines(const RegText& r) {
  std::string out;
  const char* end = r.crlf ? "\r\n" : "\n";
  for (size_t i = 0; i < r.lines.size(); ++i) {
    out += r.lines[i];
    if (i + 1 < r.lines.size() || r.finalNewline) out += end;
  }
  return out;
}

bool MakeParentDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes text to a fresh file beside path and renames it over path, so a
// crash leaves either the old file or the new one whole.
bool ReplaceWhole(const std::string& path, const std::string& text, mode_t mode) {
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(name.data(), path.c_str()) == 0;
  if (!ok) unlink(name.data());
  return ok;
}

// Held by one writer at a time, across processes; released on every way out.
struct WriterLock {
  int fd = -1;
  bool held = false;
  explicit WriterLock(const std::string& path) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    int r;
    do {
      r = flock(fd, LOCK_EX);
    } while (r != 0 && errno == EINTR);
    held = r == 0;
  }
  ~WriterLock() {
    if (fd >= 0) close(fd);
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;
};

// Removes every assignment of name within the key's sections.
void RemoveValueLines(RegText* r, const char* subKey, const char* name) {
  bool inKey = false;
  std::string lineName, lineData;
  for (size_t i = 1; i < r->lines.size();) {
    const std::string& line = r->lines[i];
    if (IsSection(line)) {
      inKey = SectionNames(line, subKey);
    } else if (inKey && ParseValueLine(line, &lineName, &lineData) && EqualIgnoringCase(lineName, name)) {
      size_t n = ValueLineCount(*r, i);
      r->lines.erase(r->lines.begin() + static_cast<long>(i), r->lines.begin() + static_cast<long>(i + n));
      continue;
    }
    ++i;
  }
}

// value null: the value is removed.
bool WriteLocked(const char* subKey, const char* name, const uint32_t* value) {
  std::string path = RegistryFilePath();
  if (path.empty() || !MakeParentDirectories(path)) return false;
  WriterLock lock(path + ".lock");
  if (!lock.held) return false;
  // Under the lock: what another writer saved just before us is in the file now.
  std::string text;
  bool exists = false, ok = ReadWholeFile(path, &text, &exists);
  mode_t mode = 0600;
  struct stat st;
  if (exists && stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  RegText r = SplitLines(text);
  if (ok && exists && !HasHeader(r) && text.find_first_not_of(" \t\r\n") != std::string::npos) {
    // Not a registry file: keep it aside rather than overwrite what it holds.
    ok = rename(path.c_str(), (path + ".bad").c_str()) == 0;
    r = RegText();
  }
  if (ok) {
    if (!HasHeader(r)) {
      r.lines.assign({"REGEDIT4", ""});
    }
    if (value) SetDwordLine(&r, subKey, name, *value);
    else RemoveValueLines(&r, subKey, name);
    ok = ReplaceWhole(path, JoinLines(r), mode);
  }
  return ok;
}

}  // namespace

// Out of memory while reading or writing counts as a failed registry call.
bool RegistryReadDword(const char* subKey, const char* name, uint32_t* value) try {
  RegText r;
  std::string data;
  if (!subKey || !name || !LoadRegistry(&r) || !FindValueData(r, subKey, name, &data))
    return false;
  return ParseDword(data, value);
} catch (...) {
  return false;
}

bool RegistryReadString(const char* subKey, const char* name, char* out, size_t capacity) try {
  RegText r;
  std::string data, text;
  if (!subKey || !name || !out || !LoadRegistry(&r) || !FindValueData(r, subKey, name, &data) ||
      !ParseString(data, &text) || text.size() >= capacity)
    return false;
  memcpy(out, text.c_str(), text.size() + 1);
  return true;
} catch (...) {
  return false;
}

bool RegistryWriteDword(const char* subKey, const char* name, uint32_t value) {
  if (!subKey || !name) return false;
  try {
    return WriteLocked(subKey, name, &value);
  } catch (...) {
    return false;
  }
}

bool RegistryDeleteValue(const char* subKey, const char* name) {
  if (!subKey || !name) return false;
  try {
    // No settings file: nothing to remove, and nothing to create.
    RegText r;
    if (!LoadRegistry(&r)) return true;
    return WriteLocked(subKey, name, nullptr);
  } catch (...) {
    return false;
  }
}

}  // namespace platform
