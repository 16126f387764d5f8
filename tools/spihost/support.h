// Small pieces shared by spihost's commands: messages, JSON text, output
// paths and files written whole or not at all.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace spihost {

// A plug-in result code as words a user understands.
std::string ResultText(int code);

// A JSON string literal of a narrow text (converted to UTF-8; bytes that are
// not UTF-8 become U+FFFD).
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
