// The table of spihost's commands: the one place that says what each command
// is called, runs, takes and means.
#include "commands.h"

namespace spihost {

const std::vector<Command>& Commands() {
  static const std::vector<Command> table = {
      {"plugins", RunPlugins, {"--json"}, 0, 0, "takes no operands", nullptr, PluginUse::Needed,
       "plugins", "list the plug-ins and what they read",
       "usage: spihost plugins [--json] [--plugins DIR]\n\n"
       "Lists the plug-ins: file, kind (00AM archive, 00IN image), description,\n"
       "and each file filter with its file type name.\n\n"
       "  --json          print the list as JSON\n"},
      {"list", RunList, {"--json", "--only", "-j", "--all-types"}, 1, kAnyNumber, "needs at least one FILE", nullptr,
       PluginUse::WhenReached, "list FILE... [--json]", "show the members of archives",
       "usage: spihost list FILE... [--json] [--only EXT[,EXT...]] [-j N] [--all-types]\n\n"
       "For each FILE: the plug-in that takes it, then its members (path and\n"
       "name, size, packed size, position, method), or the picture's size and\n"
       "depth when an image plug-in takes it.\n\n"
       "  --json          one JSON array with an object per FILE; each member also\n"
       "                  gives width, height and depth when it is a picture, and\n"
       "                  \"images\" (name, width, height, depth) when it is a group\n"
       "  --only EXTS     only members whose names end in one of these extensions\n"
       "                  (comma-separated, any case: --only ico,cur)\n"
       "  -j N            read N files at once (default: the number of processors)\n"
       "  --all-types     Pelorin lists every resource type, as its setting\n"
       "                  ListAllTypes does, for this run only\n"},
      {"extract", RunExtract, {"-o", "--output", "--png", "--stdout", "--json", "--only", "-j", "--all-types"}, 1,
       kAnyNumber, "needs a FILE", CheckExtractOptions, PluginUse::WhenReached, "extract FILE... [MEMBER...]",
       "write members to files (-o DIR, --png, --stdout)",
       "usage: spihost extract FILE... [MEMBER...] [-o DIR] [--png] [--only EXTS] [-j N]\n"
       "                               [--json] [--stdout] [--all-types]\n\n"
       "Writes all members of each archive FILE, or the named MEMBERs, into DIR\n"
       "(default: the current folder); with more than one FILE each goes to\n"
       "DIR/<file name>/. Operands after the first that are not files are member\n"
       "names, as 'list' shows them ('/' and '\\' both separate a path). Members\n"
       "listed under a path (such as a language folder) land in that folder.\n\n"
       "  -o DIR          output folder, created when missing\n"
       "  --png           also write what an image plug-in takes as PNG, with its\n"
       "                  transparency (a PNG image stored in an icon comes out byte\n"
       "                  for byte):\n"
       "                    MEMBER.png              a member that is one picture\n"
       "                    MEMBER.images/WxHxD.png each image of a member that\n"
       "                                            holds several (an icon group):\n"
       "                                            width x height x colour depth,\n"
       "                                            as 48x48x32.png; repeats -2, -3\n"
       "                  A FILE that is itself a picture becomes FILE.png.\n"
       "  --only EXTS     only members whose names end in one of these extensions\n"
       "                  (comma-separated, any case: --only ico,cur)\n"
       "  -j N            work on N files at once (default: the number of\n"
       "                  processors); the output is the same for every N\n"
       "  --json          print what was written (path, bytes; width, height and\n"
       "                  depth for PNGs) and every failure with its reason\n"
       "  --stdout        write the one member (named, or the only one) to standard\n"
       "                  output instead\n"
       "  --all-types     Pelorin lists every resource type, as its setting\n"
       "                  ListAllTypes does (fonts, version information and string\n"
       "                  tables as text, ...), for this run only\n\n"
       "A closing line on standard error counts the files, members and PNGs\n"
       "written and the failures. Ctrl-C stops after cleaning up (exit status\n"
       "130); no half-written file is left.\n"},
      {"convert", RunConvert, {"-o", "--output"}, 1, 1, "needs exactly one FILE", CheckConvertOptions,
       PluginUse::WhenReached, "convert FILE -o OUT", "write a picture as PNG or BMP",
       "usage: spihost convert FILE -o OUT.png|OUT.bmp\n\n"
       "Decodes FILE with the image plug-in that takes it and writes the picture:\n"
       "a .bmp exactly as the plug-in's GetPicture hands it over, a .png with its\n"
       "transparency (a PNG image stored in the file comes out byte for byte).\n"},
      {"config", RunConfig, {}, 1, 1, "needs exactly one PLUGIN", nullptr, PluginUse::Optional, "config PLUGIN",
       "open a plug-in's configuration dialog",
       "usage: spihost config PLUGIN [--lang ja|en]\n\n"
       "Opens the configuration dialog of PLUGIN (a name such as Morvane, a file\n"
       "name, or a path): the window on Windows, questions in the terminal on Linux.\n"
       "Without a terminal, 'spihost settings' shows and sets the same values.\n\n"
       "  --lang ja|en    the dialog's language for this time (default: the user's\n"
       "                  language: Japanese when LC_ALL, LC_MESSAGES or LANG\n"
       "                  begins with \"ja\")\n"},
      {"thumbnail", RunThumbnail, {"-s", "--size"}, 2, 2, "needs INPUT and OUTPUT.png", nullptr,
       PluginUse::WhenReached, "thumbnail INPUT OUTPUT.png", "write a file's icon as a small PNG (-s SIZE)",
       "usage: spihost thumbnail [-s SIZE] INPUT OUTPUT.png\n\n"
       "Writes the icon of INPUT as a PNG of at most SIZE x SIZE (default 128), as a\n"
       "file manager shows it: an executable's first icon group, an animated\n"
       "cursor's first frame, and of an icon's images the smallest one of at least\n"
       "SIZE (else the largest) at its highest depth, scaled to fit, aspect kept,\n"
       "with alpha. Exits 1 without writing OUTPUT when there is nothing to show.\n"
       "share/thumbnailers/spihost.thumbnailer lets file managers call it.\n"},
      {"settings", RunSettings, {}, 1, kAnyNumber, "needs a PLUGIN", nullptr, PluginUse::None,
       "settings PLUGIN [N=V...]", "show or set a plug-in's settings",
       "usage: spihost settings PLUGIN [NAME=VALUE...]\n\n"
       "Prints the settings of PLUGIN (Pelorin, Vantrel, Quibbet or Morvane) with\n"
       "their values and ranges; with NAME=VALUE pairs, first sets them, writing\n"
       "the plug-in's registry values as its dialog's OK does. A value out of\n"
       "range is refused and nothing is written.\n"},
  };
  return table;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& c : Commands())
    if (name == c.name) return &c;
  return nullptr;
}

}  // namespace spihost
