// spihost plugins [--json]
#include <cstdio>

#include "commands.h"
#include "support.h"

namespace spihost {

int RunPlugins(Session& s) {
  std::string text, json = "[";
  for (const LoadedPlugin& p : s.plugins.plugins) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 2; i < 64; i += 2) {
      std::string pattern = host::PluginInfo(p.plugin, i);
      if (pattern.empty()) break;
      pairs.emplace_back(pattern, host::PluginInfo(p.plugin, i + 1));
    }
    const std::string description = host::PluginInfo(p.plugin, 1);
    if (s.options.json) {
      if (json.size() > 1) json += ",";
      json += "\n  {\"file\": " + Json(p.file) + ", \"kind\": " + Json(p.kind) +
              ", \"description\": " + Json(description) + ", \"filters\": [";
      for (size_t k = 0; k < pairs.size(); k++) {
        json += (k ? ", " : "") + std::string("{\"pattern\": ") + Json(pairs[k].first) +
                ", \"name\": " + Json(pairs[k].second) + "}";
      }
      json += "]}";
      continue;
    }
    text += p.file + "  " + p.kind + (p.role == PluginKind::Archive ? " (archive)" : " (image)") + "\n  " +
            description + "\n";
    for (const auto& [pattern, name] : pairs) {
      // Pelorin answers a single space while its extensions are switched off.
      const bool blank = pattern.find_first_not_of(' ') == std::string::npos;
      text += "  " + (blank ? std::string("(no filter)") : pattern) + "  " + name + "\n";
    }
  }
  PrintOut(s, s.options.json ? json + "\n]\n" : text);
  return s.status;
}

}  // namespace spihost
