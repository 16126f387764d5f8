#include "cli.h"

#include <cctype>

#include "thumbnail.h"

namespace spihost {
namespace {

bool IsCommand(const std::string& s) {
  return s == "plugins" || s == "list" || s == "extract" || s == "convert" || s == "config" ||
         s == "thumbnail";
}

// Which options each command accepts besides the global ones.
bool Accepts(const std::string& command, const std::string& option) {
  if (option == "--json") return command == "list" || command == "plugins";
  if (option == "-o" || option == "--output") return command == "extract" || command == "convert";
  if (option == "--stdout" || option == "--png") return command == "extract";
  if (option == "-s" || option == "--size") return command == "thumbnail";
  return false;
}

}  // namespace

std::string ParseCommandLine(int argc, char** argv, Options* out) {
  Options o;
  bool operandsOnly = false;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    if (operandsOnly || a.empty() || a[0] != '-' || a == "-") {
      if (o.command.empty()) {
        if (!IsCommand(a)) return "unknown command '" + a + "'";
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
    }
    auto takeValue = [&](std::string* slot) -> std::string {
      if (!hasValue) {
        if (i + 1 >= argc) return "option " + a + " needs a value";
        value = argv[++i];
      }
      *slot = value;
      return {};
    };
    std::string error;
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--plugins") {
      error = takeValue(&o.pluginFolder);
    } else if (a == "--lang") {
      error = takeValue(&o.language);
      if (error.empty() && o.language != "ja" && o.language != "en")
        error = "--lang takes ja or en, not '" + o.language + "'";
    } else if (!o.command.empty() && Accepts(o.command, a)) {
      if (a == "-o" || a == "--output") error = takeValue(&o.output);
      else if (a == "--json") o.json = true;
      else if (a == "--stdout") o.toStdout = true;
      else if (a == "--png") o.png = true;
      else if (a == "-s" || a == "--size") error = takeValue(&o.size);
    } else {
      error = o.command.empty() ? "unknown option " + a
                                : "unknown option " + a + " for '" + o.command + "'";
    }
    if (!error.empty()) return error;
    if (hasValue && (a == "-h" || a == "--help" || a == "--json" || a == "--stdout" || a == "--png"))
      return "option " + a + " takes no value";
  }
  if (o.help) {
    *out = o;
    return {};
  }
  if (o.command.empty()) return "no command given";
  const size_t n = o.operands.size();
  if (o.command == "plugins" && n) return "'plugins' takes no operands";
  if (o.command == "list" && !n) return "'list' needs at least one FILE";
  if (o.command == "extract") {
    if (!n) return "'extract' needs a FILE";
    if (o.toStdout && (o.png || !o.output.empty())) return "--stdout goes with neither --png nor -o";
    if (o.toStdout && n > 2) return "--stdout writes one member; name at most one";
  }
  if (o.command == "convert") {
    if (n != 1) return "'convert' needs exactly one FILE";
    if (o.output.empty()) return "'convert' needs -o OUT.png or -o OUT.bmp";
    std::string ext = o.output.size() >= 4 ? o.output.substr(o.output.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png" && ext != ".bmp") return "the output of 'convert' must end in .png or .bmp";
  }
  if (o.command == "thumbnail" && n != 2) return "'thumbnail' needs INPUT and OUTPUT.png";
  if (o.command == "config" && n != 1) return "'config' needs exactly one PLUGIN";
  *out = o;
  return {};
}

std::string HelpText(const std::string& command) {
  if (command == "plugins") {
    return "usage: spihost plugins [--json] [--plugins DIR]\n\n"
           "Lists the plug-ins: file, kind (00AM archive, 00IN image), description,\n"
           "and each file filter with its file type name.\n\n"
           "  --json          print the list as JSON\n";
  }
  if (command == "list") {
    return "usage: spihost list FILE... [--json] [--plugins DIR]\n\n"
           "For each FILE: the plug-in that takes it, then its members (path and\n"
           "name, size, packed size, position, method), or the picture's size and\n"
           "depth when an image plug-in takes it.\n\n"
           "  --json          print one JSON array with an object per FILE\n";
  }
  if (command == "extract") {
    return "usage: spihost extract FILE [MEMBER...] [-o DIR] [--png] [--stdout]\n\n"
           "Writes all members of the archive FILE, or the named ones, into DIR\n"
           "(default: the current folder). Members listed under a path (such as a\n"
           "language folder) land in that folder. MEMBER is the name as 'list' shows\n"
           "it; '/' and '\\' both separate a path.\n\n"
           "  -o DIR          output folder, created when missing\n"
           "  --png           also write every member that an image plug-in takes as\n"
           "                  MEMBER.png, and open members that are archives themselves\n"
           "                  (icon groups, animation frames) into MEMBER.images/\n"
           "  --stdout        write the one member (named, or the only one) to standard\n"
           "                  output instead\n\n"
           "Ctrl-C stops after cleaning up; no half-written file is left.\n";
  }
  if (command == "convert") {
    return "usage: spihost convert FILE -o OUT.png|OUT.bmp\n\n"
           "Decodes FILE with the image plug-in that takes it and writes the picture:\n"
           "a .bmp exactly as the plug-in handed it over, a .png through a PNG encoder.\n";
  }
  if (command == "thumbnail") return ThumbnailHelp();
  if (command == "config") {
    return "usage: spihost config PLUGIN [--lang ja|en]\n\n"
           "Opens the configuration dialog of PLUGIN (a name such as Morvane, a file\n"
           "name, or a path): the window on Windows, questions in the terminal on Linux.\n\n"
           "  --lang ja|en    first store the viewer's language value that chooses the\n"
           "                  dialog's language (kept in the settings for later runs)\n";
  }
  return "usage: spihost [--plugins DIR] [--lang ja|en] COMMAND [ARGS]\n\n"
         "Loads Susie plug-ins and calls them as the viewer does.\n\n"
         "Commands:\n"
         "  plugins                     list the plug-ins and what they read\n"
         "  list FILE... [--json]       show the members of archives\n"
         "  extract FILE [MEMBER...]    write members to files (-o DIR, --png, --stdout)\n"
         "  convert FILE -o OUT         write a picture as PNG or BMP\n"
         "  thumbnail IN OUT.png        write the icon a file manager shows (-s SIZE)\n"
         "  config PLUGIN               open a plug-in's configuration dialog\n\n"
         "Options:\n"
         "  --plugins DIR   load every *.spi in DIR (default: the plug-ins beside\n"
         "                  spihost, or in ../lib/susie-plugins)\n"
         "  --lang ja|en    language of configuration dialogs\n"
         "  -h, --help      help; 'spihost COMMAND --help' for a command\n\n"
         "Exit status: 0 all done, 1 some file or member failed, 2 usage error.\n";
}

}  // namespace spihost
