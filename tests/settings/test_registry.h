// Test-side access to the registry (a REGEDIT4 file on Linux), written apart
// from the code under test so that tests can plant and inspect values.
#pragma once

#include <cstdint>
#include <string>

namespace testreg {

constexpr const char* ResourceKey = "Software\\Kestrov\\Susie\\Resource";
constexpr const char* PelorinKey = "Software\\Kestrov\\Susie\\Plug-in\\Pelorin";
constexpr const char* VantrelKey = "Software\\Kestrov\\Susie\\Plug-in\\Vantrel";
constexpr const char* MorvaneKey = "Software\\Kestrov\\Susie\\Plug-in\\Morvane";

// Removes every key the tests use (Linux: points SPI_REGISTRY at a fresh,
// absent file in a private directory).
void Reset();
void PutDword(const char* key, const char* name, uint32_t value);
void PutString(const char* key, const char* name, const char* value);
// True when name exists under key as a REG_DWORD; its value in *value.
bool GetDword(const char* key, const char* name, uint32_t* value);
// True when the key holds any value at all.
bool KeyExists(const char* key);

// The folder of the test executable, where the plug-ins are built too.
std::string BinaryDir();
// Loads a fresh copy of bin/<name>.spi, so its start-up runs again.
void* LoadFresh(const char* name);
void Unload(void* library);
void* Symbol(void* library, const char* name);

#ifndef _WIN32
std::string RegistryFile();
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
#endif

}  // namespace testreg
