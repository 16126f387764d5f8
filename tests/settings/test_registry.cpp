#include "test_registry.h"
#include "framework/spi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace testreg {
namespace {
int loadCount = 0;
}

#ifdef _WIN32

void Reset() {
  for (const char* key : {ResourceKey, PelorinKey, VantrelKey, MorvaneKey}) RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

void PutDword(const char* key, const char* name, uint32_t value) {
  HKEY k;
  RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  DWORD v = value;
  RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
  RegCloseKey(k);
}

void PutString(const char* key, const char* name, const char* value) {
  HKEY k;
  RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(strlen(value) + 1));
  RegCloseKey(k);
}

bool GetDword(const char* key, const char* name, uint32_t* value) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, v = 0, size = 4;
  LONG r = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || type != REG_DWORD) return false;
  *value = v;
  return true;
}

bool KeyExists(const char* key) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  DWORD values = 0;
  RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(k);
  return values > 0;
}

std::string BinaryDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of("\\/"));
}

void* LoadFresh(const char* name) {
  std::string from = BinaryDir() + "\\" + name + SPI_PLUGIN_SUFFIX;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string to = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(++loadCount) + SPI_PLUGIN_SUFFIX;
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return nullptr;
  return LoadLibraryA(to.c_str());
}

void Unload(void* library) {
  if (!library) return;
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(library), path, MAX_PATH);
  FreeLibrary(static_cast<HMODULE>(library));
  if (n) DeleteFileA(path);
}

void* Symbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

#else

std::string RegistryFile() {
  static std::string dir;
  if (dir.empty()) {
    char pattern[] = "/tmp/spi-settings-XXXXXX";
    dir = mkdtemp(pattern);
  }
  return dir + "/registry.reg";
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void Reset() {
  std::string file = RegistryFile();
  setenv("SPI_REGISTRY", file.c_str(), 1);
  unlink(file.c_str());
  unlink((file + ".bad").c_str());
}

namespace {
// The last assignment wins on reading, so appending a section overrides.
void Append(const char* key, const std::string& line) {
  std::string text = ReadText(RegistryFile());
  if (text.empty()) text = "REGEDIT4\n";
  text += std::string("\n[HKEY_CURRENT_USER\\") + key + "]\n" + line + "\n";
  WriteText(RegistryFile(), text);
}

bool FindLine(const char* key, const char* name, std::string* data) {
  std::istringstream in(ReadText(RegistryFile()));
  std::string line, section = std::string("[HKEY_CURRENT_USER\\") + key + "]";
  std::string prefix = std::string("\"") + name + "\"=";
  bool inKey = false, found = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') inKey = line == section;
    else if (inKey && line.compare(0, prefix.size(), prefix) == 0) {
      *data = line.substr(prefix.size());
      found = true;
    }
  }
  return found;
}
}  // namespace

void PutDword(const char* key, const char* name, uint32_t value) {
  char line[300];
  snprintf(line, sizeof line, "\"%s\"=dword:%08x", name, value);
  Append(key, line);
}

void PutString(const char* key, const char* name, const char* value) {
  Append(key, std::string("\"") + name + "\"=\"" + value + "\"");
}

bool GetDword(const char* key, const char* name, uint32_t* value) {
  std::string data;
  if (!FindLine(key, name, &data) || data.size() != 14 || data.compare(0, 6, "dword:") != 0)
    return false;
  *value = static_cast<uint32_t>(strtoul(data.c_str() + 6, nullptr, 16));
  return true;
}

bool KeyExists(const char* key) {
  return ReadText(RegistryFile()).find(std::string("[HKEY_CURRENT_USER\\") + key + "]") !=
         std::string::npos;
}

std::string BinaryDir() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s(path, n > 0 ? static_cast<size_t>(n) : 0);
  return s.substr(0, s.find_last_of('/'));
}

void* LoadFresh(const char* name) {
  std::string from = BinaryDir() + "/" + name + SPI_PLUGIN_SUFFIX;
  std::string to = RegistryFile() + "-" + name + "-" + std::to_string(++loadCount) + SPI_PLUGIN_SUFFIX;
  WriteText(to, ReadText(from));
  void* library = dlopen(to.c_str(), RTLD_NOW | RTLD_LOCAL);
  unlink(to.c_str());
  return library;
}

void Unload(void* library) {
  if (library) dlclose(library);
}

void* Symbol(void* library, const char* name) { return dlsym(library, name); }

#endif

}  // namespace testreg
