// Work that spihost hands to other processor cores: encoding and writing the
// PNG files of an extraction while the plug-ins go on with the next images.
// Names and order are decided by the caller, so the result is the same as if
// the work had been done in line.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace spihost {

// The work of one caller: its tasks' answers in the order they were handed in.
class Batch {
 public:
  Batch() = default;
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  ~Batch() { Wait(); }

  // Runs task on another core when there is one (else at once); its answer,
  // "" or a failure, is kept in submission order.
  void Run(std::function<std::string()> task);
  // Waits for every task handed in so far; gives their answers in order and
  // starts afresh.
  std::vector<std::string> Wait();

 private:
  friend struct BatchWorker;
  // Handed to the other cores a few at a time: waking a sleeping core for
  // every picture costs more system calls than writing it.
  static constexpr size_t kHandOff = 8;
  // Pictures not yet written are held in memory: past this many the caller
  // waits until half are done, so memory does not grow with the input.
  static constexpr size_t kMaxPending = 32;
  void HandOn();
  std::vector<std::pair<size_t, std::function<std::string()>>> held_;
  std::mutex mutex_;
  std::condition_variable done_;
  size_t pending_ = 0;
  std::vector<std::string> answers_;
};

}  // namespace spihost
