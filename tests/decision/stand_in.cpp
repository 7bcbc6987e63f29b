#include "decision/stand_in.h"

#include <chrono>
#include <filesystem>

#include "pipes/commp.h"

namespace decision_test {

namespace {

std::u16string file_name(const std::u16string& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

StandIn::StandIn(const std::u16string& program, const std::u16string& parameters, const std::u16string& channel,
                 const std::u16string& probe)
    : program_(program, parameters) {
  if (!program_.started()) return;

  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!serving_ && std::chrono::steady_clock::now() < until) {
    class_commp asker;
    asker.connect_timeout = 200;
    asker.write_timeout = 2000;
    std::u16string answer;
    serving_ = asker.ask(answer, file_name(program), probe, channel) == 1;
    if (!serving_) os::Sleep(50);
  }
}

std::string copy_stand_in(const std::string& program, const std::string& folder) {
  const std::filesystem::path to = std::filesystem::path(folder) / program;
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy_file(std::filesystem::path(VOSTUSB_BIN_DIR) / ".." / "install" / "bin" / program, to,
                             std::filesystem::copy_options::overwrite_existing);
  return to.string();
}

}  // namespace decision_test
