// What a console program needs from the system beyond files: whether a
// stream is a terminal, Ctrl-C, binary standard output, and its own location.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Standard streams by their C numbers: 1 = output, 2 = error.
bool IsTerminal(int stream);
// Columns of the terminal behind stream, or 0 when unknown.
int TerminalWidth(int stream);
// Puts standard output into binary mode (no newline translation).
void SetBinaryOutput();

// After this, Ctrl-C (and a termination request) only raises a flag that
// InterruptRequested reports; a second Ctrl-C ends the program at once.
void CatchInterrupt();
bool InterruptRequested();

// Full path of the running program's executable ("" when unknown).
std::string ExecutablePath();

// A narrow text of the system's code page as UTF-8 (unchanged where the
// narrow code page already is UTF-8).
std::string NarrowToUtf8(const std::string& text);

}  // namespace platform
