#include "writer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include <zlib.h>

#include "unreal_game.h"

namespace orvane {

namespace {

// Counts what it is given, so -test checks an entry without writing it.
class NullSink : public Sink {
 public:
  bool write(const unsigned char*, size_t) override { return true; }
};

// How much of a package's start TempFileSink keeps.
constexpr size_t kPackageHead = 64u << 10;

// A file just written, as the package check reads it: its start from what passed through
// the sink, the rest from the file. Each read of the file costs a trip to the system,
// which under Wine made the check cost 5% of a 600-file install.
class HeadFirstSource : public Source {
 public:
  HeadFirstSource(const std::string& head, Source& file) : head_(head), file_(file) {}
  uint64_t size() const override { return file_.size(); }
  bool read_at(uint64_t offset, void* dst, size_t n) override {
    if (offset > head_.size() || n > head_.size() - offset) return file_.read_at(offset, dst, n);
    if (n) std::memcpy(dst, head_.data() + offset, n);
    return true;
  }

 private:
  const std::string& head_;
  Source& file_;
};

// Compares the data with an existing file as it comes, reading that file once:
// how a kept file is told apart where the archive stores no CRC.
class CompareSink : public Sink {
 public:
  explicit CompareSink(std::unique_ptr<Source> file) : file_(std::move(file)) {}
  bool write(const unsigned char* data, size_t n) override {
    while (same_ && n > 0) {
      size_t k = std::min(n, size_t(1) << 20);
      buf_.resize(k);
      same_ = file_->size() - at_ >= k && file_->read_at(at_, buf_.data(), k) &&
              std::equal(buf_.begin(), buf_.end(), data);
      at_ += k;
      data += k;
      n -= k;
    }
    return true;
  }
  bool same() const { return same_ && at_ == file_->size(); }
  Source& file() { return *file_; }

 private:
  std::unique_ptr<Source> file_;
  std::vector<unsigned char> buf_;
  uint64_t at_ = 0;
  bool same_ = true;
};

// An in-order reader reports an entry it cannot decode with the entry's own reason.
Failure kind_of(const Entry& e, const std::string& why) {
  return !e.unsupported.empty() && why == e.unsupported ? e.unsupported_kind : Failure::Damaged;
}

std::string parent_of(const std::string& rel) {
  size_t cut = rel.find_last_of(platform::kSeparator);
  return cut == std::string::npos ? std::string() : rel.substr(0, cut);
}

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

bool TempFileSink::write(const unsigned char* data, size_t n) {
  if (head_ && head_->size() < kPackageHead)
    head_->append(reinterpret_cast<const char*>(data), std::min(n, kPackageHead - head_->size()));
  return file_.write(data, n, error_);
}

bool same_crc(const std::string& path, uint64_t size, uint32_t crc) {
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f || f->size() != size) return false;
  std::vector<unsigned char> buf(1 << 16);
  uLong c = crc32(0L, Z_NULL, 0);
  for (uint64_t at = 0; at < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - at));
    if (!f->read_at(at, buf.data(), n)) return false;
    c = crc32(c, buf.data(), static_cast<uInt>(n));
    at += n;
  }
  return c == crc;
}

bool same_content(const std::string& path, Source& written) {
  std::string err;
  std::unique_ptr<Source> f = platform::open_archive(path, err);
  if (!f || f->size() != written.size()) return false;
  std::vector<unsigned char> buf(1 << 16);
  CompareSink compare(std::move(f));
  for (uint64_t at = 0; at < written.size();) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), written.size() - at));
    if (!written.read_at(at, buf.data(), n)) return false;
    compare.write(buf.data(), n);
    at += n;
  }
  return compare.same();
}

Writer::Writer(Run& run, PackageCheck* packages)
    : held(run.items.size()), target_of(run.items.size()), run_(run), packages_(packages) {}

bool Writer::prepare_folder(std::string folder, std::string& err) {
  // "Maps\" and "Maps" are one folder; without the separator a file in the
  // way is told as such.
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
    folder.pop_back();
  {
    std::lock_guard<std::mutex> lock(run_.mu);
    if (known_.count(folder)) return true;
  }
  // Under -all-or-nothing each folder made is remembered, so that a failed
  // run can take it back.
  std::vector<std::string> missing;
  for (std::string p = run_.opt.all_or_nothing ? folder : std::string();
       !p.empty() && platform::kind_of(p) == platform::Kind::Missing;) {
    missing.push_back(p);
    size_t cut = p.find_last_of("\\/", p.size() - 2);
    p = cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
    while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  }
  bool ok = platform::make_dirs(folder, err);
  std::lock_guard<std::mutex> lock(run_.mu);
  for (const std::string& m : missing) {
    if (platform::kind_of(m) != platform::Kind::Directory) continue;
    made.push_back(m);
    journal.folder(platform::absolute(m));
  }
  if (ok) known_.insert(folder);
  return ok;
}

bool Writer::start_journal(const std::string& folder, std::string& err) {
  if (!prepare_folder(folder, err) || !journal.open(folder, err)) return false;
  for (const std::string& m : made) journal.folder(platform::absolute(m));  // the journal's own folder
  return true;
}

