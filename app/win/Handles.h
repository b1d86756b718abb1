// Move-only owners for what the Win32 and COM calls hand out, so that each is released exactly
// once on every path: handles, COM interface pointers, BSTRs, VARIANTs, task-allocator memory,
// menus, a thread's COM apartment and a window's paint cycle. The one place such things are
// freed.
#pragma once

#include <windows.h>
#include <winhttp.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
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
  // For an out parameter: closes what is held first, so that a call filling it cannot leak
  // the earlier one.
  H* put() {
    reset();
    return &h_;
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
struct ServiceHandleTraits {
  static SC_HANDLE invalid() { return nullptr; }
  static void close(SC_HANDLE h) { ::CloseServiceHandle(h); }
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
struct MenuTraits {
  static HMENU invalid() { return nullptr; }
  static void close(HMENU h) { ::DestroyMenu(h); }
};
// Memory from the COM task allocator (known-folder paths, item ID lists).
template <typename P>
struct CoTaskMemTraits {
  static P invalid() { return nullptr; }
  static void close(P p) { ::CoTaskMemFree(p); }
};
struct BstrTraits {
  static BSTR invalid() { return nullptr; }
  static void close(BSTR b) { ::SysFreeString(b); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueHKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueInternet = UniqueHandle<HINTERNET, InternetTraits>;
using UniqueService = UniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueFont = UniqueHandle<HFONT, GdiTraits<HFONT>>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiTraits<HBRUSH>>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiTraits<HBITMAP>>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListTraits>;
using UniqueMenu = UniqueHandle<HMENU, MenuTraits>;
template <typename P>
using UniqueCoTaskMem = UniqueHandle<P, CoTaskMemTraits<P>>;
using UniqueCoTaskMemString = UniqueCoTaskMem<PWSTR>;

// A BSTR, made from UTF-8 text or filled by a call through put().
class UniqueBstr : public UniqueHandle<BSTR, BstrTraits> {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(const std::wstring& text) : UniqueHandle(::SysAllocString(text.c_str())) {}
  explicit UniqueBstr(const std::string& text) : UniqueBstr(Widen(text)) {}
  std::string Text() const { return get() ? Narrow(get(), ::SysStringLen(get())) : std::string(); }
};

// One reference to a COM object: released when the owner goes, when it is reset, and before
// put() hands its slot to a call that fills it. Move-only, like the handles.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns (no AddRef).
  explicit ComPtr(T* p) : p_(p) {}
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T* release() { return std::exchange(p_, nullptr); }
  void reset(T* p = nullptr) {
    if (T* old = std::exchange(p_, p)) old->Release();
  }
  // For an out parameter (T**): releases what is held first.
  T** put() {
    reset();
    return &p_;
  }
  // The same for calls that take void** with an interface ID (CoCreateInstance,
  // QueryInterface).
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// A VARIANT, cleared (VariantClear) when the owner goes and before put() hands it out again.
class UniqueVariant {
 public:
  UniqueVariant() { ::VariantInit(&v_); }
  ~UniqueVariant() { ::VariantClear(&v_); }
  UniqueVariant(UniqueVariant&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
  UniqueVariant& operator=(UniqueVariant&& o) noexcept {
    if (this != &o) {
      ::VariantClear(&v_);
      v_ = o.v_;
      ::VariantInit(&o.v_);
    }
    return *this;
  }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;

  static UniqueVariant Int(LONG value) {
    UniqueVariant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = value;
    return v;
  }
  // The VARIANT itself, to pass by value: the callee borrows it, this owner still clears it.
  const VARIANT& get() const { return v_; }
  VARIANT* put() {
    ::VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

// COM on the calling thread for the life of the object (apartment-threaded by default, as the
// shell wants it). Only a successful initialisation is undone: a thread already in another
// model (RPC_E_CHANGED_MODE) uses COM all the same, but that apartment is not ours to end.
class ComScope {
 public:
  explicit ComScope(DWORD model = COINIT_APARTMENTTHREADED)
      : ok_(SUCCEEDED(::CoInitializeEx(nullptr, model))) {}
  ~ComScope() {
    if (ok_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool Initialised() const { return ok_; }

 private:
  bool ok_;
};

// One WM_PAINT cycle of a window: BeginPaint at the start, EndPaint when the scope ends, on
// every path.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd_, &ps_); }
  ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }
  const PAINTSTRUCT& info() const { return ps_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_ = nullptr;
};

}  // namespace mt
