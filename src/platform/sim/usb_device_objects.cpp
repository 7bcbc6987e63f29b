#include "platform/sim/usb_device_objects.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/sim/usb_store.h"
#include "text/chars.h"

namespace os::sim::usb {

namespace {

BOOL failed(DWORD error) {
  os::SetLastError(error);
  return FALSE;
}

BOOL done(DWORD* returned, DWORD bytes) {
  *returned = bytes;
  return TRUE;
}

// A name record: [connection index,] ActualLength, then the name. The short query (a record of the
// bare size) learns the full length; the name is copied only when it fits with its NUL.
BOOL answer_name(std::u16string_view name, DWORD header, const void* in, DWORD in_size, void* out, DWORD out_size,
                 DWORD* returned) {
  const DWORD record = header + sizeof(char16_t);
  if (out_size < record || (header == 8 && in_size < 4)) return failed(ERROR_INSUFFICIENT_BUFFER);
  ULONG index = 0;
  if (header == 8) std::memcpy(&index, in, 4);
  const ULONG actual = header + static_cast<ULONG>((name.size() + 1) * sizeof(char16_t));
  auto* bytes = static_cast<std::uint8_t*>(out);
  std::memset(bytes, 0, record);
  if (header == 8) std::memcpy(bytes, &index, 4);
  std::memcpy(bytes + header - 4, &actual, 4);
  if (out_size < actual) return done(returned, record);
  std::memcpy(bytes + header, name.data(), name.size() * sizeof(char16_t));
  std::memset(bytes + header + name.size() * sizeof(char16_t), 0, sizeof(char16_t));
  return done(returned, actual);
}

// The driver key name of a node, up to its NUL; nothing when the node has none.
std::optional<std::u16string> driver_key(const DevNode& node) {
  const auto found = node.properties.find(CM_DRP_DRIVER);
  if (found == node.properties.end()) return std::nullopt;
  std::u16string key(found->second.data.size() / 2, u'\0');
  std::memcpy(key.data(), found->second.data.data(), key.size() * 2);
  return key.substr(0, key.find(u'\0'));
}

bool equals_nocase(std::u16string_view a, std::u16string_view b) { return text::equals_nocase_az(a, b); }

// What a device name leads to in one state of the machine.
struct Target {
  const Controller* controller = nullptr;
  const Hub* hub = nullptr;
  bool root_hub = false;
  const Device* hub_device = nullptr;  // the external hub's device (its open fault)
  const Disk* disk = nullptr;
  const Volume* volume = nullptr;      // with `disk`, for "X:"
  ULONG partition = 0;
  bool found() const { return controller || hub || disk; }
};

Target find_target(const MachineView& view, std::u16string_view name);

// An open device of the machine. The name is looked up again whenever the machine file has changed
// since the last request, so handles see plugging and unplugging as Windows' handles do; a device
// that has gone answers ERROR_DEVICE_NOT_CONNECTED.
class MachineObject : public DeviceObject {
 public:
  BOOL control(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) final {
    std::shared_ptr<const MachineView> view;  // keeps the target alive while it is answered from
    Target target;
    {
      std::shared_ptr<const MachineView> now = current_machine();
      std::lock_guard<std::mutex> guard(mutex_);  // one handle may serve several threads
      if (now && now != view_) {
        view_ = std::move(now);
        target_ = find_target(*view_, name_);
      }
      view = view_;
      target = target_;
    }
    if (!target.found()) return failed(ERROR_DEVICE_NOT_CONNECTED);
    return answer(target, code, in, in_size, out, out_size, returned);
  }

 public:
  MachineObject(std::shared_ptr<const MachineView> view, std::u16string_view name, const Target& target)
      : view_(std::move(view)), name_(name), target_(target) {}

 protected:
  virtual BOOL answer(const Target& t, DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
                      DWORD* returned) = 0;

 private:
  std::mutex mutex_;
  std::shared_ptr<const MachineView> view_;
  std::u16string name_;
  Target target_;
};

class ControllerObject final : public MachineObject {
 public:
  using MachineObject::MachineObject;

 protected:
  BOOL answer(const Target& t, DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
              DWORD* returned) override {
    const Controller& c = *t.controller;
    if (code == IOCTL_GET_HCD_DRIVERKEY_NAME) {
      const std::optional<std::u16string> key = driver_key(c.node);
      if (!key) return failed(ERROR_INVALID_PARAMETER);
      return answer_name(*key, 4, in, in_size, out, out_size, returned);
    }
    if (code == IOCTL_USB_GET_ROOT_HUB_NAME) return answer_name(c.root_hub.name, 4, in, in_size, out, out_size, returned);
    return failed(ERROR_INVALID_FUNCTION);
  }
};

class HubObject final : public MachineObject {
 public:
  using MachineObject::MachineObject;

