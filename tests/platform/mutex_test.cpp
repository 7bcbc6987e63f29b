// Named and unnamed mutexes: existence across processes, namespaces, ownership by thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "child_process.h"
#include "platform/handle.h"
#include "platform/os.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace {

using platform_test::shell_execute;

class Mutexes : public platform_test::HelperHost {
 protected:
  // A name no other test uses (Windows keeps one namespace for all the tests running at once).
  static std::u16string unique(const std::u16string& base) {
    static std::mt19937_64 random{std::random_device{}()};
    return base + u"-" + text::from_utf8(std::to_string(random()));
  }

  static bool exists(const std::u16string& name) {
    os::unique_handle mutex(os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
    return static_cast<bool>(mutex);
  }

  // Waits until a holder process has made the name exist.
  static bool appears(const std::u16string& name) {
    for (int i = 0; i < 500; ++i) {
      if (exists(name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

TEST_F(Mutexes, CreateReportsWhetherTheNameExisted) {
  const std::u16string name = unique(u"Global\\vostusb-create");
  os::SetLastError(1234);
  os::unique_handle first(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(first);
  EXPECT_EQ(DWORD{ERROR_SUCCESS}, os::GetLastError());

  os::unique_handle second(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(second);  // a valid handle to the existing mutex
  EXPECT_EQ(DWORD{ERROR_ALREADY_EXISTS}, os::GetLastError());
  EXPECT_NE(first.get(), second.get());
}

TEST_F(Mutexes, OpenFailsForAMissingName) {
  const std::u16string name = unique(u"Global\\vostusb-missing");
  EXPECT_EQ(nullptr, os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
  EXPECT_EQ(DWORD{ERROR_FILE_NOT_FOUND}, os::GetLastError());
}

TEST_F(Mutexes, GlobalAndLocalNamesAreSeparate) {
  const std::u16string name = unique(u"vostusb-space");
  os::unique_handle global(os::CreateMutexW(nullptr, FALSE, (u"Global\\" + name).c_str()));
  ASSERT_TRUE(global);
  EXPECT_TRUE(exists(u"Global\\" + name));
  EXPECT_FALSE(exists(name));
  EXPECT_FALSE(exists(u"Local\\" + name));

  os::unique_handle local(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(local);
  EXPECT_EQ(DWORD{ERROR_SUCCESS}, os::GetLastError());
  EXPECT_TRUE(exists(u"Local\\" + name));  // "Local\" names the local namespace explicitly
}

TEST_F(Mutexes, NamesAreCaseSensitive) {
  const std::u16string name = unique(u"Global\\VostUsb-Case");
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(mutex);
  std::u16string other = name;
  other[7] = u'v';  // "Global\vostUsb-..."
  EXPECT_FALSE(exists(other));
  EXPECT_TRUE(exists(name));
}

TEST_F(Mutexes, NameExistsUntilItsLastHandleCloses) {
  const std::u16string name = unique(u"Global\\vostusb-close");
  os::unique_handle first(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  os::unique_handle second(os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  first.reset();
  EXPECT_TRUE(exists(name));
  second.reset();
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(DWORD{ERROR_FILE_NOT_FOUND}, os::GetLastError());

  // Created again afresh: not "already exists".
  os::unique_handle again(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(again);
  EXPECT_EQ(DWORD{ERROR_SUCCESS}, os::GetLastError());
}

TEST_F(Mutexes, AnotherProcessHoldsTheNameUntilItIsKilled) {
  const std::u16string name = unique(u"Global\\vostusb-holder");
  auto holder = shell_execute(helper_path("mutex_holder"), name);
  ASSERT_TRUE(holder.ok) << holder.error;
  ASSERT_TRUE(appears(name));

  os::unique_handle mine(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(mine);
  EXPECT_EQ(DWORD{ERROR_ALREADY_EXISTS}, os::GetLastError());
  mine.reset();

  ASSERT_TRUE(os::TerminateProcess(holder.process.get(), 9));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(holder.process.get(), 5000));
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(DWORD{ERROR_FILE_NOT_FOUND}, os::GetLastError());
}

TEST_F(Mutexes, AnotherProcessHoldsTheNameUntilItExits) {
  const std::u16string name = unique(u"Global\\vostusb-exit");
  auto holder = shell_execute(helper_path("mutex_holder"), name + u" 1500");
  ASSERT_TRUE(holder.ok) << holder.error;
  ASSERT_TRUE(appears(name));
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(holder.process.get(), 10000));
  DWORD code = 1;
  ASSERT_TRUE(os::GetExitCodeProcess(holder.process.get(), &code));
  EXPECT_EQ(0u, code);  // it created the name: it did not exist before
  EXPECT_FALSE(exists(name));
}

TEST_F(Mutexes, AHolderSeesTheNameOfAnotherProcess) {
  const std::u16string name = unique(u"vostusb-taken");
  os::unique_handle mine(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(mine);
  auto holder = shell_execute(helper_path("mutex_holder"), name + u" 0");
  ASSERT_TRUE(holder.ok) << holder.error;
  ASSERT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(holder.process.get(), 10000));
  DWORD code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(holder.process.get(), &code));
  EXPECT_EQ(4u, code);  // ERROR_ALREADY_EXISTS in the other process
}

TEST_F(Mutexes, ChildrenDoNotInheritTheName) {
  const std::u16string name = unique(u"Global\\vostusb-inherit");
  os::unique_handle mine(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(mine);
  const std::string report = native_dir() + "/child.txt";
  auto child = shell_execute(helper_path("probe_child"), text::from_utf8("\"" + report + "\" 0 60000"));
  ASSERT_TRUE(child.ok) << child.error;
  ASSERT_TRUE(platform_test::wait_for_report(report).found);
  mine.reset();
  EXPECT_FALSE(exists(name));  // the running child holds nothing
}

TEST_F(Mutexes, OwnershipIsRecursiveAndBelongsToAThread) {
  os::unique_handle mutex(os::CreateMutexW(nullptr, TRUE, nullptr));
  ASSERT_TRUE(mutex);
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(mutex.get(), 0));  // owned twice now

  std::thread([&] {
    EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(mutex.get(), 50));
    EXPECT_FALSE(os::ReleaseMutex(mutex.get()));
    EXPECT_EQ(DWORD{ERROR_NOT_OWNER}, os::GetLastError());
  }).join();

  EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
  std::thread([&] { EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(mutex.get(), 0)); }).join();
  EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
  EXPECT_FALSE(os::ReleaseMutex(mutex.get()));
  EXPECT_EQ(DWORD{ERROR_NOT_OWNER}, os::GetLastError());

  std::thread([&] {
    EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(mutex.get(), 0));
    EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
  }).join();
}

TEST_F(Mutexes, AWaiterGetsTheMutexWhenItIsReleased) {
  os::unique_handle mutex(os::CreateMutexW(nullptr, TRUE, nullptr));
  ASSERT_TRUE(mutex);
  std::atomic<DWORD> result{0xDEAD};
  std::thread waiter([&] {
    result = os::WaitForSingleObject(mutex.get(), 5000);
    os::ReleaseMutex(mutex.get());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(0xDEADu, result.load());
  EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
  waiter.join();
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, result.load());
}

TEST_F(Mutexes, AThreadThatEndsOwningTheMutexAbandonsIt) {
  os::unique_handle mutex(os::CreateMutexW(nullptr, FALSE, nullptr));
  ASSERT_TRUE(mutex);
  std::thread([&] { EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(mutex.get(), 0)); }).join();
  EXPECT_EQ(DWORD{WAIT_ABANDONED}, os::WaitForSingleObject(mutex.get(), 1000));
  EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
  EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(mutex.get(), 0));  // abandoned once only
  EXPECT_TRUE(os::ReleaseMutex(mutex.get()));
}

TEST_F(Mutexes, HandlesOfOneNameShareTheOwner) {
  const std::u16string name = unique(u"Global\\vostusb-share");
  os::unique_handle first(os::CreateMutexW(nullptr, TRUE, name.c_str()));
  os::unique_handle second(os::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
  ASSERT_TRUE(first);
  ASSERT_TRUE(second);
  std::thread([&] { EXPECT_EQ(DWORD{WAIT_TIMEOUT}, os::WaitForSingleObject(second.get(), 20)); }).join();
  EXPECT_TRUE(os::ReleaseMutex(second.get()));  // the owner may release through either handle
  std::thread([&] {
    EXPECT_EQ(DWORD{WAIT_OBJECT_0}, os::WaitForSingleObject(second.get(), 0));
    EXPECT_TRUE(os::ReleaseMutex(first.get()));
  }).join();
}

TEST_F(Mutexes, OnlyTheCreatorGetsInitialOwnership) {
  const std::u16string name = unique(u"Global\\vostusb-initial");
  os::unique_handle first(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(first);
  std::thread([&] {
    os::unique_handle second(os::CreateMutexW(nullptr, TRUE, name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(DWORD{ERROR_ALREADY_EXISTS}, os::GetLastError());
    EXPECT_FALSE(os::ReleaseMutex(second.get()));
    EXPECT_EQ(DWORD{ERROR_NOT_OWNER}, os::GetLastError());
  }).join();
}

TEST_F(Mutexes, ManyThreadsCreatingOneNameSeeOneCreator) {
  const std::u16string name = unique(u"Global\\vostusb-race");
  std::atomic<int> created{0};
  std::vector<os::unique_handle> handles(8);
  std::vector<std::thread> threads;
  for (auto& handle : handles) {
    threads.emplace_back([&] {
      handle.reset(os::CreateMutexW(nullptr, FALSE, name.c_str()));
      if (handle && os::GetLastError() == ERROR_SUCCESS) ++created;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(1, created.load());
  for (auto& handle : handles) EXPECT_TRUE(handle);
}

TEST_F(Mutexes, BadHandlesFail) {
  os::unique_handle event(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_FALSE(os::ReleaseMutex(event.get()));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
  EXPECT_FALSE(os::ReleaseMutex(nullptr));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());

  HANDLE closed = os::CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_TRUE(os::CloseHandle(closed));
  EXPECT_FALSE(os::CloseHandle(closed));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
  EXPECT_EQ(DWORD{WAIT_FAILED}, os::WaitForSingleObject(closed, 0));
  EXPECT_EQ(DWORD{ERROR_INVALID_HANDLE}, os::GetLastError());
}

TEST_F(Mutexes, AHandleWithoutSynchronizeCannotWait) {
  const std::u16string name = unique(u"Global\\vostusb-rights");
  os::unique_handle mine(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  os::unique_handle limited(os::OpenMutexW(MUTEX_MODIFY_STATE, FALSE, name.c_str()));
  ASSERT_TRUE(limited);
  EXPECT_EQ(DWORD{WAIT_FAILED}, os::WaitForSingleObject(limited.get(), 0));
  EXPECT_EQ(DWORD{ERROR_ACCESS_DENIED}, os::GetLastError());
}

#ifndef _WIN32

TEST_F(Mutexes, ALeftoverLockFileIsNoMutex) {
  const std::u16string name = u"Global\\vostusb-leftover";
  os::CloseHandle(os::CreateMutexW(nullptr, FALSE, name.c_str()));
  bool lock_file_left = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(native_dir())) {
    if (entry.path().filename().string().starts_with("vostusb-leftover")) lock_file_left = true;
  }
  EXPECT_TRUE(lock_file_left);
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(DWORD{ERROR_FILE_NOT_FOUND}, os::GetLastError());
}

TEST_F(Mutexes, NamesThatCannotBeObjectNames) {
  struct Case {
    std::u16string name;
    DWORD error;
  };
  const std::vector<Case> cases = {
      {u"Global\\a\\b", ERROR_PATH_NOT_FOUND},
      {u"Global\\", ERROR_INVALID_NAME},
      {std::u16string(MAX_PATH + 1, u'x'), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nullptr, os::CreateMutexW(nullptr, FALSE, c.name.c_str())) << text::to_utf8(c.name);
    EXPECT_EQ(c.error, os::GetLastError()) << text::to_utf8(c.name);
  }
  EXPECT_EQ(nullptr, os::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, nullptr));
  EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, os::GetLastError());
}

TEST_F(Mutexes, LongAndUnusualNamesStayDistinct) {
  // Names whose file names need escaping or shortening must not meet each other.
  const std::u16string long_a = u"Global\\" + std::u16string(240, u'a') + u"1";
  const std::u16string long_b = u"Global\\" + std::u16string(240, u'a') + u"2";
  const std::vector<std::u16string> names = {long_a, long_b, u"a/b", u"a%002Fb", u"ż.mutex", u"Global\\.."};
  std::vector<os::unique_handle> held;
  for (const auto& name : names) {
    held.emplace_back(os::CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(held.back()) << text::to_utf8(name);
    EXPECT_EQ(DWORD{ERROR_SUCCESS}, os::GetLastError()) << text::to_utf8(name);
  }
  for (const auto& name : names) EXPECT_TRUE(exists(name)) << text::to_utf8(name);
}

// Making an object in the global namespace takes the administrator; a standard user may still
// open one that exists, and make local ones.
TEST_F(Mutexes, OnlyTheAdministratorCreatesGlobalNames) {
  if (!platform_test::standard_user_available()) GTEST_SKIP() << "needs root and the user nobody";
  const std::u16string existing = u"Global\\" + unique(u"existing");
  const std::u16string fresh = u"Global\\" + unique(u"fresh");
  const std::u16string local = unique(u"local");
  os::unique_handle held(os::CreateMutexW(nullptr, FALSE, existing.c_str()));
  ASSERT_TRUE(held);
  EXPECT_EQ(0, platform_test::exit_status_as_standard_user([&] {
    if (os::CreateMutexW(nullptr, FALSE, fresh.c_str()) != nullptr) return 11;
    if (os::GetLastError() != ERROR_ACCESS_DENIED) return 12;
    HANDLE opened = os::CreateMutexW(nullptr, FALSE, existing.c_str());
    if (opened == nullptr || os::GetLastError() != ERROR_ALREADY_EXISTS) return 13;
    if (os::CreateMutexW(nullptr, FALSE, local.c_str()) == nullptr) return 14;
    return 0;
  }));
  EXPECT_FALSE(exists(fresh));
}

#endif

}  // namespace
