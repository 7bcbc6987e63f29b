// The Plug and Play device tree (CM_*), device setup for the disk interface class (SetupDi*) and the
// drive calls, served from the machine file (usb_store.h).
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/sim/host.h"
#include "platform/sim/usb_store.h"
#include "text/chars.h"

namespace os {

namespace {

using sim::usb::Disk;
using sim::usb::MachineView;
using sim::usb::NodeLink;

const GUID kDiskDriveClass = {0x4d36e967, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The node of `devinst`, or CR_INVALID_DEVNODE.
CONFIGRET find_node(DEVINST devinst, std::shared_ptr<const MachineView>& view, const NodeLink*& link) {
  view = sim::usb::current_machine();
  if (!view) return CR_REGISTRY_ERROR;
  const auto found = view->nodes.find(devinst);
  if (found == view->nodes.end()) return CR_INVALID_DEVNODE;
  link = &found->second;
  return CR_SUCCESS;
}

// Every disk of the machine in enumeration order: the machine's own, then those of USB devices.
std::vector<const Disk*> all_disks(const MachineView& view) {
  std::vector<const Disk*> disks;
  for (const Disk& d : view.machine.disks) disks.push_back(&d);
  sim::usb::for_each_device(view.machine, [&](const sim::usb::Device& device, const sim::usb::PortPath&) {
    for (const Disk& d : device.disks) disks.push_back(&d);
  });
  return disks;
}

// A device information set: the disks present when it was made.
struct DeviceInfoSet {
  std::shared_ptr<const MachineView> view;
  std::vector<const Disk*> disks;
};

std::mutex sets_mutex;
std::map<HDEVINFO, std::shared_ptr<DeviceInfoSet>> sets;
std::uintptr_t next_set = 0x5E70000;

std::shared_ptr<DeviceInfoSet> find_set(HDEVINFO handle) {
  std::lock_guard<std::mutex> guard(sets_mutex);
  const auto found = sets.find(handle);
  return found == sets.end() ? nullptr : found->second;
}

BOOL fail(DWORD error) {
  os::SetLastError(error);
  return FALSE;
}

}  // namespace

CONFIGRET CM_Locate_DevNodeW(DEVINST* devinst, const char16_t* device_id, ULONG flags) {
  if (!devinst) return CR_INVALID_POINTER;
  if (flags & ~7u) return CR_INVALID_FLAG;
  const auto view = sim::usb::current_machine();
  if (!view) return CR_REGISTRY_ERROR;
  if (!device_id || !*device_id) {
    *devinst = view->root;
    return CR_SUCCESS;
  }
  for (const auto& [number, link] : view->nodes) {
    if (text::equals_nocase_az(link.node->instance_id, device_id)) {
      *devinst = number;
      return CR_SUCCESS;
    }
  }
  return CR_NO_SUCH_DEVNODE;
}

namespace {

enum class Relation { child, sibling, parent };

// The first child, the next sibling or the parent of a node; CR_NO_SUCH_DEVNODE when there is none.
CONFIGRET related_node(DEVINST* result, DEVINST devinst, ULONG flags, Relation relation) {
  if (!result) return CR_INVALID_POINTER;
  if (flags) return CR_INVALID_FLAG;
  std::shared_ptr<const MachineView> view;
  const NodeLink* link = nullptr;
  if (const CONFIGRET r = find_node(devinst, view, link)) return r;
  if (relation == Relation::child) {
    if (link->children.empty()) return CR_NO_SUCH_DEVNODE;
    *result = link->children.front();
    return CR_SUCCESS;
  }
  if (link->parent == 0) return CR_NO_SUCH_DEVNODE;
  if (relation == Relation::parent) {
    *result = link->parent;
    return CR_SUCCESS;
  }
  const std::vector<DEVINST>& siblings = view->nodes.at(link->parent).children;
  for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
    if (siblings[i] == devinst) {
      *result = siblings[i + 1];
      return CR_SUCCESS;
    }
  }
  return CR_NO_SUCH_DEVNODE;
}

}  // namespace

CONFIGRET CM_Get_Child(DEVINST* child, DEVINST devinst, ULONG flags) {
  return related_node(child, devinst, flags, Relation::child);
}

CONFIGRET CM_Get_Sibling(DEVINST* sibling, DEVINST devinst, ULONG flags) {
  return related_node(sibling, devinst, flags, Relation::sibling);
}

CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST devinst, ULONG flags) {
  return related_node(parent, devinst, flags, Relation::parent);
}

