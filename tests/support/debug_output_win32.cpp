// Under Windows the capture program listens for the debugger output. It creates its output file
// once it listens, and it ends when it receives the stop text, which this process writes last: the
// writers are served in turn, so everything written before has arrived by then.
#include <filesystem>
#include <random>

#include "support/debug_output.h"
#include "support/sim_root.h"
#include "text/utf.h"

namespace testing_support {

namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kStopTimeoutMs = 30000;

std::string unique_suffix() {
  std::random_device random;
  return std::to_string(random()) + "-" + std::to_string(random());
}

std::string exit_reason(DWORD code) {
  switch (code) {
    case 2: return "dbwin-capture rejected its command line";
    case 3: return "another debug output viewer is listening";
    default: return "dbwin-capture ended with code " + std::to_string(code) + " before it listened";
  }
}

}  // namespace

void DebugOutput::start(const std::string& scratch_dir) {
  const std::string suffix = unique_suffix();
  file_ = (std::filesystem::path(scratch_dir) / ("debug-output-" + suffix + ".log")).string();
  stop_text_ = u"dbwin-capture stop " + text::from_utf8(suffix);
  sync_prefix_ = u"dbwin-capture sync " + text::from_utf8(suffix) + u" ";
  const std::u16string program = text::from_utf8(VOSTUSB_BIN_DIR "/dbwin-capture.exe");
  const std::u16string parameters = u"\"" + text::from_utf8(file_) + u"\" --stop-on \"" + stop_text_ + u"\"";

  os::SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (!os::ShellExecuteExW(&info)) {
    error_ = "cannot start " + text::to_utf8(program) + " (error " + std::to_string(os::GetLastError()) + ")";
    return;
  }
  capture_.reset(info.hProcess);

  for (DWORD waited = 0; !std::filesystem::exists(file_); waited += 10) {
    DWORD code = 0;
    if (os::WaitForSingleObject(capture_.get(), 10) == WAIT_OBJECT_0) {
      os::GetExitCodeProcess(capture_.get(), &code);
      error_ = exit_reason(code);
      capture_.reset();
      return;
    }
    if (waited >= kStartTimeoutMs) {
      error_ = "dbwin-capture did not start listening";
      os::TerminateProcess(capture_.get(), 1);
      capture_.reset();
      return;
    }
  }
}

// The capture program serves writers one at a time: once a text written now is in the file, so is
// everything written before it.
void DebugOutput::sync() const {
  if (!capture_) return;
  const std::u16string marker = sync_prefix_ + text::from_utf8(std::to_string(++syncs_));
  os::OutputDebugStringW(marker.c_str());
  const std::string wanted = text::to_utf8(marker) + "\n";
  for (DWORD waited = 0; waited < kStopTimeoutMs; waited += 10) {
    if (read_native_file(file_).find(wanted) != std::string::npos) return;
    os::Sleep(10);
  }
  ADD_FAILURE() << "the debugger output did not arrive within " << kStopTimeoutMs << " ms";
}

void DebugOutput::finish() {
  if (!capture_) return;
  os::OutputDebugStringW(stop_text_.c_str());
  if (os::WaitForSingleObject(capture_.get(), kStopTimeoutMs) != WAIT_OBJECT_0) {
    os::TerminateProcess(capture_.get(), 1);
    os::WaitForSingleObject(capture_.get(), kStopTimeoutMs);
  }
  capture_.reset();
}

}  // namespace testing_support
