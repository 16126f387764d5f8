#include "background.h"

#include <deque>
#include <exception>
#include <thread>

namespace spihost {

struct BatchWorker {
  static void Finish(Batch* batch, size_t slot, std::string answer) {
    std::lock_guard<std::mutex> lock(batch->mutex_);
    batch->answers_[slot] = std::move(answer);
    --batch->pending_;
    if (batch->pending_ == 0 || batch->pending_ == Batch::kMaxPending / 2) batch->done_.notify_all();
  }
};

namespace {

struct Task {
  Batch* batch;
  size_t slot;
  std::function<std::string()> work;
};

// One pool for the whole run, a thread per processor; it lives until exit.
class Pool {
 public:
  static Pool* Get() {
    static Pool* pool = [] {
      unsigned n = std::thread::hardware_concurrency();
      return n > 1 ? new Pool(n) : nullptr;
    }();
    return pool;
  }
  void Push(std::vector<Task>& tasks) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (Task& t : tasks) queue_.push_back(std::move(t));
    }
    ready_.notify_one();
  }

 private:
  explicit Pool(unsigned n) {
    for (unsigned i = 0; i < n; ++i) std::thread([this] { Serve(); }).detach();
  }
  void Serve() {
    for (;;) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty(); });
        task = std::move(queue_.front());
        queue_.pop_front();
      }
      BatchWorker::Finish(task.batch, task.slot, Answer(task.work));
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> queue_;

 public:
  static std::string Answer(const std::function<std::string()>& work) {
    try {
      return work();
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
      return "unexpected failure";
    }
  }
};

}  // namespace

void Batch::Run(std::function<std::string()> task) {
  Pool* pool = Pool::Get();
  size_t slot;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (pool && pending_ >= kMaxPending) {
      lock.unlock();
      HandOn();
      lock.lock();
      done_.wait(lock, [this] { return pending_ <= kMaxPending / 2; });
    }
    slot = answers_.size();
    answers_.emplace_back();
    ++pending_;
  }
  if (!pool) {
    BatchWorker::Finish(this, slot, Pool::Answer(task));
    return;
  }
  held_.emplace_back(slot, std::move(task));
  if (held_.size() >= kHandOff) HandOn();
}

void Batch::HandOn() {
  if (held_.empty()) return;
  std::vector<Task> tasks;
  for (auto& [slot, work] : held_) tasks.push_back(Task{this, slot, std::move(work)});
  held_.clear();
  Pool::Get()->Push(tasks);
}

std::vector<std::string> Batch::Wait() {
  HandOn();
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return pending_ == 0; });
  std::vector<std::string> answers;
  answers.swap(answers_);
  return answers;
}

}  // namespace spihost
