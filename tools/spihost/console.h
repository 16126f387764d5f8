// What a console program needs from the system beyond files: whether a
// stream is a terminal, Ctrl-C, binary standard output, and its own location.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace spihost::console {

// Standard streams by their C numbers: 0 = input, 1 = output, 2 = error.
bool IsTerminal(int stream);
// True where plug-ins show their configuration dialogs in the terminal
// (and so need one on standard input and output).
bool DialogsUseTerminal();
// Columns of the terminal behind stream, or 0 when unknown.
int TerminalWidth(int stream);
// Puts standard output into binary mode (no newline translation).
void SetBinaryOutput();

// After this, Ctrl-C (and a termination request) only raises a flag that
// InterruptRequested reports; a second Ctrl-C ends the program at once.
void CatchInterrupt();
bool InterruptRequested();

// Caps this process for a caller that may be fed hostile files: at most
// seconds of processor and of wall-clock time (then it is ended) and at most
// bytes of address space (allocations beyond fail). False when not applied.
bool LimitProcess(unsigned seconds, size_t bytes);
// For a short run that handles a few large pictures: memory freed is kept for
// the next allocation rather than given back and faulted in again.
void KeepFreedMemory();
// Writing to a closed pipe fails with an error instead of ending the program.
void IgnoreBrokenPipe();

// The system's own words for the last failed call of this thread (errno, or
// the last Windows error): "Permission denied", "No space left on device".
std::string LastErrorText();

// An input file opened for reading, as a handle that a plug-in's IsSupported
// takes (a descriptor on POSIX, a HANDLE on Windows); false with the
// system's words in why.
bool OpenForReading(const char* path, uintptr_t* handle, std::string* why);
// Moves the handle back to the file's first byte.
bool RewindHandle(uintptr_t handle);
// Reads up to size bytes from the file's first byte into buffer; false when
// the read fails, else *got is how many there were.
bool ReadFromStart(uintptr_t handle, void* buffer, size_t size, size_t* got);
void CloseHandleForReading(uintptr_t handle);

// True when the user's language is Japanese: LC_ALL, LC_MESSAGES or LANG
// beginning with "ja" on POSIX, the user interface language on Windows.
bool UserLanguageIsJapanese();

// Full path of the running program's executable ("" when unknown).
std::string ExecutablePath();

// A narrow text of the system's code page as UTF-8 (unchanged where the
// narrow code page already is UTF-8).
std::string NarrowToUtf8(const std::string& text);

}  // namespace spihost::console
