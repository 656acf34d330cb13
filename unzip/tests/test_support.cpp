#include "test_support.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace orvane {
namespace test {

namespace fs = std::filesystem;

namespace {

void put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
void put64(std::string& s, uint64_t v) {
  put32(s, static_cast<uint32_t>(v));
  put32(s, static_cast<uint32_t>(v >> 32));
}

// Unreal's compact index, as the game writes it. Values past 34 bits take
// more than the five bytes a reader accepts, which tests use on purpose.
void put_index(std::string& s, int64_t v) {
  uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  unsigned b = (v < 0 ? 0x80 : 0) | (m & 0x3F);
  m >>= 6;
  s += static_cast<char>(b | (m ? 0x40 : 0));
  for (; m; m >>= 7) s += static_cast<char>((m & 0x7F) | (m >> 7 ? 0x80 : 0));
}

}  // namespace

std::string build_umod(const std::vector<UmodFile>& files, const UmodOptions& o) {
  std::string data, dir;
  for (const UmodFile& f : files) {
    uint32_t offset = static_cast<uint32_t>(data.size());
    data += f.data;
    put_index(dir, f.name_length.value_or(static_cast<int64_t>(f.name.size()) + 1));
    dir += f.name;
    if (!f.no_nul) dir += '\0';
    put32(dir, f.offset.value_or(offset));
    put32(dir, f.length.value_or(static_cast<uint32_t>(f.data.size())));
    put32(dir, f.flags);
  }
  std::string count;
  if (o.count_bytes.empty())
    put_index(count, o.count.value_or(static_cast<int64_t>(files.size())));
  else
    count = o.count_bytes;
  std::string out = data + count + dir + o.after_directory;
  // The CRC-32 of the files' bytes: one reading of the write-up, and never checked.
  uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  const uint32_t total = static_cast<uint32_t>(out.size() + 20);
  put32(out, o.magic);
  put32(out, o.dir_offset.value_or(static_cast<uint32_t>(data.size())));
  put32(out, o.total_size.value_or(total));
  put32(out, o.version);
  put32(out, o.crc.value_or(crc));
  out = o.prefix + out;
  out.resize(out.size() - std::min(o.truncate, out.size()));
  return out;
}

std::string deflate_raw(const std::string& data) {
  z_stream zs = {};
  if (deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::string build_zip(const std::vector<Item>& items, const Layout& layout) {
  std::string body = layout.prefix, central;
  for (const Item& it : items) {
    std::string packed = it.method == 8 ? deflate_raw(it.data) : it.data;
    // The CRC-32 of the files' bytes: one reading of the write-up, and never checked.
  uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(it.data.data()), static_cast<uInt>(it.data.size())));
    if (it.bad_crc) crc ^= 0x1234;
    uint64_t usize = static_cast<uint64_t>(static_cast<int64_t>(it.data.size()) + it.size_delta);
    uint64_t csize = packed.size();
    // Offsets are relative to the archive proper, as a stub-prepending tool leaves them.
    uint64_t offset = body.size() - layout.prefix.size();
    uint16_t flags = static_cast<uint16_t>(it.flags | (it.descriptor ? 0x0008 : 0));
    uint16_t version = it.zip64 ? 45 : 20;

    std::string local_extra;
    if (it.zip64) {
      put16(local_extra, 1);
      put16(local_extra, 16);
      put64(local_extra, it.descriptor ? 0 : usize);
      put64(local_extra, it.descriptor ? 0 : csize);
    }
    local_extra += it.local_extra;
    if (it.central_offset >= 0) offset = static_cast<uint64_t>(it.central_offset);
    size_t local_start = body.size();
    put32(body, 0x04034b50);
    put16(body, version);
    put16(body, flags);
    put16(body, it.method);
    put16(body, it.dos_time);
    put16(body, it.dos_date);
    put32(body, it.descriptor ? 0 : crc);
    put32(body, it.descriptor ? 0 : it.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(csize));
    put32(body, it.descriptor ? 0 : it.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(usize));
    put16(body, static_cast<uint32_t>(it.name.size()));
    put16(body, static_cast<uint32_t>(local_extra.size()));
    body += it.name + local_extra + packed;
    if (it.descriptor) {
      put32(body, 0x08074b50);
      put32(body, crc);
      if (it.zip64) {
        put64(body, csize);
        put64(body, usize);
      } else {
        put32(body, static_cast<uint32_t>(csize));
        put32(body, static_cast<uint32_t>(usize));
      }
    }
    if (it.central_only) body.resize(local_start);

    std::string extra;
    if (it.zip64) {
      put16(extra, 1);
      put16(extra, 24);
      put64(extra, usize);
      put64(extra, csize);
      put64(extra, offset);
    }
    extra += it.central_extra;
    put32(central, 0x02014b50);
    put16(central, it.made_by);
    put16(central, version);
    put16(central, flags);
    put16(central, it.method);
    put16(central, it.dos_time);
    put16(central, it.dos_date);
    put32(central, crc);
    put32(central, it.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(csize));
    put32(central, it.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(usize));
    put16(central, static_cast<uint32_t>(it.name.size()));
    put16(central, static_cast<uint32_t>(extra.size()));
    put16(central, 0);  // entry comment
    put16(central, 0);  // disk
    put16(central, 0);  // internal attributes
    put32(central, it.external_attr);
    put32(central, it.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
    central += it.name + extra;
  }
  uint64_t cd_offset = body.size() - layout.prefix.size();
  std::string out = body + central;
  if (layout.zip64_end) {
    uint64_t rec = out.size() - layout.prefix.size();
    put32(out, 0x06064b50);
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, items.size());
    put64(out, items.size());
    put64(out, central.size());
    put64(out, cd_offset);
    put32(out, 0x07064b50);
    put32(out, 0);
    put64(out, rec);
    put32(out, 1);
  }
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, layout.zip64_end ? 0xFFFF : static_cast<uint32_t>(items.size()));
  put16(out, layout.zip64_end ? 0xFFFF : static_cast<uint32_t>(items.size()));
  put32(out, layout.zip64_end ? 0xFFFFFFFF : static_cast<uint32_t>(central.size()));
  put32(out, layout.zip64_end ? 0xFFFFFFFF : static_cast<uint32_t>(cd_offset));
  put16(out, static_cast<uint32_t>(layout.comment.size()));
  out += layout.comment;
  return out;
}

