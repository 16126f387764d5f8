// spihost's commands over a loaded plug-in set.
#pragma once

#include <chrono>
#include <set>
#include <string>

#include "background.h"
#include "cli.h"
#include "plugins.h"

namespace spihost {

// State of one run: what was asked, the plug-ins, the progress display and
// the worst outcome so far.
struct Session {
  Options options;
  PluginSet plugins;
  int status = ExitOk;
  bool interrupted = false;
  // Progress over the members of one extraction.
  bool showProgress = false;
  size_t unitsDone = 0;
  size_t unitsTotal = 0;
  std::string progressLabel;
  std::chrono::steady_clock::time_point progressStart{};
  std::chrono::steady_clock::time_point lastDrawn{};
  bool barVisible = false;
  // Paths written by this run, so that two members never share one file.
  std::set<std::string> written;
  // PNG files being encoded and written on other cores.
  Batch pictures;
};

int RunPlugins(Session& s);
int RunList(Session& s);
int RunExtract(Session& s);
int RunConvert(Session& s);
int RunConfig(Session& s);

// Prints "spihost: text" on standard error (after clearing a progress bar)
// and marks the run as failed.
void Fail(Session& s, const std::string& text);

}  // namespace spihost
