#include "support.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "console.h"
#include "platform/platform.h"

namespace spihost {

namespace fs = std::filesystem;

std::string ResultText(int code) {
  switch (code) {
    case 0: return "ok";
    case 1: return "aborted";
    case 2: return "not supported by the plug-in";
    case 3: return "broken data";
    case 4: return "out of memory";
    case 5: return "memory error";
    case 6: return "cannot read";
    case 8: return "internal error of the plug-in";
    case 9: return "cannot write";
    case -1: return "not implemented by the plug-in";
    case ResultNoNarrowName:
      return "the path has no form in the system's code page, and the plug-in has no Unicode exports";
    default: return "unknown result " + std::to_string(code);
  }
}

fs::path FsPath(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
          } else {
            out += static_cast<char>(c);
          }
      }
      i++;
      continue;
    }
    // Keep a well-formed UTF-8 sequence; replace anything else byte by byte.
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    bool ok = n > 0 && i + n <= s.size();
    for (size_t k = 1; ok && k < n; k++) ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    if (ok && n == 3) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      ok = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
    }
    if (ok && n == 4) {
      const unsigned char d = static_cast<unsigned char>(s[i + 1]);
      ok = !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
    }
    if (ok) {
      out.append(s, i, n);
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      i++;
    }
  }
  return out + "\"";
}

std::string SafeComponent(const std::string& name) {
  std::string out;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|') {
      out += '_';
    } else {
      out += ch;
    }
  }
  if (out.empty() || out == ".") return "";
  if (out == "..") return "__";
  // Windows drops trailing dots and spaces, which would merge names.
  if (out.back() == '.' || out.back() == ' ') out += '_';
  return out;
}

std::vector<std::string> SafePathComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  auto flush = [&] {
    std::string s = SafeComponent(cur);
    if (!s.empty()) parts.push_back(s);
    cur.clear();
  };
  for (size_t i = 0; i < path.size(); i++) {
    // No byte of a UTF-8 sequence is a separator.
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '\\' || c == '/') {
      flush();
    } else {
      cur += path[i];
    }
  }
  flush();
  return parts;
}

bool IsSafeFileName(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); i++) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
        c == '<' || c == '>' || c == '|')
      return false;
  }
  return SafeComponent(name) == name;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == platform::PathSeparator()) return folder + name;
  return folder + platform::PathSeparator() + name;
}

std::string MakeFolders(const std::string& folder) {
  // Most folders asked for are new, beside others just made: one call makes them.
  if (folder.empty() || utf8::MakeDirectory(folder) || utf8::IsDirectory(folder)) return {};
  std::error_code ec;
  fs::create_directories(FsPath(folder), ec);
  if (utf8::IsDirectory(folder)) return {};
  return "cannot create folder " + folder + (ec ? ": " + ec.message() : "");
}

// The folder part of path, "." when there is none.
std::string FolderOf(const std::string& path) {
  size_t cut = std::string::npos;
  for (size_t i = 0; i < path.size(); i++) {
    if (path[i] == '/' || platform::IsPathSeparator(path[i])) cut = i;
  }
  if (cut == std::string::npos) return std::string(".");
  if (cut == 0 || path[cut] == ':') return path.substr(0, cut + 1);
  return path.substr(0, cut);
}

std::string WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
  const std::string folder = FolderOf(path);
  std::string temp;
  if (!utf8::WriteTempFile(folder, "SPH", data.data(), data.size(), &temp))
    return "cannot write a temporary file in " + folder;
  if (!utf8::ReplaceFile(temp, path)) {
    utf8::RemoveFile(temp);
    return "cannot write " + path;
  }
  return {};
}

std::string WriteIntoPlaceholder(const std::string& path, const std::vector<uint8_t>& data) {
  const int filled = utf8::FillEmptyFile(path, data.data(), data.size());
  if (filled < 0) return WriteWholeFile(path, data);
  return filled ? "" : "cannot write " + path;
}

std::string ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* out) {
  if (utf8::IsDirectory(path)) return "is a folder";
  std::FILE* f = utf8::OpenFile(path, "rb");
  if (!f) return "cannot open";
  out->clear();
  uint8_t buffer[65536];
  while (out->size() < limit) {
    size_t want = std::min(sizeof buffer, limit - out->size());
    size_t n = std::fread(buffer, 1, want, f);
    out->insert(out->end(), buffer, buffer + n);
    if (n < want) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return failed ? "cannot read" : "";
}

bool FileExists(const std::string& path) { return utf8::FileExists(path); }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && Lower(text.substr(text.size() - suffix.size())) == Lower(suffix);
}

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(FsPath(path), ec);
  return ec ? 0 : static_cast<uint64_t>(n);
}

std::string PathKey(const std::string& path) {
  // Folded on every system: names that differ only in case would overwrite
  // each other on a case-insensitive file system.
  return Lower(path);
}

std::string UniqueName(const std::string& folder, const std::string& name,
                       const std::set<std::string>& used) {
  if (!used.count(PathKey(JoinPath(folder, name)))) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  for (int n = 2;; n++) {
    std::string candidate = stem + "-" + std::to_string(n) + ext;
    if (!used.count(PathKey(JoinPath(folder, candidate)))) return candidate;
  }
}

}  // namespace spihost
