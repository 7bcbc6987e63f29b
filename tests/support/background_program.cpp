#include "support/background_program.h"

namespace testing_support {

BackgroundProgram::BackgroundProgram(const std::u16string& program, const std::u16string& parameters) {
  os::SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (os::ShellExecuteExW(&info)) process_.reset(info.hProcess);
}

BackgroundProgram::~BackgroundProgram() {
  if (!process_) return;
  os::TerminateProcess(process_.get(), 1);
  os::WaitForSingleObject(process_.get(), 10000);
}

}  // namespace testing_support
