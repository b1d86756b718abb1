// Memory inside the process that owns a window, for the control messages whose structures
// the system does not carry across processes (list-view and tab messages): the structure is
// written into the owner's address space, the message is sent with that address, and the
// answer is read back from there.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "app/win/Handles.h"

namespace probe {

class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, size_t size) : size_(size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_.reset(
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process_) throw std::runtime_error("cannot open the window's process");
    base_ = static_cast<char*>(
        VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!base_) throw std::runtime_error("cannot allocate memory in the window's process");
  }
  ~RemoteBuffer() {
    if (base_) VirtualFreeEx(process_.get(), base_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  // The address of `offset` bytes into the buffer, as the owning process sees it.
  char* At(size_t offset) const { return base_ + offset; }
  LPARAM Param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(At(offset)); }

  void Write(size_t offset, const void* data, size_t n) {
    Check(offset, n);
    SIZE_T done = 0;
    if (!WriteProcessMemory(process_.get(), At(offset), data, n, &done) || done != n)
      throw std::runtime_error("cannot write the window's process memory");
  }
  void Read(size_t offset, void* data, size_t n) const {
    Check(offset, n);
    SIZE_T done = 0;
    if (!ReadProcessMemory(process_.get(), At(offset), data, n, &done) || done != n)
      throw std::runtime_error("cannot read the window's process memory");
  }
  template <typename T>
  void Put(size_t offset, const T& value) {
    Write(offset, &value, sizeof(T));
  }
  template <typename T>
  T Get(size_t offset) const {
    T value{};
    Read(offset, &value, sizeof(T));
    return value;
  }
  // A NUL-terminated UTF-16 text of at most `chars` characters at `offset`.
  std::wstring Text(size_t offset, size_t chars) const {
    std::wstring text(chars, L'\0');
    Read(offset, text.data(), chars * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), chars));
    return text;
  }

 private:
  void Check(size_t offset, size_t n) const {
    if (offset > size_ || n > size_ - offset) throw std::logic_error("outside the remote buffer");
  }

  mt::UniqueKernelHandle process_;
  char* base_ = nullptr;
  size_t size_;
};

}  // namespace probe
