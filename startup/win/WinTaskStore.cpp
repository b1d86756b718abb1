#include "startup/win/WinTaskStore.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <exception>
#include <utility>

#include "app/win/Handles.h"

namespace mt {

namespace {

// The local scheduler, connected as the current user.
ComPtr<ITaskService> Connect() {
  ComPtr<ITaskService> service;
  if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskService, service.put_void())))
    return {};
  const UniqueVariant none;  // server, user, domain and password left out
  if (FAILED(service->Connect(none.get(), none.get(), none.get(), none.get()))) return {};
  return service;
}

ComPtr<ITaskFolder> Folder(ITaskService* service, const std::string& path) {
  ComPtr<ITaskFolder> folder;
  UniqueBstr name(path.empty() ? std::string("\\") : path);
  if (FAILED(service->GetFolder(name.get(), folder.put()))) return {};
  return folder;
}

// "\A\B\task" -> ("\A\B", "task"); ("\", "task") for a task of the root folder.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return {"\\", path};
  return {cut == 0 ? std::string("\\") : path.substr(0, cut), path.substr(cut + 1)};
}

ComPtr<IRegisteredTask> Task(ITaskService* service, const std::string& path) {
  const auto [folderPath, name] = SplitPath(path);
  ComPtr<ITaskFolder> folder = Folder(service, folderPath);
  if (!folder) return {};
  ComPtr<IRegisteredTask> task;
  UniqueBstr bname(name);
  if (FAILED(folder->GetTask(bname.get(), task.put()))) return {};
  return task;
}

TaskInfo InfoOf(IRegisteredTask* task) {
  TaskInfo info;
  UniqueBstr path;
  task->get_Path(path.put());
  info.path = path.Text();
  VARIANT_BOOL enabled = VARIANT_TRUE;
  task->get_Enabled(&enabled);
  info.enabled = enabled != VARIANT_FALSE;
  // The triggers and actions from the definition's text: every scheduler gives it, while
  // some (Wine's) cannot count the definition's trigger and action collections.
  UniqueBstr xml;
  if (SUCCEEDED(task->get_Xml(xml.put()))) ReadTaskXml(xml.Text(), info);
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
  const UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!find) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (::FindNextFileW(find.get(), &found));
  return names;
}

void ListFolder(ITaskFolder* folder, std::vector<TaskInfo>& out, int depth) {
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put())) && tasks &&
      SUCCEEDED(tasks->get_Count(&count))) {
    for (LONG i = 1; i <= count; ++i) {
      ComPtr<IRegisteredTask> task;
      if (SUCCEEDED(tasks->get_Item(UniqueVariant::Int(i).get(), task.put())) && task)
        out.push_back(InfoOf(task.get()));
    }
  } else {
    UniqueBstr path;
    folder->get_Path(path.put());
    for (const std::wstring& name : StoredTaskNames(path.Text())) {
      ComPtr<IRegisteredTask> task;
      if (SUCCEEDED(folder->GetTask(UniqueBstr(name).get(), task.put())) && task)
        out.push_back(InfoOf(task.get()));
    }
  }
  if (depth > 32) return;  // a folder tree deeper than this is not a real one
  ComPtr<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.put())) || !folders) return;
  count = 0;
  folders->get_Count(&count);
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<ITaskFolder> sub;
    if (SUCCEEDED(folders->get_Item(UniqueVariant::Int(i).get(), sub.put())) && sub)
      ListFolder(sub.get(), out, depth + 1);
  }
}

// The folder at `path`, made (with its parents) when it is not there.
ComPtr<ITaskFolder> MadeFolder(ITaskService* service, const std::string& path) {
  ComPtr<ITaskFolder> folder = Folder(service, path);
  if (folder || path == "\\") return folder;
  const auto [parentPath, name] = SplitPath(path);
  ComPtr<ITaskFolder> parent = MadeFolder(service, parentPath);
  if (!parent) return {};
  UniqueBstr bname(name);
  ComPtr<ITaskFolder> made;
  const UniqueVariant none;  // the parent's security descriptor
  if (FAILED(parent->CreateFolder(bname.get(), none.get(), made.put()))) return {};
  return made;
}

}  // namespace

std::vector<TaskInfo> WinTaskStore::Tasks() {
  std::vector<TaskInfo> out;
  try {
    ComScope com;
    ComPtr<ITaskService> service = Connect();
    if (!service) return out;
    ComPtr<ITaskFolder> root = Folder(service.get(), "\\");
    if (root) ListFolder(root.get(), out, 0);
  } catch (const std::exception&) {
  }
  return out;
}

bool WinTaskStore::SetEnabled(const std::string& path, bool enabled) {
  ComScope com;
  ComPtr<ITaskService> service = Connect();
  if (!service) return false;
  ComPtr<IRegisteredTask> task = Task(service.get(), path);
  return task && SUCCEEDED(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
}

std::optional<bool> WinTaskStore::Enabled(const std::string& path) {
  ComScope com;
  ComPtr<ITaskService> service = Connect();
  if (!service) return std::nullopt;
  ComPtr<IRegisteredTask> task = Task(service.get(), path);
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (!task || FAILED(task->get_Enabled(&enabled))) return std::nullopt;
  return enabled != VARIANT_FALSE;
}

std::optional<std::string> WinTaskStore::Xml(const std::string& path) {
  ComScope com;
  ComPtr<ITaskService> service = Connect();
  if (!service) return std::nullopt;
  ComPtr<IRegisteredTask> task = Task(service.get(), path);
  if (!task) return std::nullopt;
  UniqueBstr xml;
  if (FAILED(task->get_Xml(xml.put())) || !xml.get()) return std::nullopt;
  return xml.Text();
}

bool WinTaskStore::Delete(const std::string& path) {
  ComScope com;
  ComPtr<ITaskService> service = Connect();
  if (!service) return false;
  const auto [folderPath, name] = SplitPath(path);
  ComPtr<ITaskFolder> folder = Folder(service.get(), folderPath);
  UniqueBstr bname(name);
  return folder && SUCCEEDED(folder->DeleteTask(bname.get(), 0));
}

bool WinTaskStore::Register(const std::string& path, const std::string& xml) {
  ComScope com;
  ComPtr<ITaskService> service = Connect();
  if (!service) return false;
  const auto [folderPath, name] = SplitPath(path);
  ComPtr<ITaskFolder> folder = MadeFolder(service.get(), folderPath);
  if (!folder) return false;
  UniqueBstr bname(name), bxml(xml);
  ComPtr<IRegisteredTask> task;
  // The definition's own principal says who it runs as, as `schtasks /create /xml` does.
  const UniqueVariant none;
  return SUCCEEDED(folder->RegisterTask(bname.get(), bxml.get(), TASK_CREATE_OR_UPDATE, none.get(),
                                        none.get(), TASK_LOGON_NONE, none.get(), task.put()));
}

}  // namespace mt
