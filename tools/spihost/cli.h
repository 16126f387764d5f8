// spihost's command line: what the user asked for, and the help texts.
#pragma once

#include <string>
#include <vector>

namespace spihost {

// Exit statuses.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;  // some file or member failed
constexpr int ExitUsage = 2;
constexpr int ExitInterrupted = 130;  // stopped by Ctrl-C, as shells report it

struct Options {
  std::string command;             // a name of the command table, or ""
  std::vector<std::string> operands;  // files, members, plug-in
  std::string pluginFolder;        // --plugins DIR
  std::string language;            // --lang ja|en
  std::string output;              // -o DIR or -o FILE
  std::string size;                // thumbnail -s SIZE
  bool json = false;
  bool toStdout = false;
  bool png = false;
  bool allTypes = false;           // --all-types: Pelorin's ListAllTypes for this run
  bool help = false;
  bool version = false;
  std::vector<std::string> only;   // --only: extensions, lower case, without the dot
  int jobs = 0;                    // -j N; 0: one per processor
};

// Parses argv; "" on success, else the usage error to print.
std::string ParseCommandLine(int argc, char** argv, Options* out);

// The help of a command, or of the program when command is "".
std::string HelpText(const std::string& command);

}  // namespace spihost
