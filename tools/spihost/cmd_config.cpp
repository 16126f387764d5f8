// spihost config PLUGIN, and spihost settings PLUGIN [NAME=VALUE...]
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "console.h"
#include "framework/settings.h"
#include "morvane/settings_table.h"
#include "pelorin/settings_table.h"
#include "platform/platform.h"
#include "support.h"
#include "vantrel/settings_table.h"

namespace spihost {
namespace {

const char* kLanguageKey = "Software\\Kestrov\\Susie\\Resource";
const char* kLanguageValue = "Japanese";

// The settings of our plug-ins, from each plug-in's own table: the dialog's
// OK writes every value of its plug-in's key, changed or not.
struct PluginSettings {
  const char* plugin;  // the name without extension
  const SettingsTable* table;
  const char* note;    // "" or whose settings these are
};

const PluginSettings Plugins[] = {
    {"Pelorin", &PelorinSettings, ""},
    {"Vantrel", &VantrelSettings, ""},
    {"Morvane", &MorvaneSettings, ""},
    {"Quibbet", &MorvaneSettings, "Quibbet has no settings of its own; these are Morvane's"},
};

// What each value means, for the listing.
const char* Meaning(const char* valueName) {
  static const struct {
    const char* name;
    const char* meaning;
  } meanings[] = {
      {"AddExtensions", "1: the viewer's file filter lists .exe, .scr, .dll and .cpl"},
      {"ExtractLanguage", "1: resources are filed under a folder per language"},
      {"ListAllTypes", "1: every resource type is listed, version information and string tables as text"},
      {"ListAllFrames", "1: one member per step of the animation"},
      {"GroupIcon", "icon files of several images: 0 an archive (Quibbet), 1 the first image, 2 the largest"},
      {"FileName", "Quibbet's member names: 0 #NNNNN, 1 by size (WWxHHxCC)"},
  };
  for (const auto& m : meanings)
    if (std::string(m.name) == valueName) return m.meaning;
  return "";
}

const PluginSettings* SettingsOf(const std::string& wanted) {
  std::string w = Lower(wanted);
  size_t cut = w.find_last_of("/\\");
  if (cut != std::string::npos) w = w.substr(cut + 1);
  for (const char* ext : {".spi", ".sph"})
    if (w.size() > 4 && w.compare(w.size() - 4, 4, ext) == 0) w = w.substr(0, w.size() - 4);
  for (const PluginSettings& p : Plugins)
    if (Lower(p.plugin) == w) return &p;
  return nullptr;
}

// A value as the plug-in reads it: missing, mistyped or out of range is the default.
int Current(const SettingsTable& t, const SettingDefinition& v) {
  uint32_t stored;
  if (!platform::RegistryReadDword(t.key, v.valueName, &stored)) return v.defaultValue;
  const int value = static_cast<int>(stored);
  return value < v.minimum || value > v.maximum ? v.defaultValue : value;
}

// Runs the dialog with the viewer's language value set as asked, then puts
// the value back as it was: the choice is not stored.
int DialogInLanguage(const LoadedPlugin& p, bool japanese, bool* restored) {
  uint32_t old = 0;
  const bool had = platform::RegistryReadDword(kLanguageKey, kLanguageValue, &old);
  platform::RegistryWriteDword(kLanguageKey, kLanguageValue, japanese ? 1 : 0);
  int r = p.plugin.configurationDlg(nullptr, 1);
  *restored = had ? platform::RegistryWriteDword(kLanguageKey, kLanguageValue, old)
                  : platform::RegistryDeleteValue(kLanguageKey, kLanguageValue);
  return r;
}

}  // namespace

int RunConfig(Session& s) {
  const std::string& wanted = s.options.operands[0];
  LoadedPlugin own;
  const LoadedPlugin* p = nullptr;
  for (const LoadedPlugin& q : s.plugins.plugins) {
    const std::string f = Lower(q.file);
    if (f == Lower(wanted) || f == Lower(wanted) + ".spi" || f == Lower(wanted) + ".sph") p = &q;
  }
  if (!p && FileExists(wanted) && !utf8::IsDirectory(wanted)) {
    std::string error;
    if (!LoadOnePlugin(wanted, &own, &error)) {
      FailRun(s, wanted + ": " + error);
      return s.status;
    }
    p = &own;
  }
  if (!p) {
    FailRun(s, "no plug-in named " + wanted);
    return ExitUsage;
  }
  auto done = [&](int status) {
    if (p == &own) host::UnloadPlugin(&own.plugin);
    return status;
  };
  if (console::DialogsUseTerminal() && (!console::IsTerminal(0) || !console::IsTerminal(1))) {
    // The terminal dialog would silently show nothing.
    FailRun(s, "config needs a terminal on standard input and output; 'spihost settings " + wanted +
                   "' shows and sets the values without one");
    return done(s.status);
  }
  if (!p->plugin.configurationDlg) {
    FailRun(s, p->file + ": has no configuration dialog");
    return done(s.status);
  }
  const bool japanese = s.options.language.empty() ? console::UserLanguageIsJapanese() : s.options.language == "ja";
  bool restored = true;
  int r = DialogInLanguage(*p, japanese, &restored);
  if (r == ResultNotImplemented) FailRun(s, p->file + ": has no configuration dialog");
  if (!restored) FailRun(s, "cannot put the viewer's language value back");
  return done(s.status);
}

int RunSettings(Session& s) {
  const std::string& wanted = s.options.operands[0];
  const PluginSettings* p = SettingsOf(wanted);
  if (!p) {
    FailRun(s, "no settings known for " + wanted + " (Pelorin, Vantrel, Quibbet or Morvane)");
    return ExitUsage;
  }
  const SettingsTable& t = *p->table;
  std::vector<int> values;
  for (int k = 0; k < t.count; ++k) values.push_back(Current(t, t.settings[k]));
  // NAME=VALUE pairs: every one checked before anything is written.
  bool change = false;
  for (size_t i = 1; i < s.options.operands.size(); ++i) {
    const std::string& a = s.options.operands[i];
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    int k = 0;
    while (k < t.count && Lower(t.settings[k].valueName) != Lower(name)) ++k;
    if (eq == std::string::npos || k == t.count) {
      std::string names;
      for (int j = 0; j < t.count; ++j)
        names += std::string(names.empty() ? "" : ", ") + t.settings[j].valueName;
      FailRun(s, "'" + a + "': " + p->plugin + " has the settings " + names + " (NAME=VALUE)");
      return ExitUsage;
    }
    const SettingDefinition& v = t.settings[k];
    const std::string text = a.substr(eq + 1);
    char* end = nullptr;
    const unsigned long n = text.empty() ? 0 : std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end || text[0] == '-' || n < static_cast<unsigned long>(v.minimum) ||
        n > static_cast<unsigned long>(v.maximum)) {
      FailRun(s, std::string(v.valueName) + " takes " + std::to_string(v.minimum) + " to " +
                     std::to_string(v.maximum) + ", not '" + text + "'");
      return ExitUsage;
    }
    values[k] = static_cast<int>(n);
    change = true;
  }
  if (change) {
    for (int k = 0; k < t.count; ++k) {
      if (!platform::RegistryWriteDword(t.key, t.settings[k].valueName,
                                        static_cast<uint32_t>(values[k]))) {
        FailRun(s, std::string("cannot store ") + t.settings[k].valueName + ": " +
                       console::LastErrorText());
        return s.status;
      }
    }
  }
  std::string text = std::string(p->plugin) + " (HKEY_CURRENT_USER\\" + t.key + ")" +
                     (*p->note ? std::string("; ") + p->note : "") + "\n";
  for (int k = 0; k < t.count; ++k) {
    const SettingDefinition& v = t.settings[k];
    text += "  " + std::string(v.valueName) + "=" + std::to_string(values[k]) + "  (" +
            std::to_string(v.minimum) + " to " + std::to_string(v.maximum) + ", default " +
            std::to_string(v.defaultValue) + "; " + Meaning(v.valueName) + ")\n";
  }
  PrintOut(s, text);
  return s.status;
}

}  // namespace spihost
