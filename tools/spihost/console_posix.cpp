#include "console.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <atomic>
#include <climits>

namespace spihost::console {
namespace {

std::atomic<int> interrupts{0};

void OnInterrupt(int sig) {
  // The second request means the user no longer wants a clean stop.
  if (interrupts.fetch_add(1) >= 1) {
    signal(sig, SIG_DFL);
    raise(sig);
  }
}

}  // namespace

bool IsTerminal(int stream) { return isatty(stream) == 1; }

bool DialogsUseTerminal() { return true; }

int TerminalWidth(int stream) {
  struct winsize ws {};
  if (ioctl(stream, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 0;
}

void SetBinaryOutput() {}

void CatchInterrupt() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool InterruptRequested() { return interrupts.load() > 0; }

// AddressSanitizer reserves terabytes of address space for its shadow, so an
// address-space cap would fail every allocation of a sanitizer build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCapAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCapAddressSpace = false;
#else
constexpr bool kCapAddressSpace = true;
#endif
#else
constexpr bool kCapAddressSpace = true;
#endif

// Lowers a limit to value, never raises one the caller already set lower.
static bool Lower(int resource, rlim_t value) {
  rlimit now{};
  if (getrlimit(resource, &now) != 0) return false;
  if (now.rlim_max != RLIM_INFINITY && now.rlim_max < value) value = now.rlim_max;
  if (now.rlim_cur != RLIM_INFINITY && now.rlim_cur < value) return true;
  const rlimit next{value, value};
  return setrlimit(resource, &next) == 0;
}

void KeepFreedMemory() {
#ifdef __GLIBC__
  // A fixed threshold also stops glibc from moving it with each free.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

bool LimitProcess(unsigned seconds, size_t bytes) {
  // RLIMIT_CPU sends SIGXCPU, whose default ends the process; the alarm covers
  // a process that waits rather than computes.
  if (!Lower(RLIMIT_CPU, seconds)) return false;
  if (kCapAddressSpace && !Lower(RLIMIT_AS, bytes)) return false;
  signal(SIGALRM, SIG_DFL);
  alarm(seconds);
  return true;
}

void IgnoreBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

std::string LastErrorText() { return strerror(errno); }

bool OpenForReading(const char* path, uintptr_t* handle, std::string* why) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    *why = strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    *why = strerror(EISDIR);
    return false;
  }
  *handle = static_cast<uintptr_t>(fd);
  return true;
}

bool RewindHandle(uintptr_t handle) { return lseek(static_cast<int>(handle), 0, SEEK_SET) == 0; }

bool ReadFromStart(uintptr_t handle, void* buffer, size_t size, size_t* got) {
  if (!RewindHandle(handle)) return false;
  *got = 0;
  while (*got < size) {
    const ssize_t n = read(static_cast<int>(handle), static_cast<char*>(buffer) + *got, size - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

void CloseHandleForReading(uintptr_t handle) { close(static_cast<int>(handle)); }

bool UserLanguageIsJapanese() {
  // The first of these that is set decides, as for every program's messages.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(name);
    if (v && *v) return strncmp(v, "ja", 2) == 0;
  }
  return false;
}

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  // The name exec was given, with its links resolved: the file /proc/self/exe
  // names, without the tens of microseconds its first lookup costs a process.
  const char* name = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (name && *name && realpath(name, buffer)) return buffer;
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string NarrowToUtf8(const std::string& text) { return text; }

}  // namespace spihost::console
