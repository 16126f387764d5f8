// Small pieces shared by spihost's commands: messages, JSON text, output
// paths and files written whole or not at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "framework/spi.h"
#include "utf8.h"

// spihost keeps every path and name as UTF-8 (on Windows too: the command
// line is taken as UTF-16), and converts only where it calls the system or a plug-in.
namespace spihost {

// The result of a plug-in call that could not be made: the path has no form
// in the system's code page and the plug-in has no W export for it.
constexpr int ResultNoNarrowName = -100;

// Calls a plug-in with a file's path: its W export (hasWide) with the UTF-16
// form where the system's paths are UTF-16, else its plain one with the narrow form.
template <class Plain, class Wide>
int CallWithPaths(const std::string& a, const std::string& b, bool hasWide, Plain plain, Wide wide) {
  if (hasWide && utf8::WidePaths()) {
    utf8::WideString wa, wb;
    if (!utf8::ToWide(a, &wa) || !utf8::ToWide(b, &wb)) return ResultNoNarrowName;
    return wide(wa.c_str(), wb.c_str());
  }
  std::string na, nb;
  if (!utf8::ToNarrow(a, &na) || !utf8::ToNarrow(b, &nb)) return ResultNoNarrowName;
  return plain(na.c_str(), nb.c_str());
}
template <class Plain, class Wide>
int CallWithPath(const std::string& path, bool hasWide, Plain plain, Wide wide) {
  return CallWithPaths(
      path, std::string(), hasWide, [&](const char* p, const char*) { return plain(p); },
      [&](const SpiWChar* p, const SpiWChar*) { return wide(p); });
}

// std::filesystem paths of UTF-8 text, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string PathText(const std::filesystem::path& path);

// A plug-in result code as words a user understands.
std::string ResultText(int code);

// text with ASCII letters in lower case.
std::string Lower(std::string text);
// True when text ends in suffix, ASCII case ignored.
bool EndsWithNoCase(const std::string& text, const std::string& suffix);

// A JSON string literal of a text (bytes that are not UTF-8 become U+FFFD).
std::string JsonString(const std::string& narrow);

// One folder or file name of an archive member made safe to create: no
// separators, no "." or "..", no drive colons or control characters.
// Returns "" for a component that should be dropped ("" or ".").
std::string SafeComponent(const std::string& name);
// Splits a member path ("JAPANESE\" or "a/b/") into safe components.
std::vector<std::string> SafePathComponents(const std::string& path);
// True when the plug-in's own file name can be used as it is.
bool IsSafeFileName(const std::string& name);

std::string JoinPath(const std::string& folder, const std::string& name);
// Creates folder and every missing parent; "" on success, else why not.
std::string MakeFolders(const std::string& folder);

// Writes data to path through a temporary file in the same folder that
// replaces path only when complete. "" on success, else why not.
std::string WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data);
// As WriteWholeFile, except that an existing empty file at path (a placeholder
// the caller made) is filled in place: callers such as tumbler read it back
// through a descriptor they keep open, which a rename would leave on the old inode.
std::string WriteIntoPlaceholder(const std::string& path, const std::vector<uint8_t>& data);
// Reads up to limit bytes of a file. "" on success.
std::string ReadFileBytes(const std::string& path, size_t limit, std::vector<uint8_t>* out);
bool FileExists(const std::string& path);
uint64_t FileSize(const std::string& path);

// A name not yet in used: name, then "stem-2.ext", "stem-3.ext", ...
std::string UniqueName(const std::string& folder, const std::string& name,
                       const std::set<std::string>& used);
// The key under which a written path is remembered (case-folded).
std::string PathKey(const std::string& path);

}  // namespace spihost
