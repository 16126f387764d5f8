// spihost's commands: the table that maps each name to its function and help,
// the state of a run, and the pieces the commands share.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "background.h"
#include "cli.h"
#include "fetch.h"
#include "platform/platform.h"
#include "plugins.h"

namespace spihost {

struct Session;

// What a command wants of the plug-ins: none; those found by default or in
// --plugins, if any; at least one, all loaded; at least one, each loaded when
// the choice of a plug-in for a file reaches it.
enum class PluginUse { None, Optional, Needed, WhenReached };

constexpr size_t kAnyNumber = SIZE_MAX;

// One command, as the command line and the general help know it.
struct Command {
  const char* name;
  int (*run)(Session& s);
  std::vector<std::string> options;  // the options it takes besides the global ones
  size_t minOperands, maxOperands;
  const char* operandRule;  // why a count outside them is wrong: "needs a FILE"
  // The command's own rules on its options once the line is read: "" when
  // they hold, else the usage error. Null when there are none.
  std::string (*checkOptions)(const Options& o);
  PluginUse plugins;
  const char* synopsis;  // "list FILE... [--json]", for the general help
  const char* summary;   // one line for the general help
  const char* help;      // 'spihost COMMAND --help'
};
// The command of that name, or null.
const Command* FindCommand(const std::string& name);
const std::vector<Command>& Commands();

int RunPlugins(Session& s);
int RunList(Session& s);
int RunExtract(Session& s);
std::string CheckExtractOptions(const Options& o);
int RunConvert(Session& s);
std::string CheckConvertOptions(const Options& o);
int RunConfig(Session& s);
int RunSettings(Session& s);
int RunThumbnail(Session& s);

// The state of one run: what was asked, the plug-ins, the worst outcome.
struct Session {
  Options options;
  PluginSet plugins;
  int status = ExitOk;
  // extract: the input files and the member names asked for.
  std::vector<std::string> inputs, memberNames;
  // Totals over the finished jobs, for the closing line.
  size_t filesDone = 0, membersWritten = 0, pngsWritten = 0, failures = 0;
};

// A file written by a job, for the summary and for --json. A PNG's bytes are
// known only once its background write has finished.
struct WrittenFile {
  std::string path;
  uint64_t bytes = 0;
  bool png = false;
  int width = 0, height = 0, depth = 0;
};

// The work on one input: its messages are held here and printed in input order,
// so the output does not depend on how many inputs run at once.
struct Job {
  Job(Session& s, std::string f) : session(s), file(std::move(f)) {}
  Session& session;
  const std::string file;
  size_t index = 0;  // its place among the inputs
  std::string out, err;
  int status = ExitOk;
  bool drawsBar = false;  // the one job whose progress the bar shows
  bool stopped = false;   // the output folder cannot be written: no more tries
  size_t members = 0, pngs = 0, failures = 0;
  std::vector<std::shared_ptr<WrittenFile>> written;
  std::vector<std::pair<std::string, std::string>> failed;  // member, reason
  std::set<std::string> used;  // output paths taken, case-folded
  Batch pictures;              // PNG files being written on other cores
  // The input mapped once for its listing and all its members (HeldInput).
  const uint8_t* view = nullptr;
  size_t viewSize = 0;
  std::set<std::string> folders;  // output folders known to exist
  // Progress of the members of this input.
  size_t unitsDone = 0, unitsTotal = 0;
  std::string progressLabel;
  std::chrono::steady_clock::time_point progressStart{}, lastDrawn{};
};

// ---- Messages (job.cpp) -----------------------------------------------------

// Records a failure of the job's input, or of one of its members when member
// is not "": printed as "spihost: FILE: MEMBER: reason" on standard error.
void Fail(Job& job, const std::string& member, const std::string& reason);
// A failure of a plug-in call, in words, with the plug-in and its code.
void FailResult(Job& job, const std::string& member, const LoadedPlugin& p, int code);
// A failure outside any input (no plug-ins, bad names): printed at once.
void FailRun(Session& s, const std::string& text);
// True once Ctrl-C was pressed (the job then stops where it is).
bool Interrupted();

// The plug-ins' progress callback; the user value is the Job.
int SPI_CALL OnProgress(int done, int total, SpiUserValue user);
SpiUserValue UserValue(Job& job);
void BeginProgress(Job& job, size_t units, uint64_t bytes);
void StepProgress(Job& job);
void ClearBar();

// Runs work over every input with up to -j jobs at once; prints each job's
// messages in input order as soon as it and those before it are done.
void RunJobs(Session& s, const std::vector<std::string>& inputs, void (*work)(Job& job));
// Prints text on standard output; a failed write (full disk, closed pipe)
// makes the run fail.
void PrintOut(Session& s, const std::string& text);

// ---- Members and pictures (members.cpp) ----------------------------------------

// A listed member: its record, with its folder and name as UTF-8 whichever
// export listed it (the record's own name fields are not used).
struct Member : fileInfo {
  std::string folderText, nameText;
};
Member MemberOf(const fileInfo& record);
Member MemberOf(const fileInfoW& record);

std::string PathOf(const Member& m);
std::string NameOf(const Member& m);
std::string MethodOf(const Member& m);
// A member's path as shown: with '/' between folders.
std::string ShownName(const Member& m);
// True when the member's name ends in one of --only's extensions (or there is no --only).
bool Wanted(const Options& o, const Member& m);

// Maps the job's file for as long as the object lives, so that its listing and
// all its members are read from one mapping: the plug-ins get it as memory
// input, whose bounds they then find recorded (POSIX). Where they cannot be
// told them, or the file cannot be mapped, every call names the file instead.
class HeldInput {
 public:
  explicit HeldInput(Job& job);
  ~HeldInput();
  HeldInput(const HeldInput&) = delete;
  HeldInput& operator=(const HeldInput&) = delete;

