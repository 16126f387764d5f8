#include "cli.h"

#include <algorithm>
#include <cctype>

#include "commands.h"

namespace spihost {
namespace {

bool Accepts(const std::string& command, const std::string& option) {
  const Command* c = FindCommand(command);
  return c && std::find(c->options.begin(), c->options.end(), option) != c->options.end();
}

// "ico,CUR,.png" as {"ico", "cur", "png"}; "" when one is empty.
bool SplitExtensions(const std::string& list, std::vector<std::string>* out) {
  std::string cur;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ',') {
      if (!cur.empty() && cur[0] == '.') cur.erase(0, 1);
      if (cur.empty()) return false;
      out->push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(std::tolower(static_cast<unsigned char>(list[i])));
    }
  }
  return true;
}

}  // namespace

std::string ParseCommandLine(int argc, char** argv, Options* out) {
  Options o;
  bool operandsOnly = false;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (operandsOnly || a.empty() || a[0] != '-' || a == "-") {
      if (o.command.empty()) {
        if (!FindCommand(a)) return "unknown command '" + a + "'";
        o.command = a;
      } else {
        o.operands.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      operandsOnly = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      hasValue = true;
    } else if (a.size() > 2 && a[0] == '-' && a[1] == 'j') {
      value = a.substr(2);  // -j4
      a = "-j";
      hasValue = true;
    }
    auto takeValue = [&](std::string* slot) -> std::string {
      if (!hasValue) {
        if (i + 1 >= argc) return "option " + a + " needs a value";
        value = argv[++i];
      }
      *slot = value;
      return {};
    };
    const bool flag = a == "-h" || a == "--help" || a == "--version" || a == "--json" ||
                      a == "--stdout" || a == "--png" || a == "--all-types";
    if (hasValue && flag) return "option " + a + " takes no value";
    std::string error, text;
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--plugins") {
      error = takeValue(&o.pluginFolder);
    } else if (a == "--lang") {
      error = takeValue(&o.language);
      if (error.empty() && o.language != "ja" && o.language != "en")
        error = "--lang takes ja or en, not '" + o.language + "'";
    } else if (!o.command.empty() && Accepts(o.command, a)) {
      if (a == "-o" || a == "--output") {
        error = takeValue(&o.output);
      } else if (a == "--only") {
        error = takeValue(&text);
        if (error.empty() && !SplitExtensions(text, &o.only)) error = "--only takes extensions such as ico,cur";
      } else if (a == "-j") {
        error = takeValue(&text);
        const bool digits = !text.empty() && text.size() < 5 &&
                            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (error.empty() && (!digits || std::stoi(text) < 1)) error = "-j takes a number of at least 1, not '" + text + "'";
        if (error.empty()) o.jobs = std::stoi(text);
      } else if (a == "--json") {
        o.json = true;
      } else if (a == "--stdout") {
        o.toStdout = true;
      } else if (a == "--png") {
        o.png = true;
      } else if (a == "--all-types") {
        o.allTypes = true;
      } else if (a == "-s" || a == "--size") {
        error = takeValue(&o.size);
      }
    } else {
      error = o.command.empty() ? "unknown option " + a
                                : "unknown option " + a + " for '" + o.command + "'";
    }
    if (!error.empty()) return error;
  }
  if (o.help || o.version) {
    *out = o;
    return {};
  }
  if (o.command.empty()) return "no command given";
  const size_t n = o.operands.size();
  if (o.command == "plugins" && n) return "'plugins' takes no operands";
  if (o.command == "list" && !n) return "'list' needs at least one FILE";
  if (o.command == "extract") {
    if (!n) return "'extract' needs a FILE";
    if (o.toStdout && (o.png || !o.output.empty() || o.json)) return "--stdout goes with neither --png, -o nor --json";
    if (o.toStdout && n > 2) return "--stdout writes one member; name at most one";
  }
  if (o.command == "convert") {
    if (n != 1) return "'convert' needs exactly one FILE";
    if (o.output.empty()) return "'convert' needs -o OUT.png or -o OUT.bmp";
    std::string ext = o.output.size() >= 4 ? o.output.substr(o.output.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png" && ext != ".bmp") return "the output of 'convert' must end in .png or .bmp";
  }
  if (o.command == "config" && n != 1) return "'config' needs exactly one PLUGIN";
  if (o.command == "thumbnail" && n != 2) return "'thumbnail' needs INPUT and OUTPUT.png";
  if (o.command == "settings" && !n) return "'settings' needs a PLUGIN";
  *out = o;
  return {};
}

std::string HelpText(const std::string& command) {
  if (const Command* c = FindCommand(command)) return c->help;
  return "usage: spihost [--plugins DIR] [--lang ja|en] COMMAND [ARGS]\n\n"
         "Loads Susie plug-ins and calls them as the viewer does.\n\n"
         "Commands:\n"
         "  plugins                     list the plug-ins and what they read\n"
         "  list FILE... [--json]       show the members of archives\n"
         "  extract FILE... [MEMBER...] write members to files (-o DIR, --png, --stdout)\n"
         "  convert FILE -o OUT         write a picture as PNG or BMP\n"
         "  config PLUGIN               open a plug-in's configuration dialog\n"
         "  settings PLUGIN [N=V...]    show or set a plug-in's settings\n\n"
         "Options:\n"
         "  --plugins DIR   load every *.spi in DIR (default: the plug-ins beside\n"
         "                  spihost, or in ../lib/susie-plugins)\n"
         "  --lang ja|en    language of configuration dialogs (default: the user's)\n"
         "  --version       print spihost's version\n"
         "  -h, --help      help; 'spihost COMMAND --help' for a command\n\n"
         "Exit status: 0 all done, 1 some file or member failed, 2 usage error,\n"
         "130 stopped by Ctrl-C.\n";
}

}  // namespace spihost