 protected:
  BOOL answer(const Target& t, DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
              DWORD* returned) override {
    const Hub& hub = *t.hub;
    if (code == IOCTL_USB_GET_NODE_INFORMATION) return node_information(hub, t.root_hub, out, out_size, returned);
    const bool port_query = code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX ||
                            code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION ||
                            code == IOCTL_USB_GET_NODE_CONNECTION_NAME ||
                            code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME ||
                            code == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION;
    if (!port_query) return failed(ERROR_INVALID_FUNCTION);
    if (in_size < 4) return failed(ERROR_INSUFFICIENT_BUFFER);
    ULONG port = 0;
    std::memcpy(&port, in, 4);
    if (port == 0 || port > hub.ports.size()) return failed(ERROR_INVALID_PARAMETER);
    const Device* device = hub.ports[port - 1].get();
    if (code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX || code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION)
      return connection_information(code, port, device, out, out_size, returned);
    if (!device || device->faults.connection_status != DeviceConnected) return failed(ERROR_DEVICE_NOT_CONNECTED);
    if (code == IOCTL_USB_GET_NODE_CONNECTION_NAME)
      return answer_name(device->hub ? device->hub->name : std::u16string(), 8, in, in_size, out, out_size, returned);
    if (code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME) {
      if (device->faults.driver_key_error) return failed(device->faults.driver_key_error);
      const std::optional<std::u16string> key = driver_key(device->node);
      if (!key) return failed(ERROR_INVALID_PARAMETER);
      return answer_name(*key, 8, in, in_size, out, out_size, returned);
    }
    return descriptor(*device, in, in_size, out, out_size, returned);
  }

 private:
  static BOOL node_information(const Hub& hub, bool root, void* out, DWORD out_size, DWORD* returned) {
    if (out_size < sizeof(USB_NODE_INFORMATION)) return failed(ERROR_INSUFFICIENT_BUFFER);
    USB_NODE_INFORMATION info{};
    info.NodeType = UsbHub;
    USB_HUB_DESCRIPTOR& d = info.u.HubInformation.HubDescriptor;
    const unsigned ports = static_cast<unsigned>(hub.ports.size());
    d.bDescriptorLength = static_cast<UCHAR>(7 + 2 * ((ports + 8) / 8));
    d.bDescriptorType = 0x29;
    d.bNumberOfPorts = static_cast<UCHAR>(ports);
    d.wHubCharacteristics = root ? 0x0009 : 0x00E0;
    d.bPowerOnToPowerGood = 50;
    d.bHubControlCurrent = 100;
    info.u.HubInformation.HubIsBusPowered = hub.bus_powered ? 1 : 0;
    std::memcpy(out, &info, sizeof info);
    return done(returned, sizeof info);
  }

  static BOOL connection_information(DWORD code, ULONG port, const Device* device, void* out, DWORD out_size, DWORD* returned) {
    constexpr DWORD kFixed = sizeof(USB_NODE_CONNECTION_INFORMATION_EX);
    if (out_size < kFixed) return failed(ERROR_INSUFFICIENT_BUFFER);
    USB_NODE_CONNECTION_INFORMATION_EX info{};
    info.ConnectionIndex = port;
    info.ConnectionStatus = NoDeviceConnected;
    std::vector<USB_PIPE_INFO> pipes;
    if (device) {
      info.ConnectionStatus = static_cast<USB_CONNECTION_STATUS>(device->faults.connection_status);
      if (device->faults.connection_status == DeviceConnected) {
        std::memcpy(&info.DeviceDescriptor, device->device_descriptor.data(),
                    std::min<std::size_t>(device->device_descriptor.size(), sizeof info.DeviceDescriptor));
        info.CurrentConfigurationValue = device->current_configuration;
        // The older request has LowSpeed where the newer one has Speed.
        info.Speed = code == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION ? (device->speed == UsbLowSpeed) : device->speed;
        info.DeviceIsHub = device->hub ? 1 : 0;
        info.DeviceAddress = device->address;
        pipes = device->pipes();
        info.NumberOfOpenPipes = static_cast<ULONG>(pipes.size());
      }
    }
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::memcpy(bytes, &info, kFixed);
    const std::size_t fit = std::min<std::size_t>(pipes.size(), (out_size - kFixed) / sizeof(USB_PIPE_INFO));
    if (fit) std::memcpy(bytes + kFixed, pipes.data(), fit * sizeof(USB_PIPE_INFO));
    *returned = static_cast<DWORD>(kFixed + fit * sizeof(USB_PIPE_INFO));
    // The fixed part and the pipes that fit arrive, with the real pipe count (buffer overflow).
    if (fit < pipes.size()) return failed(ERROR_MORE_DATA);
    return TRUE;
  }

