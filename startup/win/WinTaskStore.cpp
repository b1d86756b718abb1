#include "startup/win/WinTaskStore.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <exception>
#include <utility>

#include "app/win/Handles.h"

namespace mt {

namespace {

// COM on this thread for the life of the object (apartment-threaded, as the shell wants it).
class ComScope {
 public:
  ComScope() {
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // Already initialised in another model: usable all the same, but not ours to end.
    ok_ = hr == S_OK || hr == S_FALSE;
  }
  ~ComScope() {
    if (ok_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool ok_ = false;
};

// Owns one reference to a COM object.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For an out parameter: releases what is held first.
  T** out() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::string& text) : Bstr(Widen(text)) {}
  explicit Bstr(const std::wstring& text) : b_(::SysAllocString(text.c_str())) {}
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* out() {
    ::SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::string Text() const { return b_ ? Narrow(b_, ::SysStringLen(b_)) : std::string(); }

 private:
  BSTR b_ = nullptr;
};

VARIANT Empty() {
  VARIANT v;
  ::VariantInit(&v);
  return v;
}

// The index of a collection's item (from 1).
VARIANT ItemIndex(LONG i) {
  VARIANT v = Empty();
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

// The local scheduler, connected as the current user.
ComRef<ITaskService> Connect() {
  ComRef<ITaskService> service;
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskService, reinterpret_cast<void**>(service.out()))))
    return {};
  if (FAILED(service->Connect(Empty(), Empty(), Empty(), Empty()))) return {};
  return service;
}

ComRef<ITaskFolder> Folder(ITaskService* service, const std::string& path) {
  ComRef<ITaskFolder> folder;
  Bstr name(path.empty() ? std::string("\\") : path);
  if (FAILED(service->GetFolder(name.get(), folder.out()))) return {};
  return folder;
}

// "\A\B\task" -> ("\A\B", "task"); ("\", "task") for a task of the root folder.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return {"\\", path};
  return {cut == 0 ? std::string("\\") : path.substr(0, cut), path.substr(cut + 1)};
}

ComRef<IRegisteredTask> Task(ITaskService* service, const std::string& path) {
  const auto [folderPath, name] = SplitPath(path);
  ComRef<ITaskFolder> folder = Folder(service, folderPath);
  if (!folder) return {};
  ComRef<IRegisteredTask> task;
  Bstr bname(name);
  if (FAILED(folder->GetTask(bname.get(), task.out()))) return {};
  return task;
}

TaskInfo InfoOf(IRegisteredTask* task) {
  TaskInfo info;
  Bstr path;
  task->get_Path(path.out());
  info.path = path.Text();
  VARIANT_BOOL enabled = VARIANT_TRUE;
  task->get_Enabled(&enabled);
  info.enabled = enabled != VARIANT_FALSE;
  // The triggers and actions from the definition's text: every scheduler gives it, while
  // some (Wine's) cannot count the definition's trigger and action collections.
  Bstr xml;
  if (SUCCEEDED(task->get_Xml(xml.out()))) ReadTaskXml(xml.Text(), info);
  return info;
}

// The names of the task files in the scheduler's own store (<system folder>\Tasks\<folder>):
// for schedulers whose task collections cannot be counted (Wine's answers E_NOTIMPL).
std::vector<std::wstring> StoredTaskNames(const std::string& folderPath) {
  std::vector<std::wstring> names;
  wchar_t system[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return names;
  std::wstring folder = std::wstring(system, n) + L"\\Tasks";
  if (folderPath != "\\") folder += Widen(folderPath);
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return names;
}

void ListFolder(ITaskFolder* folder, std::vector<TaskInfo>& out, int depth) {
  ComRef<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.out())) && tasks &&
      SUCCEEDED(tasks->get_Count(&count))) {
    for (LONG i = 1; i <= count; ++i) {
      ComRef<IRegisteredTask> task;
      if (SUCCEEDED(tasks->get_Item(ItemIndex(i), task.out())) && task)
        out.push_back(InfoOf(task.get()));
    }
  } else {
    Bstr path;
    folder->get_Path(path.out());
    for (const std::wstring& name : StoredTaskNames(path.Text())) {
      ComRef<IRegisteredTask> task;
      if (SUCCEEDED(folder->GetTask(Bstr(name).get(), task.out())) && task) out.push_back(InfoOf(task.get()));
    }
  }
  if (depth > 32) return;  // a folder tree deeper than this is not a real one
  ComRef<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.out())) || !folders) return;
  count = 0;
  folders->get_Count(&count);
  for (LONG i = 1; i <= count; ++i) {
    ComRef<ITaskFolder> sub;
    if (SUCCEEDED(folders->get_Item(ItemIndex(i), sub.out())) && sub) ListFolder(sub.get(), out, depth + 1);
  }
}

// The folder at `path`, made (with its parents) when it is not there.
ComRef<ITaskFolder> MadeFolder(ITaskService* service, const std::string& path) {
  ComRef<ITaskFolder> folder = Folder(service, path);
  if (folder || path == "\\") return folder;
  const auto [parentPath, name] = SplitPath(path);
  ComRef<ITaskFolder> parent = MadeFolder(service, parentPath);
  if (!parent) return {};
  Bstr bname(name);
  ComRef<ITaskFolder> made;
  if (FAILED(parent->CreateFolder(bname.get(), Empty(), made.out()))) return {};
  return made;
}

}  // namespace

std::vector<TaskInfo> WinTaskStore::Tasks() {
  std::vector<TaskInfo> out;
  try {
    ComScope com;
    ComRef<ITaskService> service = Connect();
    if (!service) return out;
    ComRef<ITaskFolder> root = Folder(service.get(), "\\");
    if (root) ListFolder(root.get(), out, 0);
  } catch (const std::exception&) {
  }
  return out;
}

bool WinTaskStore::SetEnabled(const std::string& path, bool enabled) {
  ComScope com;
  ComRef<ITaskService> service = Connect();
  if (!service) return false;
  ComRef<IRegisteredTask> task = Task(service.get(), path);
  return task && SUCCEEDED(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
}

std::optional<std::string> WinTaskStore::Xml(const std::string& path) {
  ComScope com;
  ComRef<ITaskService> service = Connect();
  if (!service) return std::nullopt;
  ComRef<IRegisteredTask> task = Task(service.get(), path);
  if (!task) return std::nullopt;
  Bstr xml;
  if (FAILED(task->get_Xml(xml.out())) || !xml.get()) return std::nullopt;
  return xml.Text();
}

bool WinTaskStore::Delete(const std::string& path) {
  ComScope com;
  ComRef<ITaskService> service = Connect();
  if (!service) return false;
  const auto [folderPath, name] = SplitPath(path);
  ComRef<ITaskFolder> folder = Folder(service.get(), folderPath);
  Bstr bname(name);
  return folder && SUCCEEDED(folder->DeleteTask(bname.get(), 0));
}

bool WinTaskStore::Register(const std::string& path, const std::string& xml) {
  ComScope com;
  ComRef<ITaskService> service = Connect();
  if (!service) return false;
  const auto [folderPath, name] = SplitPath(path);
  ComRef<ITaskFolder> folder = MadeFolder(service.get(), folderPath);
  if (!folder) return false;
  Bstr bname(name), bxml(xml);
  ComRef<IRegisteredTask> task;
  // The definition's own principal says who it runs as, as `schtasks /create /xml` does.
  return SUCCEEDED(folder->RegisterTask(bname.get(), bxml.get(), TASK_CREATE_OR_UPDATE, Empty(),
                                        Empty(), TASK_LOGON_NONE, Empty(), task.out()));
}

}  // namespace mt