namespace {

void put_compact(std::string& s, int32_t v) {
  uint32_t m = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
  unsigned char b = static_cast<unsigned char>((v < 0 ? 0x80 : 0) | (m & 0x3F) | (m >> 6 ? 0x40 : 0));
  s += static_cast<char>(b);
  for (m >>= 6; m; m >>= 7) s += static_cast<char>((m & 0x7F) | (m >> 7 ? 0x80 : 0));
}

}  // namespace

std::string build_package(const PackageSpec& spec) {
  std::vector<std::string> names;
  auto name_index = [&](const std::string& n) {
    auto it = std::find(names.begin(), names.end(), n);
    if (it != names.end()) return static_cast<int32_t>(it - names.begin());
    names.push_back(n);
    return static_cast<int32_t>(names.size() - 1);
  };
  for (const std::string& n : spec.names) names.push_back(n);
  std::string imports, exports, table;
  for (const PackageImportSpec& i : spec.imports) {
    put_compact(imports, name_index(i.class_package));
    put_compact(imports, name_index(i.class_name));
    put32(imports, static_cast<uint32_t>(i.outer));
    put_compact(imports, name_index(i.object_name));
  }
  bool has_guid = spec.version >= 68;
  uint32_t header = has_guid ? 36 + 16 + 4 + 8 : 36 + 8;
  uint32_t data_at = header;
  for (const PackageExportSpec& e : spec.exports) {
    put_compact(exports, e.class_ref);
    put_compact(exports, e.super_ref);
    put32(exports, static_cast<uint32_t>(e.outer));
    put_compact(exports, name_index(e.object_name));
    put32(exports, e.flags);
    put_compact(exports, e.serial_size);
    if (e.serial_size <= 0) continue;
    put_compact(exports, static_cast<int32_t>(e.serial_offset >= 0 ? e.serial_offset : data_at));
    if (e.serial_offset < 0) data_at += static_cast<uint32_t>(e.serial_size);
  }
  const std::string data(data_at - header, '\0');
  if (spec.endless_index) table = std::string(1, '\x7F') + std::string(spec.endless_index - 1, '\xFF');
  for (const std::string& n : names) {
    if (spec.version >= 64) put_compact(table, static_cast<int32_t>(n.size() + 1));
    table += n;
    table += '\0';
    put32(table, 0x00070010);  // the name's flags, which the reader skips
  }

  uint32_t name_at = data_at, import_at = name_at + static_cast<uint32_t>(table.size());
  uint32_t export_at = import_at + static_cast<uint32_t>(imports.size());
  uint32_t heritage_at = export_at + static_cast<uint32_t>(exports.size());
  auto field = [](int64_t lie, size_t truth) { return static_cast<uint32_t>(lie >= 0 ? lie : static_cast<int64_t>(truth)); };
  std::string out;
  put32(out, spec.tag);
  put16(out, spec.version);
  put16(out, spec.licensee);
  put32(out, spec.flags);
  put32(out, field(spec.name_count, names.size()));
  put32(out, field(spec.name_offset, name_at));
  put32(out, field(spec.export_count, spec.exports.size()));
  put32(out, field(spec.export_offset, export_at));
  put32(out, field(spec.import_count, spec.imports.size()));
  put32(out, field(spec.import_offset, import_at));
  if (has_guid) {
    out += spec.guid.substr(0, 16) + std::string(16 - std::min<size_t>(16, spec.guid.size()), '\0');
    put32(out, field(spec.generation_count, 1));
    put32(out, static_cast<uint32_t>(spec.exports.size()));
    put32(out, static_cast<uint32_t>(names.size()));
  } else {
    put32(out, 1);
    put32(out, heritage_at);
  }
  out += data + table + imports + exports;
  if (!has_guid) out += spec.guid.substr(0, 16) + std::string(16 - std::min<size_t>(16, spec.guid.size()), '\0');
  return out;
}

