// The current user's registry.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

bool RegistryReadDword(const char* subKey, const char* name, uint32_t* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, data = 0, size = sizeof data;
  LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
  *value = data;
  return true;
}

bool RegistryReadString(const char* subKey, const char* name, char* out, size_t capacity) {
  if (!out || capacity == 0 || capacity > 0x7fffffff) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, size = static_cast<DWORD>(capacity);
  LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return false;
  // A stored string need not carry its zero; it must still fit with one.
  if (size > 0 && out[size - 1] == '\0') return true;
  if (size >= capacity) return false;
  out[size] = '\0';
  return true;
}

bool RegistryWriteDword(const char* subKey, const char* name, uint32_t value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  DWORD data = value;
  LONG status =
      RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool RegistryDeleteValue(const char* subKey, const char* name) {
  HKEY key = nullptr;
  LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_SET_VALUE, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  LONG status = RegDeleteValueA(key, name);
  RegCloseKey(key);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
