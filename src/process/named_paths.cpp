#include "process/named_paths.h"

#include "process/diagnostics.h"
#include "process/paths.h"
#include "process/registry.h"

VostUsbWardenManager::Manager* g_manager = nullptr;
std::recursive_mutex g_manager_lock;

std::u16string driver_file_name() {
  return registry::is_windows10_family() ? u"vostusb10.sys" : u"vostusb.sys";
}

namespace {

enum class Root { Data, Program };

struct NamedPath {
  std::u16string_view name;
  Root root;
  std::u16string_view folder;  // below the root
  std::u16string_view file;    // "" for a folder; "*" for the driver file
  bool create_folder;
  bool logged;
};

constexpr NamedPath kNamedPaths[] = {
    {u"new_usb_device_file_path", Root::Data, u"\\tmp", u"usbdevice.json", false, false},
    {u"current_usb", Root::Data, u"\\vostusb", u"current_usb.json", true, true},
    {u"current_usb_internal", Root::Data, u"\\vostusb", u"current_usb_internal.json", true, true},
    {u"config", Root::Data, u"\\vostusb", u"config.json", true, true},
    {u"accept", Root::Data, u"\\vostusb\\accept", u"", true, true},
    {u"internal_accept", Root::Data, u"\\vostusb\\internal_accept", u"", true, true},
    {u"sys", Root::Program, u"", u"*", false, true},
};

}  // namespace

std::u16string get_named_path(std::u16string_view name) {
  for (const NamedPath& entry : kNamedPaths) {
    if (entry.name != name) continue;
    const std::u16string root = entry.root == Root::Data ? paths::data_path() : paths::program_path();
    const std::u16string folder = root + std::u16string(entry.folder);
    if (entry.create_folder) paths::make_folders(folder);
    std::u16string path = folder;
    if (entry.file == u"*") {
      path = paths::path_join(folder, driver_file_name());
    } else if (!entry.file.empty()) {
      path = paths::path_join(folder, entry.file);
    }
    if (entry.logged) _COUT(std::u16string(name) + u" : " + path);
    return path;
  }
  return u"";
}
