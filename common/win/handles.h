// Move-only owners for Windows handles, in the manner of WIL's unique_any: one owner
// type per handle kind, with its close function and its "no handle" value in a traits
// struct, so that no handle can be closed twice or leaked on an early return. Shared by
// the window and the unzip program.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include <utility>

namespace win {

template <typename Traits>
class unique_resource {
 public:
  using type = typename Traits::type;

  unique_resource() = default;
  explicit unique_resource(type value) : value_(value) {}
  ~unique_resource() { reset(); }

  unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
  unique_resource& operator=(unique_resource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_resource(const unique_resource&) = delete;
  unique_resource& operator=(const unique_resource&) = delete;

  type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::invalid(); }
  type release() { return std::exchange(value_, Traits::invalid()); }
  void reset(type value = Traits::invalid()) {
    if (value_ != Traits::invalid()) Traits::close(value_);
    value_ = value;
  }

 private:
  type value_ = Traits::invalid();
};

struct HandleTraits {
  using type = HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseHandle(h); }
};
struct FileTraits {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::CloseHandle(h); }
};
struct FindTraits {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::FindClose(h); }
};
struct LocalTraits {
  using type = HLOCAL;
  static type invalid() { return nullptr; }
  static void close(type p) { ::LocalFree(p); }
};
struct DropTraits {
  using type = HDROP;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DragFinish(h); }
};
template <typename T>
struct GdiTraits {
  using type = T;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteObject(h); }
};
struct CoTaskMemTraits {
  using type = void*;
  static type invalid() { return nullptr; }
  static void close(type p) { ::CoTaskMemFree(p); }
};

using unique_handle = unique_resource<HandleTraits>;
using unique_file = unique_resource<FileTraits>;
using unique_find = unique_resource<FindTraits>;
using unique_local = unique_resource<LocalTraits>;
using unique_drop = unique_resource<DropTraits>;
using unique_font = unique_resource<GdiTraits<HFONT>>;
using unique_bitmap = unique_resource<GdiTraits<HBITMAP>>;
using unique_cotaskmem = unique_resource<CoTaskMemTraits>;

// The system's description of a Windows error number, without the line break it ends
// in; empty when the system has none.
inline std::wstring SystemErrorText(DWORD number) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, number, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const unique_local owner(text);
  std::wstring description = n ? std::wstring(text, n) : std::wstring();
  while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' || description.back() == L' '))
    description.pop_back();
  return description;
}

// Runs a one-off clean-up when the scope ends, on every path.
template <typename F>
class scope_exit {
 public:
  explicit scope_exit(F f) : f_(std::move(f)) {}
  ~scope_exit() { f_(); }
  scope_exit(const scope_exit&) = delete;
  scope_exit& operator=(const scope_exit&) = delete;

 private:
  F f_;
};

}  // namespace win