  static BOOL descriptor(const Device& device, const void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
    constexpr DWORD kHeader = sizeof(USB_DESCRIPTOR_REQUEST);
    if (in_size < kHeader || out_size < kHeader) return failed(ERROR_INSUFFICIENT_BUFFER);
    USB_DESCRIPTOR_REQUEST request;
    std::memcpy(&request, in, kHeader);
    if (request.SetupPacket.bmRequest != 0x80 || request.SetupPacket.bRequest != USB_REQUEST_GET_DESCRIPTOR)
      return failed(ERROR_GEN_FAILURE);  // the device stalls what it does not know
    const BYTE type = static_cast<BYTE>(request.SetupPacket.wValue >> 8);
    const BYTE index = static_cast<BYTE>(request.SetupPacket.wValue & 0xFF);
    const Bytes* found = nullptr;
    if (type == USB_DEVICE_DESCRIPTOR_TYPE) {
      found = &device.device_descriptor;
    } else if (type == USB_CONFIGURATION_DESCRIPTOR_TYPE) {
      if (index < device.configurations.size() && !device.faults.configuration_errors.count(index))
        found = &device.configurations[index];
    } else if (type == USB_STRING_DESCRIPTOR_TYPE) {
      const WORD language = index == 0 ? 0 : request.SetupPacket.wIndex;
      const auto s = device.strings.find({language, index});
      if (s != device.strings.end() && !device.faults.string_errors.count({request.SetupPacket.wIndex, index})) found = &s->second;
    }
    if (!found) return failed(ERROR_GEN_FAILURE);
    const std::size_t length = std::min<std::size_t>({found->size(), request.SetupPacket.wLength, out_size - kHeader});
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::memmove(bytes, &request, kHeader);
    if (length) std::memcpy(bytes + kHeader, found->data(), length);
    return done(returned, static_cast<DWORD>(kHeader + length));
  }
};

// A volume ("\\.\E:") or a disk (its interface path), opened with the access rights asked for.
// Requests that Windows checks against the handle's rights are refused without them; a lock is
// the handle's own and ends with it. Ejecting the media takes the drive letters of all the disk's
// volumes away and is recorded in the machine file.
class StorageObject final : public MachineObject {
 public:
  StorageObject(std::shared_ptr<const MachineView> view, std::u16string_view name, const Target& target, DWORD access)
      : MachineObject(std::move(view), name, target), access_(access) {}

 protected:
  BOOL answer(const Target& t, DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
              DWORD* returned) override {
    const Disk& disk = *t.disk;
    const Volume* volume = t.volume;
    if (!allowed(code)) return failed(ERROR_ACCESS_DENIED);
    switch (code) {
      case IOCTL_STORAGE_GET_DEVICE_NUMBER: {
        if (out_size < sizeof(STORAGE_DEVICE_NUMBER)) return failed(ERROR_INSUFFICIENT_BUFFER);
        const STORAGE_DEVICE_NUMBER number{disk.device_type, disk.device_number, t.partition};
        std::memcpy(out, &number, sizeof number);
        return done(returned, sizeof number);
      }
      case FSCTL_LOCK_VOLUME:
        if (!volume) return failed(ERROR_INVALID_PARAMETER);
        if (!lock(volume->letter)) return failed(ERROR_ACCESS_DENIED);
        locked_ = true;
        return done(returned, 0);
      case FSCTL_UNLOCK_VOLUME:
        if (!volume) return failed(ERROR_INVALID_PARAMETER);
        if (!locked_) return failed(ERROR_NOT_LOCKED);
        locked_ = false;
        return done(returned, 0);
      case FSCTL_DISMOUNT_VOLUME:
        if (!volume) return failed(ERROR_INVALID_PARAMETER);
        if (volume->dismount_error) return failed(volume->dismount_error);
        return done(returned, 0);
      case IOCTL_STORAGE_MEDIA_REMOVAL:
        if (in_size < sizeof(PREVENT_MEDIA_REMOVAL) || !in) return failed(ERROR_INVALID_PARAMETER);
        return done(returned, 0);
      case IOCTL_STORAGE_EJECT_MEDIA:
        if (volume && volume->eject_error) return failed(volume->eject_error);
        eject(disk.node.devinst);
        return done(returned, 0);
      default:
        return failed(ERROR_INVALID_FUNCTION);
    }
  }

