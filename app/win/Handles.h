// Move-only owners for Win32 handles, so that every handle is released on every path.
#pragma once

#include <windows.h>
#include <winhttp.h>
#include <commctrl.h>

#include <utility>

#include "app/win/Convert.h"  // Widen, Narrow, SystemErrorText beside the owners

namespace mt {

template <typename H, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, Traits::invalid());
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  H get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::invalid(); }
  H release() { return std::exchange(h_, Traits::invalid()); }
  void reset(H h = Traits::invalid()) {
    if (h_ != Traits::invalid()) Traits::close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::invalid();
};

struct KernelHandleTraits {
  static HANDLE invalid() { return nullptr; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { ::FindClose(h); }
};
struct RegKeyTraits {
  static HKEY invalid() { return nullptr; }
  static void close(HKEY h) { ::RegCloseKey(h); }
};
struct InternetTraits {
  static HINTERNET invalid() { return nullptr; }
  static void close(HINTERNET h) { ::WinHttpCloseHandle(h); }
};
struct IconTraits {
  static HICON invalid() { return nullptr; }
  static void close(HICON h) { ::DestroyIcon(h); }
};
template <typename G>
struct GdiTraits {
  static G invalid() { return nullptr; }
  static void close(G h) { ::DeleteObject(h); }
};
struct ImageListTraits {
  static HIMAGELIST invalid() { return nullptr; }
  static void close(HIMAGELIST h) { ::ImageList_Destroy(h); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueHKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueInternet = UniqueHandle<HINTERNET, InternetTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueFont = UniqueHandle<HFONT, GdiTraits<HFONT>>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiTraits<HBRUSH>>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiTraits<HBITMAP>>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListTraits>;

}  // namespace mt
