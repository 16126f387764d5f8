// spihost's command line: what the user asked for, and the help texts.
#pragma once

#include <string>
#include <vector>

namespace spihost {

// Exit statuses.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;  // some file or member failed
constexpr int ExitUsage = 2;

struct Options {
  std::string command;             // "plugins", "list", "extract", "convert", "config" or ""
  std::vector<std::string> operands;  // files, members, plug-in
  std::string pluginFolder;        // --plugins DIR
  std::string language;            // --lang ja|en
  std::string output;              // -o DIR or -o FILE
  std::string size;                // thumbnail -s SIZE
  bool json = false;
  bool toStdout = false;
  bool png = false;
  bool help = false;
};

// Parses argv; "" on success, else the usage error to print.
std::string ParseCommandLine(int argc, char** argv, Options* out);

// The help of a command, or of the program when command is "".
std::string HelpText(const std::string& command);

}  // namespace spihost
