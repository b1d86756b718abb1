// The Task Scheduler store on the prefix's own scheduler: what it does with a log-on task
// registered from XML, step by step. Each step prints what the scheduler answered, so that a
// run shows which parts this platform supports. Wine's scheduler registers, finds, exports
// and deletes tasks, but its exported definition has lost the triggers and the program, and
// switching a task off does not stay: those steps are checked on Windows only (and the rules
// on them natively, through the stand-in store).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "startup/ScheduledTasks.h"
#include "startup/win/WinTaskStore.h"

namespace mt::test {
namespace {

const char* const kTask = "\\mt-test tasks\\mt-test logon";

std::string LogonTaskXml(const std::string& command, const std::string& arguments) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo><Description>mt-test</Description></RegistrationInfo>\n"
         "  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\n"
         "  <Settings><Enabled>true</Enabled></Settings>\n"
         "  <Actions Context=\"Author\"><Exec><Command>" +
         command +
         "</Command>"
         "<Arguments>" +
         arguments +
         "</Arguments></Exec></Actions>\n"
         "</Task>\n";
}

bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

const TaskInfo* Find(const std::vector<TaskInfo>& tasks, const std::string& path) {
  for (const TaskInfo& t : tasks)
    if (t.path == path) return &t;
  return nullptr;
}

TEST(WinTaskStoreTest, ALogonTaskRegisteredFromXmlIsReadSwitchedSavedDeletedAndRegisteredAgain) {
  WinTaskStore store;
  store.Delete(kTask);  // a leftover of an interrupted run
  const std::string xml = LogonTaskXml("C:\\Program Files\\mt-test\\tool.exe", "/quiet");

  const bool registered = store.Register(kTask, xml);
  std::printf("scheduler: register from XML: %s\n", registered ? "yes" : "no");
  ASSERT_TRUE(registered);

  const std::vector<TaskInfo> tasks = store.Tasks();
  const TaskInfo* task = Find(tasks, kTask);
  std::printf("scheduler: enumerate folders and tasks: %zu tasks, ours %s\n", tasks.size(),
              task ? "found" : "not found");
  ASSERT_TRUE(task);
  std::printf("scheduler: trigger read: logon=%d boot=%d; exec actions: %zu\n", task->logonTrigger,
              task->bootTrigger, task->actions.size());
  EXPECT_TRUE(task->enabled);
  const bool windows = !UnderWine();
  if (windows) {
    EXPECT_TRUE(task->logonTrigger);
    EXPECT_FALSE(task->bootTrigger);
    ASSERT_EQ(task->actions.size(), 1u);
    EXPECT_EQ(task->actions[0].program, "C:\\Program Files\\mt-test\\tool.exe");
    EXPECT_EQ(task->actions[0].arguments, "/quiet");
    EXPECT_TRUE(IsStartupTask(*task));
    EXPECT_EQ(TaskCommandLine(*task), "\"C:\\Program Files\\mt-test\\tool.exe\" /quiet");
  }

  const std::optional<std::string> saved = store.Xml(kTask);
  std::printf("scheduler: get_Xml: %s\n", saved ? "yes" : "no");
  ASSERT_TRUE(saved);
  std::printf("scheduler: exported definition keeps the program: %s\n",
              saved->find("tool.exe") != std::string::npos ? "yes" : "no");
  if (windows) {
    EXPECT_NE(saved->find("tool.exe"), std::string::npos) << *saved;
  }

  const bool disabled = store.SetEnabled(kTask, false);
  const TaskInfo* off = nullptr;
  std::vector<TaskInfo> after;
  if (disabled) {
    after = store.Tasks();
    off = Find(after, kTask);
  }
  std::printf("scheduler: put_Enabled(false): %s, read back %s\n", disabled ? "yes" : "no",
              off ? (off->enabled ? "enabled" : "disabled") : "-");
  EXPECT_TRUE(disabled);
  if (off && windows) {
    EXPECT_FALSE(off->enabled);
  }
  if (disabled) {
    EXPECT_TRUE(store.SetEnabled(kTask, true));
  }

  const bool deleted = store.Delete(kTask);
  const bool gone = !Find(store.Tasks(), kTask);
  std::printf("scheduler: DeleteTask: %s, gone %s\n", deleted ? "yes" : "no", gone ? "yes" : "no");
  EXPECT_TRUE(deleted);
  EXPECT_TRUE(gone);

  // The saved definition brings it back.
  const bool again = store.Register(kTask, *saved);
  const TaskInfo* back = nullptr;
  std::vector<TaskInfo> restored = store.Tasks();
  back = Find(restored, kTask);
  std::printf("scheduler: register the saved XML again: %s, listed %s\n", again ? "yes" : "no",
              back ? "yes" : "no");
  EXPECT_TRUE(again);
  ASSERT_TRUE(back);
  if (windows) {
    EXPECT_EQ(TaskCommandLine(*back), "\"C:\\Program Files\\mt-test\\tool.exe\" /quiet");
  }
  store.Delete(kTask);
}

}  // namespace
}  // namespace mt::test
