// Messages, progress and the running of inputs side by side.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "commands.h"
#include "console.h"
#include "utf8.h"
#include "support.h"

namespace spihost {
namespace {

// The bar appears only for work worth watching: at once for many or large
// members, otherwise once the work has taken a while.
constexpr size_t kManyMembers = 32;
constexpr uint64_t kLargeBytes = 4u << 20;
constexpr int kBarDelayMs = 700;

std::mutex barMutex;
bool barVisible = false;

void DrawBar(Job& job, double fraction, bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!barVisible && now - job.progressStart < std::chrono::milliseconds(kBarDelayMs)) return;
  if (!force && now - job.lastDrawn < std::chrono::milliseconds(100)) return;
  if (Interrupted()) return;  // the bar is cleared on the way out, never redrawn
  job.lastDrawn = now;
  fraction = std::clamp(fraction, 0.0, 1.0);
  int width = console::TerminalWidth(2);
  if (width <= 0) width = 80;
  const int barWidth = std::clamp(width / 3, 10, 40);
  const int filled = static_cast<int>(fraction * barWidth + 0.5);
  std::string label = job.progressLabel;
  const size_t room = static_cast<size_t>(std::max(0, width - barWidth - 20));
  if (label.size() > room) label = label.substr(0, room);
  std::lock_guard<std::mutex> lock(barMutex);
  std::fprintf(stderr, "\r\x1b[K[%s%s] %zu/%zu %s", std::string(filled, '#').c_str(),
               std::string(barWidth - filled, ' ').c_str(), job.unitsDone, job.unitsTotal, label.c_str());
  std::fflush(stderr);
  barVisible = true;
}

// Prints what a finished job holds, in the order it happened per stream.
void PrintJob(Session& s, Job& job) {
  ClearBar();
  if (!job.out.empty()) PrintOut(s, job.out);
  std::fflush(stdout);
  if (!job.err.empty()) {
    utf8::WriteText(stderr, job.err);
    std::fflush(stderr);
  }
  if (job.status != ExitOk && s.status == ExitOk) s.status = job.status;
  if (job.status == ExitOk && !Interrupted()) s.filesDone++;
  s.membersWritten += job.members;
  s.pngsWritten += job.pngs;
  s.failures += job.failures;
}

}  // namespace

bool Interrupted() { return console::InterruptRequested(); }

void ClearBar() {
  std::lock_guard<std::mutex> lock(barMutex);
  if (!barVisible) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  barVisible = false;
}

void Fail(Job& job, const std::string& member, const std::string& reason) {
  job.err += "spihost: " + job.file + (member.empty() ? "" : ": " + member) + ": " + reason + "\n";
  job.failed.emplace_back(member, reason);
  job.failures++;
  if (job.status == ExitOk) job.status = ExitFailed;
}

void FailResult(Job& job, const std::string& member, const LoadedPlugin& p, int code) {
  if (code == ResultAborted && Interrupted()) return;  // reported once, as the interruption
  Fail(job, member, ResultText(code) + " (" + p.file + ", code " + std::to_string(code) + ")");
}

void FailRun(Session& s, const std::string& text) {
  ClearBar();
  std::fflush(stdout);
  utf8::WriteText(stderr, "spihost: " + text + "\n");
  if (s.status == ExitOk) s.status = ExitFailed;
}

void PrintOut(Session& s, const std::string& text) {
  if (text.empty()) return;
  if (!utf8::WriteText(stdout, text) || std::fflush(stdout) != 0) {
    static std::once_flag said;
    std::call_once(said, [&] { std::fprintf(stderr, "spihost: cannot write to standard output: %s\n",
                                            console::LastErrorText().c_str()); });
    if (s.status == ExitOk) s.status = ExitFailed;
  }
}

int SPI_CALL OnProgress(int done, int total, SpiUserValue user) {
  Job* job = reinterpret_cast<Job*>(user);
  if (job && job->drawsBar && job->unitsTotal) {
    const double part = total > 0 ? static_cast<double>(done) / total : 0.0;
    DrawBar(*job, (job->unitsDone + std::clamp(part, 0.0, 1.0)) / job->unitsTotal, false);
  }
  return Interrupted() ? 1 : 0;
}

SpiUserValue UserValue(Job& job) { return reinterpret_cast<SpiUserValue>(&job); }

void BeginProgress(Job& job, size_t units, uint64_t bytes) {
  job.unitsDone = 0;
  job.unitsTotal = units;
  job.progressStart = std::chrono::steady_clock::now();
  if (units >= kManyMembers || bytes >= kLargeBytes) job.progressStart -= std::chrono::seconds(1);
}

void StepProgress(Job& job) {
  job.unitsDone++;
  if (job.drawsBar && job.unitsTotal) DrawBar(job, static_cast<double>(job.unitsDone) / job.unitsTotal, false);
}

void RunJobs(Session& s, const std::vector<std::string>& inputs, void (*work)(Job& job)) {
  const size_t n = inputs.size();
  std::vector<std::unique_ptr<Job>> jobs;
  for (const std::string& input : inputs) {
    jobs.push_back(std::make_unique<Job>(s, input));
    jobs.back()->index = jobs.size() - 1;
  }
  unsigned workers = s.options.jobs > 0 ? static_cast<unsigned>(s.options.jobs)
                                        : std::max(1u, std::thread::hardware_concurrency());
  workers = static_cast<unsigned>(std::min<size_t>(workers, n));
  if (workers <= 1) {
    for (size_t i = 0; i < n; ++i) {
      // One input at a time: the bar follows its members.
      jobs[i]->drawsBar = console::IsTerminal(2);
      if (!Interrupted()) work(*jobs[i]);
      PrintJob(s, *jobs[i]);
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<char> done(n, 0);
  size_t next = 0;
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < workers; ++t) {
    threads.emplace_back([&] {
      for (;;) {
        size_t i;
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (next == n) return;
          i = next++;
        }
        if (!Interrupted()) {
          try {
            work(*jobs[i]);
          } catch (const std::exception& e) {
            Fail(*jobs[i], "", e.what());
          }
        }
        {
          std::lock_guard<std::mutex> lock(mutex);
          done[i] = 1;
        }
        finished.notify_all();
      }
    });
  }
  for (size_t i = 0; i < n; ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return done[i] != 0; });
    lock.unlock();
    PrintJob(s, *jobs[i]);
    jobs[i].reset();
  }
  for (std::thread& t : threads) t.join();
}

}  // namespace spihost