CONFIGRET CM_Get_DevNode_Registry_PropertyW(DEVINST devinst, ULONG property, ULONG* type, void* buffer, ULONG* length,
                                            ULONG flags) {
  if (!length || (!buffer && *length != 0)) return CR_INVALID_POINTER;
  if (flags) return CR_INVALID_FLAG;
  if (property < CM_DRP_MIN || property > CM_DRP_MAX) return CR_INVALID_PROPERTY;
  std::shared_ptr<const MachineView> view;
  const NodeLink* link = nullptr;
  if (const CONFIGRET r = find_node(devinst, view, link)) return r;
  const auto found = link->node->properties.find(property);
  if (found == link->node->properties.end()) {
    *length = 0;
    return CR_NO_SUCH_VALUE;
  }
  const ULONG size = static_cast<ULONG>(found->second.data.size());
  if (type) *type = found->second.type;
  if (*length < size) {
    *length = size;
    return CR_BUFFER_SMALL;
  }
  if (size) std::memcpy(buffer, found->second.data.data(), size);
  *length = size;
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_ID_Size(ULONG* length, DEVINST devinst, ULONG flags) {
  if (!length) return CR_INVALID_POINTER;
  if (flags) return CR_INVALID_FLAG;
  std::shared_ptr<const MachineView> view;
  const NodeLink* link = nullptr;
  if (const CONFIGRET r = find_node(devinst, view, link)) return r;
  *length = static_cast<ULONG>(link->node->instance_id.size());
  return CR_SUCCESS;
}

CONFIGRET CM_Get_Device_IDW(DEVINST devinst, char16_t* buffer, ULONG length, ULONG flags) {
  if (!buffer || length == 0) return CR_INVALID_POINTER;
  if (flags) return CR_INVALID_FLAG;
  std::shared_ptr<const MachineView> view;
  const NodeLink* link = nullptr;
  if (const CONFIGRET r = find_node(devinst, view, link)) return r;
  const std::u16string& id = link->node->instance_id;
  if (length < id.size()) return CR_BUFFER_SMALL;
  std::memcpy(buffer, id.data(), id.size() * sizeof(char16_t));
  if (length > id.size()) buffer[id.size()] = u'\0';  // a buffer of exactly the length gets no NUL, as on Windows
  return CR_SUCCESS;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const char16_t* enumerator, HWND, DWORD flags) {
  if (!class_guid && !(flags & DIGCF_ALLCLASSES)) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto set = std::make_shared<DeviceInfoSet>();
  set->view = sim::usb::current_machine();
  if (!set->view) {
    fail(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  // Only disks are simulated: the disk interface class, the disk drive setup class, or all classes.
  const bool disks = (flags & DIGCF_ALLCLASSES) ||
                     ((flags & DIGCF_DEVICEINTERFACE) ? *class_guid == GUID_DEVINTERFACE_DISK : *class_guid == kDiskDriveClass);
  if (disks && !(enumerator && *enumerator)) {
    for (const Disk* disk : all_disks(*set->view))
      if (disk->device_type == FILE_DEVICE_DISK) set->disks.push_back(disk);  // CD-ROMs have a class of their own
  }
  std::lock_guard<std::mutex> guard(sets_mutex);
  next_set += 0x10;
  const HDEVINFO handle = reinterpret_cast<HDEVINFO>(next_set);
  sets[handle] = set;
  os::SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, SP_DEVINFO_DATA* data) {
  const auto set = find_set(handle);
  if (!set) return fail(ERROR_INVALID_HANDLE);
  if (!data || data->cbSize != sizeof(SP_DEVINFO_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
  if (index >= set->disks.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->ClassGuid = kDiskDriveClass;
  data->DevInst = set->disks[index]->node.devinst;
  data->Reserved = index + 1;
  return TRUE;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO handle, SP_DEVINFO_DATA* device, const GUID* interface_class, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data) {
  const auto set = find_set(handle);
  if (!set) return fail(ERROR_INVALID_HANDLE);
  if (!interface_class) return fail(ERROR_INVALID_PARAMETER);
  if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
  std::vector<std::size_t> matching;  // indexes into the set's disks; each disk has one disk interface
  if (*interface_class == GUID_DEVINTERFACE_DISK) {
    for (std::size_t i = 0; i < set->disks.size(); ++i)
      if (!device || set->disks[i]->node.devinst == device->DevInst) matching.push_back(i);
  }
  if (index >= matching.size()) return fail(ERROR_NO_MORE_ITEMS);
  data->InterfaceClassGuid = GUID_DEVINTERFACE_DISK;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = matching[index] + 1;
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size, DWORD* required,
                                      SP_DEVINFO_DATA* device) {
  const auto set = find_set(handle);
  if (!set) return fail(ERROR_INVALID_HANDLE);
  if (!interface_data || interface_data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || interface_data->Reserved == 0 ||
      interface_data->Reserved > set->disks.size())
    return fail(ERROR_INVALID_PARAMETER);
  if ((!detail && detail_size) || (detail && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)))
    return fail(ERROR_INVALID_USER_BUFFER);
  if (device && device->cbSize != sizeof(SP_DEVINFO_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
  const Disk& disk = *set->disks[interface_data->Reserved - 1];
  const std::u16string path = disk.interface_path();
  constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  const DWORD needed = kPathOffset + static_cast<DWORD>((path.size() + 1) * sizeof(char16_t));
  if (required) *required = needed;
  if (detail_size < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  if (device) {
    device->ClassGuid = kDiskDriveClass;
    device->DevInst = disk.node.devinst;
    device->Reserved = interface_data->Reserved;
  }
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  std::lock_guard<std::mutex> guard(sets_mutex);
  if (sets.erase(handle) == 0) return fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

namespace {

// The drive type of a letter: the machine's volumes, then C: and Z: (always there) and the
// drive_<letter> folders of the sim root (fixed disks).
UINT drive_type_of(char16_t letter) {
  letter = static_cast<char16_t>(letter & ~0x20);
  if (letter < u'A' || letter > u'Z') return DRIVE_NO_ROOT_DIR;
  if (const auto view = sim::usb::current_machine()) {
    for (const Disk* disk : all_disks(*view))
      for (const auto& v : disk->volumes)
        if (v.letter == static_cast<char>(letter)) return v.drive_type;
  }
  if (letter == u'C' || letter == u'Z') return DRIVE_FIXED;
  struct stat st {};
  const std::string folder = sim::sim_root() + "/drive_" + static_cast<char>(letter | 0x20);
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

}  // namespace

UINT GetDriveTypeW(const char16_t* root) {
  if (!root) return drive_type_of(u'C');  // the current folder's drive
  const std::u16string_view r(root);
  const bool form = r.size() >= 2 && r[1] == u':' && (r.size() == 2 || (r.size() == 3 && (r[2] == u'\\' || r[2] == u'/')));
  return form ? drive_type_of(r[0]) : DRIVE_NO_ROOT_DIR;
}

DWORD GetLogicalDrives() {
  DWORD mask = 0;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter)
    if (drive_type_of(letter) != DRIVE_NO_ROOT_DIR) mask |= 1u << (letter - u'A');
  os::SetLastError(ERROR_SUCCESS);
  return mask;
}

}  // namespace os