Sink* Writer::begin(const Job& job, JobState& st) {
  const Entry& e = run_.items[job.item].entry();
  const std::string shown = run_.shown_path(job);
  st.target = platform::join(job.dest, job.rel);
  std::string err;
  if (run_.opt.test) {
    if (job.directory) return run_.settle(job.item, Outcome::Silent, std::string()), nullptr;
    st.mode = JobState::Test;
    st.sink.reset(new NullSink);
    return st.sink.get();
  }
  const bool hold = run_.opt.all_or_nothing;
  // Under -all-or-nothing a folder that cannot take a file is told apart from damage.
  const int unwritable = hold ? kExitUnwritable : kExitEntries;
  if (job.directory) {
    if (!prepare_folder(st.target, err)) return run_.fail(job.item, Failure::Unwritable, err, unwritable), nullptr;
    directory_made_ = true;
    return run_.settle(job.item, Outcome::Silent, std::string()), nullptr;
  }
  std::string folder = platform::join(job.dest, parent_of(job.rel));
  if (!folder.empty() && !prepare_folder(folder, err)) return run_.fail(job.item, Failure::Unwritable, err, unwritable), nullptr;
  platform::Kind kind = platform::kind_of(st.target);
  // Under -all-or-nothing a folder in the way is found with every other final
  // name, before anything is moved.
  if (kind == platform::Kind::Directory && !hold)
    return run_.fail(job.item, Failure::InTheWay, "a folder of that name is in the way of " + job.rel), nullptr;
  if (kind != platform::Kind::Missing && kind != platform::Kind::Directory && !run_.opt.overwrite_all) {
    // Kept: told apart by the CRC-32 where the archive stores one (nothing
    // to decode then), else by the data itself. The commit below still
    // refuses to replace a file that appears meanwhile.
    std::unique_ptr<Source> existing = platform::open_archive(st.target, err);
    if (existing && packages_) packages_->read(job.item, shown, *existing);
    if (!existing || existing->size() != e.size || e.has_crc) {
      bool same = existing && existing->size() == e.size && e.has_crc && same_crc(st.target, e.size, e.crc);
      return run_.settle(job.item, Outcome::Kept, shown, same), nullptr;
    }
    st.mode = JobState::Compare;
    st.sink.reset(new CompareSink(std::move(existing)));
    return st.sink.get();
  }
  st.file.reset(new platform::TempFile);
  if (!st.file->create(folder, err)) return run_.fail(job.item, Failure::Unwritable, err, unwritable), nullptr;
  if (hold) journal.temp(st.file->keep_path());
  st.sink.reset(new TempFileSink(*st.file, packages_ && is_package_file(job.rel) ? &st.head : nullptr));
  return st.sink.get();
}

void Writer::end(const Job& job, JobState& st, const std::string& why) {
  const Entry& e = run_.items[job.item].entry();
  const std::string shown = run_.shown_path(job);
  if (st.mode == JobState::Test)
    return why.empty() ? run_.settle(job.item, Outcome::Tested, job.rel) : run_.fail(job.item, kind_of(e, why), why);
  if (st.mode == JobState::Compare)
    return why.empty() ? run_.settle(job.item, Outcome::Kept, shown, static_cast<CompareSink&>(*st.sink).same())
                       : run_.fail(job.item, kind_of(e, why), why);
  const bool hold = run_.opt.all_or_nothing;
  platform::TempFile& file = *st.file;
  // A destination that cannot take the data is not damage in the archive. The
  // temporary file goes before the report, so that a full disk has its space
  // back by the time anyone reads the message.
  auto fail_writing = [&](const std::string& reason, bool writing) {
    file.discard();
    if (file.disk_full())
      return run_.fail(job.item, Failure::NoRoom, "not enough free space: the disk filled up while writing (" + reason +
                                     "); the partial file was removed", kExitDestination);
    run_.fail(job.item, writing ? Failure::Unwritable : kind_of(e, reason), reason,
              writing && hold ? kExitUnwritable : kExitEntries);
  };
  if (!why.empty()) return fail_writing(why, !st.sink->error().empty());
  platform::FileTime t;
  t.has_unix = e.has_unix_mtime;
  t.unix_seconds = e.unix_mtime;
  t.dos_date = e.dos_date;
  t.dos_time = e.dos_time;
  std::string err;
  if (!file.finish(t, err)) return fail_writing(err, true);
  if (packages_) {
    HeadFirstSource written(st.head, file);
    packages_->read(job.item, shown, written);
  }
  if (hold) {
    if (!file.keep(err)) return fail_writing(err, true);
    {
      std::lock_guard<std::mutex> lock(run_.mu);
      held[job.item] = file.keep_path();
      target_of[job.item] = st.target;
    }
    return run_.settle(job.item, Outcome::Ready, shown);
  }
  switch (file.commit(st.target, run_.opt.overwrite_all, false, err)) {
    case platform::Commit::Done: return run_.settle(job.item, Outcome::Extracted, shown);
    case platform::Commit::Exists: {
      // Appeared meanwhile: the game keeps that one.
      std::unique_ptr<Source> existing = platform::open_archive(st.target, err);
      if (existing && packages_) packages_->read(job.item, shown, *existing);
      return run_.settle(job.item, Outcome::Kept, shown, same_content(st.target, file));
    }
    case platform::Commit::Failed: return fail_writing(err, true);
  }
}

void Writer::work(const std::vector<std::vector<Job>>& groups) {
  for (size_t g; (g = next_group_++) < groups.size();) {
    for (const Job& job : groups[g]) {
      const Item& item = run_.items[job.item];
      try {
        JobState st;
        if (Sink* sink = begin(job, st)) end(job, st, item.reader->extract(item.index, *sink));
      } catch (const std::bad_alloc&) {
        run_.fail(job.item, Failure::Damaged, "out of memory");
      } catch (const std::exception& ex) {
        run_.fail(job.item, Failure::Damaged, ex.what());
      }
      ++done_;
    }
  }
}

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