 private:
  Job& job_;
  platform::MappedFile file_;
};
// Where the plug-ins read the job's input from position on: the held mapping
// (InputMemory), else the file's path (InputFile, source is the UTF-8 path).
struct InputAt {
  const char* source;
  SpiLength length;
  unsigned kind;
};
InputAt JobInput(const Job& job, uint64_t position);

// The plug-ins that take the file on disk, each given the open file (the handle
// form of IsSupported); false with the system's words when it cannot be read.
bool CandidatesForFile(PluginSet& set, const std::string& file, Candidates* out,
                       std::string* why, bool* executable);
// Why no plug-in took a file, in words: an executable is named as one without resources.
std::string NobodyTakes(bool executable);
// GetArchiveInfo with one plug-in: its result code, ResultOk with the members.
// With InputFile, source is the file's path (UTF-8).
int ListWith(const LoadedPlugin& p, const char* source, SpiLength length, unsigned flags,
             std::vector<Member>* members);
// GetArchiveInfo with the first candidate that lists the input, as a viewer
// falls back on the next plug-in; null (with the first failure recorded) when none does.
const LoadedPlugin* ListArchive(Job& job, Takers candidates, const char* source, SpiLength length,
                                unsigned flags, const std::string& member, std::vector<Member>* members);
// GetFile into memory: the member's bytes as its record announces them.
// With InputFile, source is the file's path (UTF-8).
int MemberToMemory(Job& job, const LoadedPlugin& p, const char* source, SpiLength length,
                   unsigned inputKind, const fileInfo& m, std::vector<uint8_t>* out);
// Finds a member by the name the user typed, with either separator, then ignoring case.
bool LookupMember(const LoadedPlugin& p, const std::string& file, const std::string& name, Member* out);

// What a member in memory shows: the picture size of each image (one for a
// picture, one per image for an archive of pictures such as an icon group).
struct PictureSize {
  std::string name;  // the image's member name within a group, "" for a picture
  int width = 0, height = 0, depth = 0;
};
std::vector<PictureSize> DescribeMember(Job& job, const std::vector<uint8_t>& data, const std::string& name);

// JSON text of a string (narrow text converted to UTF-8).
std::string Json(const std::string& text);
// Paths as --json gives them: '/' between folders.
std::string SlashPath(const std::string& path);

}  // namespace spihost
