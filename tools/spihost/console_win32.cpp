#include "console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace spihost::console {
namespace {

std::atomic<int> interrupts{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second request falls through to the default handler, which ends us.
  return interrupts.fetch_add(1) >= 1 ? FALSE : TRUE;
}

HANDLE StreamHandle(int stream) {
  return GetStdHandle(stream == 0 ? STD_INPUT_HANDLE : stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

DWORD WINAPI EndAfter(void* seconds) {
  Sleep(static_cast<DWORD>(reinterpret_cast<uintptr_t>(seconds)) * 1000u);
  ExitProcess(1);
}

}  // namespace

bool IsTerminal(int stream) {
  DWORD mode = 0;
  return GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

bool DialogsUseTerminal() { return false; }

int TerminalWidth(int stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(StreamHandle(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

void SetBinaryOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

void CatchInterrupt() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool InterruptRequested() { return interrupts.load() > 0; }

void KeepFreedMemory() {}  // the Windows heap keeps freed blocks itself

bool LimitProcess(unsigned seconds, size_t bytes) {
  // A job ends the process when its processor time is spent and fails
  // allocations beyond the limit; a sleeping thread covers wall-clock time.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return false;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_TIME | JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  limits.BasicLimitInformation.PerProcessUserTimeLimit.QuadPart = static_cast<LONGLONG>(seconds) * 10000000;
  limits.ProcessMemoryLimit = bytes;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(job, GetCurrentProcess()))
    return false;  // the job handle stays open: it must outlive the process
  HANDLE timer = CreateThread(nullptr, 0, EndAfter, reinterpret_cast<void*>(uintptr_t{seconds}), 0, nullptr);
  if (!timer) return false;
  CloseHandle(timer);
  return true;
}

void IgnoreBrokenPipe() {}

std::string LastErrorText() {
  // The C library's calls set errno; the system's set the last error.
  DWORD code = GetLastError();
  if (code == 0) return strerror(errno);
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == '.')) --n;
  return n ? std::string(buffer, n) : "error " + std::to_string(code);
}

bool OpenForReading(const char* path, uintptr_t* handle, std::string* why) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = "Is a directory";
    return false;
  }
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *why = LastErrorText();
    return false;
  }
  *handle = reinterpret_cast<uintptr_t>(h);
  return true;
}

bool RewindHandle(uintptr_t handle) {
  return SetFilePointer(reinterpret_cast<HANDLE>(handle), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool ReadFromStart(uintptr_t handle, void* buffer, size_t size, size_t* got) {
  if (!RewindHandle(handle)) return false;
  *got = 0;
  while (*got < size) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(size - *got, 1u << 20));
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), static_cast<char*>(buffer) + *got, want, &n, nullptr)) return false;
    if (n == 0) break;
    *got += n;
  }
  return true;
}

void CloseHandleForReading(uintptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

bool UserLanguageIsJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

std::string ExecutablePath() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return {};
  return std::string(buffer, n);
}

std::string NarrowToUtf8(const std::string& text) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::vector<wchar_t> units(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), units.data(), wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return text;
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace spihost::console
