// The decode-and-write pipeline behind an in-order reader (solid 7z, RAR): one thread
// decodes, another writes, with a bounded queue between them.
#include "install/writer.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace orvane {

namespace {

// Feeds the writing thread behind an in-order decoder, holding at most
// kBudget bytes so that a fast decoder cannot run far ahead of the disk.
class ChunkQueue {
 public:
  struct Chunk {
    size_t job = 0;
    std::vector<unsigned char> data;
    bool last = false;
    std::string why;  // last: how the entry ended
  };
  void push(Chunk c) {
    std::unique_lock<std::mutex> lock(mu_);
    room_.wait(lock, [&] { return bytes_ < kBudget || chunks_.empty(); });
    bytes_ += c.data.size();
    chunks_.push_back(std::move(c));
    more_.notify_one();
  }
  void close() {
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    more_.notify_one();
  }
  bool pop(Chunk& c) {
    std::unique_lock<std::mutex> lock(mu_);
    more_.wait(lock, [&] { return !chunks_.empty() || closed_; });
    if (chunks_.empty()) return false;
    c = std::move(chunks_.front());
    chunks_.pop_front();
    bytes_ -= c.data.size();
    room_.notify_one();
    return true;
  }

 private:
  static constexpr size_t kBudget = 32u << 20;
  std::mutex mu_;
  std::condition_variable more_, room_;
  std::deque<Chunk> chunks_;
  size_t bytes_ = 0;
  bool closed_ = false;
};

}  // namespace

void Writer::write_in_order(ArchiveReader& reader, const std::vector<const Job*>& jobs) {
  // Each entry's data goes through the queue to the writing thread, which
  // starts and ends its job; the decoder only learns of a failed write.
  struct Active {
    JobState st;
    std::atomic<bool> failed{false};
    std::string error;  // set before failed
  };
  class QueueSink : public Sink {
   public:
    QueueSink(ChunkQueue& q, Active& a, size_t job) : q_(q), a_(a), job_(job) {}
    bool write(const unsigned char* data, size_t n) override {
      if (a_.failed.load(std::memory_order_acquire)) return error_ = a_.error, false;
      ChunkQueue::Chunk c;
      c.job = job_;
      c.data.assign(data, data + n);
      q_.push(std::move(c));
      return true;
    }

   private:
    ChunkQueue& q_;
    Active& a_;
    size_t job_;
  };
  ChunkQueue queue;
  std::vector<std::unique_ptr<Active>> active(jobs.size());
  std::vector<std::unique_ptr<QueueSink>> sinks(jobs.size());
  std::vector<char> ended(jobs.size(), 0);
  std::thread writing([&] {
    ChunkQueue::Chunk c;
    while (queue.pop(c)) {
      Active& a = *active[c.job];
      if (c.last) {
        try {
          end(*jobs[c.job], a.st, c.why);
        } catch (const std::exception& ex) {
          run_.fail(jobs[c.job]->item, Failure::Damaged, ex.what());
        }
        ++done_;
        active[c.job].reset();
        continue;
      }
      if (!a.failed.load(std::memory_order_relaxed) && !a.st.sink->write(c.data.data(), c.data.size())) {
        a.error = a.st.sink->error();
        a.failed.store(true, std::memory_order_release);
      }
    }
  });
  std::string fatal;
  try {
    fatal = reader.extract_in_order(
        [&](size_t i) -> Sink* {
          if (i >= jobs.size() || !jobs[i]) return nullptr;
          active[i].reset(new Active);
          Sink* real = begin(*jobs[i], active[i]->st);
          if (!real) {
            active[i].reset();
            ended[i] = 1;
            ++done_;
            return nullptr;
          }
          sinks[i].reset(new QueueSink(queue, *active[i], i));
          return sinks[i].get();
        },
        [&](size_t i, const std::string& why) {
          if (i >= jobs.size() || !active[i] || ended[i]) return;
          ended[i] = 1;
          ChunkQueue::Chunk c;
          c.job = i;
          c.last = true;
          c.why = why;
          queue.push(std::move(c));
        });
  } catch (const std::bad_alloc&) {
    fatal = "out of memory";
  } catch (const std::exception& ex) {
    fatal = ex.what();
  }
  // An entry begun but never ended, and every entry the pass did not reach,
  // fail with the reason the pass stopped.
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!jobs[i] || ended[i]) continue;
    if (!active[i]) {
      run_.fail(jobs[i]->item, Failure::Damaged, fatal.empty() ? "the archive ended before this entry" : fatal);
      ++done_;
      continue;
    }
    ChunkQueue::Chunk c;
    c.job = i;
    c.last = true;
    c.why = fatal.empty() ? "the archive ended within this entry" : fatal;
    queue.push(std::move(c));
  }
  queue.close();
  writing.join();
}

}  // namespace orvane