fs::path u8(const std::string& utf8) { return fs::u8path(utf8); }

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() / ("pkz25-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Read-only files made by a test must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string ScratchDir::str() const { return path_.u8string(); }
std::string ScratchDir::sub(const std::string& rel) const { return (path_ / u8(rel)).u8string(); }

void write_file(const fs::path& p, const std::string& bytes) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.u8string());
}

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<std::string> list_tree(const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    out.push_back(fs::relative(e.path(), root).generic_u8string() + (e.is_directory() ? "/" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

std::string CaptureReport::all_err() const {
  std::string s;
  for (const std::string& l : err_lines) s += l + "\n";
  return s;
}

std::string CaptureReport::all_out() const {
  std::string s;
  for (const std::string& l : out_lines) s += (s.empty() ? "" : "\n") + l;
  return s;
}

int run_args(const std::vector<std::string>& args, CaptureReport& report) { return run(args, report); }

std::string sep() {
#ifdef _WIN32
  return "\\";
#else
  return "/";
#endif
}

}  // namespace test
}  // namespace orvane

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {
namespace test {

int64_t mtime_of(const std::filesystem::path& p) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(p.wstring().c_str(), GetFileExInfoStandard, &d)) return -1;
  uint64_t t = (static_cast<uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
  return static_cast<int64_t>(t / 10000000ULL) - 11644473600LL;
#else
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
#endif
}

void make_read_only(const std::filesystem::path& p) {
#ifdef _WIN32
  SetFileAttributesW(p.wstring().c_str(), FILE_ATTRIBUTE_READONLY);
#else
  std::filesystem::permissions(p, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                      std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
#endif
}

#ifdef _WIN32
std::string temp_name(uint64_t pid) { return "~pkz25-" + std::to_string(pid) + "-0.tmp"; }
uint64_t dead_pid() { return 4000000000u; }  // Windows ids are multiples of 4 far below this
// No other process is known to run beside the tests under Wine; this one is live too.
uint64_t other_live_pid() { return GetCurrentProcessId(); }
#else
std::string temp_name(uint64_t pid) { return ".pkz25-" + std::to_string(pid) + "-0.tmp"; }
uint64_t dead_pid() { return 999999999; }  // above Linux's largest pid_max
uint64_t other_live_pid() { return static_cast<uint64_t>(getppid()); }
#endif

}  // namespace test
}  // namespace orvane
