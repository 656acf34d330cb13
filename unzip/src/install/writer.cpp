#include "install/writer.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <new>

#include "unreal/unreal_game.h"

namespace orvane {

namespace {

// An in-order reader reports an entry it cannot decode with the entry's own reason.
Failure kind_of(const Entry& e, const std::string& why) {
  return !e.unsupported.empty() && why == e.unsupported ? e.unsupported_kind : Failure::Damaged;
}

}  // namespace

Writer::Writer(Run& run, PackageCheck* packages, Journal& journal)
    : staging(run.items.size(), journal), run_(run), packages_(packages) {}

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
  // Named in the journal before they are made, so that no kill leaves one unrecorded.
  for (const std::string& m : missing) staging.journal.folder(platform::absolute(m));
  bool ok = platform::make_dirs(folder, err);
  std::lock_guard<std::mutex> lock(run_.mu);
  for (const std::string& m : missing)
    if (platform::kind_of(m) == platform::Kind::Directory) staging.made.push_back(m);
  if (ok) known_.insert(folder);
  return ok;
}

bool Writer::start_journal(const std::string& folder, const std::vector<std::string>& roots, std::string& err) {
  if (staging.journal.active()) return true;
  std::vector<std::string> told;  // a journal in a folder made just now holds nothing to tell
  if (!prepare_folder(folder, err) || !staging.journal.open(folder, roots, told, err)) return false;
  for (const std::string& m : staging.made) staging.journal.folder(platform::absolute(m));  // the journal's own folder
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
  std::string folder = platform::join(job.dest, platform::parent(job.rel));
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
      if (same) {
        std::lock_guard<std::mutex> lock(run_.mu);
        staging.sums[job.item] = {e.size, e.crc};
        staging.target_of[job.item] = st.target;
      }
      return run_.settle(job.item, Outcome::Kept, shown, same), nullptr;
    }
    st.mode = JobState::Compare;
    st.sink.reset(new CompareSink(std::move(existing)));
    return st.sink.get();
  }
  st.file.reset(new platform::TempFile);
  // Named in the journal before it is made, so that no kill leaves one unrecorded.
  auto named = [this](const std::string& path, bool taken) { staging.journal.temp(path, taken); };
  if (!st.file->create(folder, err, hold ? platform::TempFile::Named(named) : nullptr))
    return run_.fail(job.item, Failure::Unwritable, err, unwritable), nullptr;
  st.sink.reset(new TempFileSink(*st.file, packages_ && is_package_file(job.rel) ? &st.head : nullptr));
  return st.sink.get();
}

void Writer::end(const Job& job, JobState& st, const std::string& why) {
  const Entry& e = run_.items[job.item].entry();
  const std::string shown = run_.shown_path(job);
  if (st.mode == JobState::Test)
    return why.empty() ? run_.settle(job.item, Outcome::Tested, job.rel) : run_.fail(job.item, kind_of(e, why), why);
  if (st.mode == JobState::Compare) {
    if (!why.empty()) return run_.fail(job.item, kind_of(e, why), why);
    const CompareSink& compared = static_cast<CompareSink&>(*st.sink);
    {
      std::lock_guard<std::mutex> lock(run_.mu);
      staging.sums[job.item] = {e.size, compared.crc()};
      staging.target_of[job.item] = st.target;
    }
    return run_.settle(job.item, Outcome::Kept, shown, compared.same());
  }
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
    const Sum sum{file.size(), static_cast<TempFileSink&>(*st.sink).crc()};
    if (!file.keep(err)) return fail_writing(err, true);
    {
      std::lock_guard<std::mutex> lock(run_.mu);
      staging.held[job.item] = file.keep_path();
      staging.target_of[job.item] = st.target;
      staging.sums[job.item] = sum;
    }
    return run_.settle(job.item, Outcome::Ready, shown);
  }
  switch (file.commit(st.target, run_.opt.overwrite_all, err)) {
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

}  // namespace orvane
