#include "library/device_tester.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "library/driver_interface.h"
#include "text/utf.h"

namespace VostUsbWardenManager {

DeviceTester::DeviceTester(const std::u16string& device_name_, testFun fun, std::int64_t wait_time,
                           bool default_accepted, void* context_)
    : device_name(device_name_),
      testFun_(fun),
      WaitTimeIn100nanoSecs(wait_time),
      context(context_),
      defaultAccepted(default_accepted) {}

DeviceTester::~DeviceTester() { Stop(); }

std::uint32_t DeviceTester::Start() {
  if (worker.HasThread()) return kWorkerRunning;
  worker.driver.reset(os::CreateFileW(device_name.c_str(), driver::kDeviceAccess, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  if (!worker.driver) return os::GetLastError();
  const auto failed = [&](bool resumed) {
    const DWORD code = os::GetLastError();
    worker.Abandon(resumed);
    return code;
  };
  worker.stopEvent.reset(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!worker.stopEvent) return failed(false);
  worker.notifyEvent.reset(os::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!worker.notifyEvent) return failed(false);
  worker.thread.reset(os::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &worker.threadId));
  if (!worker.thread) return failed(false);
  if (os::ResumeThread(worker.thread.get()) == 0xFFFFFFFF) return failed(false);

  driver::StartRecord record{};
  record.event_handle = reinterpret_cast<std::uintptr_t>(worker.notifyEvent.get());
  record.answer_timeout = WaitTimeIn100nanoSecs;
  record.timeout_is_zero = WaitTimeIn100nanoSecs == 0 ? 1 : 0;
  record.default_accepted = defaultAccepted ? 1 : 0;
  DWORD returned = 0;
  if (!os::DeviceIoControl(worker.driver.get(), driver::kUserTestOn, &record, sizeof record, nullptr, 0, &returned,
                           nullptr)) {
    return failed(true);
  }
  os::SetLastError(0);
  return 0;
}

std::uint32_t DeviceTester::Stop() { return worker.Stop(driver::kUserTestOff); }

DWORD DeviceTester::ThreadProc(void* params) {
  static_cast<DeviceTester*>(params)->Run();
  return 0;
}

void DeviceTester::Run() {
  const HANDLE events[2] = {worker.notifyEvent.get(), worker.stopEvent.get()};
  // When both are set the notification wins (the lower index): a waiting request is handled first.
  while (os::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
    os::ResetEvent(worker.notifyEvent.get());
    HandleRequest();
  }
}

void DeviceTester::HandleRequest() {
  driver::RequestHeader header{};
  DWORD returned = 0;
  if (!os::DeviceIoControl(worker.driver.get(), driver::kPeekRequest, nullptr, 0, &header, sizeof header, &returned,
                           nullptr)) {
    return;
  }
  if (returned < sizeof header || header.nothing_pending != 0) return;
  // A request too small to carry its identifier and void flag cannot be fetched as one; a huge
  // one is not taken. Both get the default verdict now: the driver only ever shows its oldest
  // request, so one left to its time-out would hold every device behind it as long.
  if (header.size < driver::kRequestTextOffset || header.size > kMostRequestBytes) {
    Answer(header.identifier, defaultAccepted);
    return;
  }
  std::vector<std::uint8_t> request;
  try {
    request.assign(header.size, 0);
  } catch (const std::bad_alloc&) {
    return;
  }
  std::memcpy(request.data() + offsetof(driver::RequestPrefix, identifier), &header.identifier,
              sizeof header.identifier);
  if (!os::DeviceIoControl(worker.driver.get(), driver::kFetchRequest, request.data(), header.size, request.data(),
                           header.size, &returned, nullptr)) {
    return;
  }
  // Only what the driver returned counts; without its void flag the request is void.
  if (returned <= offsetof(driver::RequestPrefix, is_void) || request[offsetof(driver::RequestPrefix, is_void)] != 0) {
    return;
  }
  const std::u16string text = RequestText(request.data(), std::min<std::size_t>(returned, request.size()));
  Answer(header.identifier, testFun_(text.c_str(), context));
}

void DeviceTester::Answer(std::uint64_t identifier, bool accepted) {
  driver::Answer answer{identifier, static_cast<std::uint8_t>(accepted ? 0 : 1)};
  DWORD returned = 0;
  os::DeviceIoControl(worker.driver.get(), driver::kAnswerRequest, &answer, sizeof answer, nullptr, 0, &returned,
                      nullptr);
}

std::u16string RequestText(const std::uint8_t* request, std::size_t returned) {
  if (returned <= driver::kRequestTextOffset) return {};
  const std::string_view bytes(reinterpret_cast<const char*>(request) + driver::kRequestTextOffset,
                               returned - driver::kRequestTextOffset);
  std::u16string text = text::from_utf16le(bytes);
  const std::size_t end = text.find(u'\0');
  if (end != std::u16string::npos) text.resize(end);
  return text::repair_utf16(text);
}

}  // namespace VostUsbWardenManager
