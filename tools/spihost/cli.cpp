#include "cli.h"

#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "support.h"

namespace spihost {
namespace {

bool Accepts(const std::string& command, const std::string& option) {
  const Command* c = FindCommand(command);
  return c && std::find(c->options.begin(), c->options.end(), option) != c->options.end();
}

// "ico,CUR,.png" as {"ico", "cur", "png"}; false when one is empty.
bool SplitExtensions(const std::string& list, std::vector<std::string>* out) {
  std::string cur;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ',') {
      if (!cur.empty() && cur[0] == '.') cur.erase(0, 1);
      if (cur.empty()) return false;
      out->push_back(Lower(cur));
      cur.clear();
    } else {
      cur += list[i];
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
  const Command& c = *FindCommand(o.command);
  if (o.operands.size() < c.minOperands || o.operands.size() > c.maxOperands)
    return "'" + o.command + "' " + c.operandRule;
  if (c.checkOptions) {
    std::string error = c.checkOptions(o);
    if (!error.empty()) return error;
  }
  *out = o;
  return {};
}

std::string HelpText(const std::string& command) {
  if (const Command* c = FindCommand(command)) return c->help;
  std::string commands;
  for (const Command& c : Commands()) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-27s %s\n", c.synopsis, c.summary);
    commands += line;
  }
  return "usage: spihost [--plugins DIR] [--lang ja|en] COMMAND [ARGS]\n\n"
         "Loads Susie plug-ins and calls them as the viewer does.\n\n"
         "Commands:\n" +
         commands +
         "\nOptions:\n"
         "  --plugins DIR   load every *.spi in DIR (default: the plug-ins beside\n"
         "                  spihost, or in ../lib/susie-plugins)\n"
         "  --lang ja|en    language of configuration dialogs (default: the user's)\n"
         "  --version       print spihost's version\n"
         "  -h, --help      help; 'spihost COMMAND --help' for a command\n\n"
         "Exit status: 0 all done, 1 some file or member failed, 2 usage error,\n"
         "130 stopped by Ctrl-C.\n";
}

}  // namespace spihost
