#include "app/Worker.h"

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#endif

namespace mt {

namespace {

// The boundary every body runs inside.
void RunBody(const Worker::Body& body) noexcept {
  try {
    if (body) body();
  } catch (...) {
    // Absorbed here: the thread simply ends.
  }
}

#ifdef _WIN32
unsigned __stdcall Entry(void* arg) {
  const std::unique_ptr<Worker::Body> body(static_cast<Worker::Body*>(arg));
  RunBody(*body);
  return 0;
}

// The new thread's handle; the body belongs to the thread once it is made.
uintptr_t Begin(Worker::Body body, unsigned* id) {
  auto owned = std::make_unique<Worker::Body>(std::move(body));
  const uintptr_t handle = _beginthreadex(nullptr, 0, Entry, owned.get(), 0, id);
  if (handle == 0) throw std::system_error(errno, std::generic_category(), "cannot start a thread");
  owned.release();
  return handle;
}
#endif

}  // namespace

#ifdef _WIN32

Worker::Worker(Body body) {
  // In the body, not the initialiser list: id_'s own initialiser would run after handle_'s.
  unsigned id = 0;
  handle_ = Begin(std::move(body), &id);
  id_ = id;
}

Worker::Worker(Worker&& other) noexcept
    : handle_(std::exchange(other.handle_, 0)), id_(std::exchange(other.id_, 0)) {}

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    JoinOrLetGo();
    handle_ = std::exchange(other.handle_, 0);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

bool Worker::Joinable() const { return handle_ != 0; }

void Worker::Join() {
  if (!Joinable()) return;
  if (id_ == ::GetCurrentThreadId())
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  ::WaitForSingleObject(h, INFINITE);
  ::CloseHandle(h);
  handle_ = 0;
  id_ = 0;
}

void Worker::JoinOrLetGo() noexcept {
  if (!Joinable()) return;
  if (id_ == ::GetCurrentThreadId()) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = 0;
    id_ = 0;
    return;
  }
  Join();
}

void Worker::StartDetached(Body body) {
  ::CloseHandle(reinterpret_cast<HANDLE>(Begin(std::move(body), nullptr)));
}

#else

Worker::Worker(Body body) : thread_([body = std::move(body)] { RunBody(body); }) {}

Worker::Worker(Worker&& other) noexcept : thread_(std::move(other.thread_)) {}

Worker& Worker::operator=(Worker&& other) noexcept {
  if (this != &other) {
    JoinOrLetGo();
    thread_ = std::move(other.thread_);
  }
  return *this;
}

bool Worker::Joinable() const { return thread_.joinable(); }

void Worker::Join() {
  if (Joinable()) thread_.join();
}

void Worker::JoinOrLetGo() noexcept {
  if (!Joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
  else thread_.join();
}

void Worker::StartDetached(Body body) {
  std::thread([body = std::move(body)] { RunBody(body); }).detach();
}

#endif

Worker::~Worker() { JoinOrLetGo(); }

}  // namespace mt