 private:
  // The rights a request needs: the access bits of its control code (FILE_READ_ACCESS,
  // FILE_WRITE_ACCESS); a volume lock or dismount needs the volume opened for reading or writing.
  bool allowed(DWORD code) const {
    const bool reads = access_ & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    const bool writes = access_ & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    if (code == FSCTL_LOCK_VOLUME || code == FSCTL_DISMOUNT_VOLUME) return reads || writes;
    const DWORD needed = (code >> 14) & 3;
    return (!(needed & 1) || reads) && (!(needed & 2) || writes);
  }

  // Visits every disk of the stored machine, USB devices' and the machine's own.
  static void for_each_stored_disk(Machine& machine, const std::function<void(Disk&)>& visit) {
    for (Disk& d : machine.disks) visit(d);
    std::function<void(Hub&)> hub = [&](Hub& h) {
      for (auto& device : h.ports) {
        if (!device) continue;
        for (Disk& d : device->disks) visit(d);
        if (device->hub) hub(*device->hub);
      }
    };
    for (Controller& c : machine.controllers) hub(c.root_hub);
  }

  // Takes one from the volume's stored count of lock failures; false while one was left.
  static bool lock(char letter) {
    bool refused = false;
    change_machine([&](Machine& machine) {
      for_each_stored_disk(machine, [&](Disk& d) {
        for (Volume& v : d.volumes)
          if (v.letter == letter && !v.ejected && v.lock_failures > 0) --v.lock_failures, refused = true;
      });
      return refused;
    });
    return !refused;
  }

  static void eject(DEVINST disk) {
    change_machine([&](Machine& machine) {
      bool changed = false;
      for_each_stored_disk(machine, [&](Disk& d) {
        if (d.node.devinst != disk) return;
        for (Volume& v : d.volumes) changed |= !v.ejected, v.ejected = true;
      });
      return changed;
    });
  }

  const DWORD access_;
  std::atomic<bool> locked_{false};
};

// A disk by its interface path (after "\\?\"), or a volume by "X:".
bool find_storage(const std::vector<Disk>& disks, std::u16string_view name, Target& t) {
  for (const Disk& disk : disks) {
    const std::u16string path = disk.interface_path();
    if (equals_nocase(std::u16string_view(path).substr(4), name)) {
      t.disk = &disk;
      return true;
    }
    for (std::size_t i = 0; i < disk.volumes.size(); ++i) {
      const char16_t letter = static_cast<char16_t>(disk.volumes[i].letter);
      if (name.size() == 2 && name[1] == u':' && text::lower_az(name[0]) == text::lower_az(letter)) {
        t.disk = &disk;
        t.volume = &disk.volumes[i];
        t.partition = static_cast<ULONG>(i + 1);
        return true;
      }
    }
  }
  return false;
}

bool find_in_hub(const Hub& hub, std::u16string_view name, Target& t) {
  for (const auto& device : hub.ports) {
    if (!device) continue;
    if (device->hub && device->faults.connection_status == DeviceConnected && equals_nocase(device->hub->name, name)) {
      t.hub = device->hub.get();
      t.hub_device = device.get();
      return true;
    }
    if (find_storage(device->disks, name, t)) return true;
    if (device->hub && find_in_hub(*device->hub, name, t)) return true;
  }
  return false;
}

Target find_target(const MachineView& view, std::u16string_view name) {
  Target t;
  const Machine& m = view.machine;
  if (name.size() > 3 && name.size() <= 6 && equals_nocase(name.substr(0, 3), u"HCD") &&
      name.substr(3).find_first_not_of(u"0123456789") == std::u16string_view::npos) {
    int index = 0;
    for (char16_t c : name.substr(3)) index = index * 10 + (c - u'0');
    for (const Controller& c : m.controllers)
      if (c.index == index) t.controller = &c;
    return t;
  }
  for (const Controller& c : m.controllers) {
    if (equals_nocase(c.root_hub.name, name)) {
      t.hub = &c.root_hub;
      t.root_hub = true;
      return t;
    }
    if (find_in_hub(c.root_hub, name, t)) return t;
  }
  find_storage(m.disks, name, t);
  return t;
}

}  // namespace

std::optional<DeviceOpen> open_usb_device(std::u16string_view name, DWORD access) {
  std::shared_ptr<const MachineView> view = current_machine();
  if (!view) return std::nullopt;
  const Target t = find_target(*view, name);
  if (t.controller) return DeviceOpen{std::make_shared<ControllerObject>(view, name, t), ERROR_SUCCESS};
  if (t.hub) {
    if (t.hub_device && t.hub_device->faults.open_error) return DeviceOpen{nullptr, t.hub_device->faults.open_error};
    return DeviceOpen{std::make_shared<HubObject>(view, name, t), ERROR_SUCCESS};
  }
  if (t.disk) return DeviceOpen{std::make_shared<StorageObject>(view, name, t, access), ERROR_SUCCESS};
  return std::nullopt;
}

}  // namespace os::sim::usb
