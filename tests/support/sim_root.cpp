#include "support/sim_root.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/wine.h"
#include "text/utf.h"
#ifndef _WIN32
#include "platform/sim/host.h"
#include "platform/sim/machine_link.h"
#endif

namespace testing_support {

namespace fs = std::filesystem;

namespace {

std::u16string to_product_path(const std::string& native) {
#ifdef _WIN32
  return text::from_utf8(native);
#else
  std::string p = native;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return u"Z:" + text::from_utf8(p);
#endif
}

// Joined as text, not with std::filesystem: on Windows that would read a UTF-8 name in the ANSI
// code page.
std::string join(const std::string& folder, const std::string& name) {
#ifdef _WIN32
  return folder + "\\" + name;
#else
  return folder + "/" + name;
#endif
}

}  // namespace

void FreshHost::SetUp() {
  scratch_ = std::make_unique<ScratchFolder>();
  dir_ = scratch_->path();
#ifndef _WIN32
  if (const char* old = std::getenv("VOSTUSB_SIM_ROOT")) {
    old_root_ = old;
    had_old_root_ = true;
  }
  setenv("VOSTUSB_SIM_ROOT", (fs::path(dir_) / "sim").string().c_str(), 1);
  // Programs the test copies elsewhere (a guard in the scratch folder) still find the machine's
  // kernel of this build when they are the first to need it.
  setenv("VOSTUSB_SIM_MACHINED", (fs::path(VOSTUSB_BIN_DIR) / "vostusb-machine").string().c_str(), 0);
  capture_debug_output_ = true;  // debug.log is always there; reading it starts nothing
#endif
  if (under_wine()) forget_the_suite();
  if (capture_debug_output_) {
    debug_output_ = std::make_unique<DebugOutput>(dir_);
    if (!debug_output_->error().empty()) ADD_FAILURE() << "debugger output: " << debug_output_->error();
  }
}

void FreshHost::TearDown() {
  debug_output_.reset();
  if (under_wine()) forget_the_suite();
#ifndef _WIN32
  // The machine's kernel, when a test started it, ends with the machine.
  if (!os::sim::machine::shutdown_daemon()) ADD_FAILURE() << "the machine daemon did not end";
  if (had_old_root_) {
    setenv("VOSTUSB_SIM_ROOT", old_root_.c_str(), 1);
  } else {
    unsetenv("VOSTUSB_SIM_ROOT");
  }
#endif
  scratch_.reset();
}

std::u16string FreshHost::win_path(const std::string& name) const {
  return to_product_path(join(dir_, name));
}

std::u16string FreshHost::installation_folder() {
  std::u16string path = bin_path("../install");
#ifdef _WIN32
  // Under Wine the build folder is a Linux path, which file calls take but which is no full
  // Windows path; the guard compares its programs' folder as one.
  if (!path.empty() && path[0] == u'/') {
    for (char16_t& c : path) {
      if (c == u'/') c = u'\\';
    }
    path = u"Z:" + path;
  }
#endif
  return path;
}

std::u16string FreshHost::bin_path(const std::string& name) {
  return to_product_path(join(VOSTUSB_BIN_DIR, name));
}

std::vector<std::string> FreshHost::debug_lines() const {
  std::vector<std::string> lines;
  if (!debug_output_) {
    ADD_FAILURE() << "no debugger output: the fixture's constructor must call capture_debug_output()";
    return lines;
  }
  const std::string log = debug_output_->captured();
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    end = end == std::string::npos ? log.size() : end + 2;
    lines.push_back(log.substr(start, end - start));
    start = end;
  }
  return lines;
}

void set_env(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

std::string native_path(std::u16string_view product_path) {
#ifdef _WIN32
  return text::to_utf8(product_path);
#else
  return os::sim::to_linux_path(product_path);
#endif
}

std::string read_native_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_native_file(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testing_support
