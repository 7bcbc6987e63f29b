// DHManager: the handle and the queries sent to host controllers, hubs, volumes and disks.
#include "library/usb/dh_manager.h"

#include <algorithm>
#include <array>
#include <new>

#include "library/usb/raw_bytes.h"
#include "library/usb/usb_connection_info.h"
#include "text/format.h"

namespace VostUsbWardenManager {

namespace {

constexpr DWORD kNotOpen = 1167;
constexpr DWORD kAlreadyOpen = 2404;
constexpr DWORD kOutOfMemory = 8;
constexpr DWORD kInsufficientBuffer = 122;
constexpr DWORD kMoreData = 234;
constexpr DWORD kInternalError = 1359;

// Sizes of the records exchanged with the USB stack.
constexpr std::size_t kControllerNameHeader = 4;  // ActualLength
constexpr std::size_t kPortNameHeader = 8;        // ConnectionIndex, ActualLength
constexpr std::size_t kConnectionInfoSize = 35;
constexpr std::size_t kDescriptorRequestSize = 12;  // ConnectionIndex and the setup packet
constexpr std::size_t kStringRequestSize = kDescriptorRequestSize + 2 + 255;
// A name longer than this is no name the USB stack gives; it is refused as memory it will not take.
constexpr std::size_t kLongestName = 65536;
// Open pipes of one device: a device has at most 31 endpoints; more than this is a lie.
constexpr std::size_t kMostPipes = 255;

void put_dword(std::vector<std::uint8_t>& buffer, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) buffer[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void put_word(std::vector<std::uint8_t>& buffer, std::size_t at, std::uint16_t value) {
  buffer[at] = static_cast<std::uint8_t>(value);
  buffer[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A descriptor request of `size` bytes: connection index and a GET_DESCRIPTOR setup packet.
std::vector<std::uint8_t> descriptor_request(std::size_t size, int portNum, std::uint16_t value, std::uint16_t index,
                                             std::uint16_t length) {
  std::vector<std::uint8_t> buffer(size, 0);
  put_dword(buffer, 0, static_cast<std::uint32_t>(portNum));
  buffer[4] = 0x80;
  buffer[5] = USB_REQUEST_GET_DESCRIPTOR;
  put_word(buffer, 6, value);
  put_word(buffer, 8, index);
  put_word(buffer, 10, length);
  return buffer;
}

DWORD error_or_internal() {
  const DWORD code = os::GetLastError();
  return code != 0 ? code : kInternalError;
}

}  // namespace

DWORD DHManager::Open(const char16_t* filePathName, std::u16string& status_text, DWORD dwDesiredAccess,
                      DWORD dwShareMode) {
  if (handle_) {
    status_text = u"Obiekt DHManager jest aktualnie otwarty";
    return kAlreadyOpen;
  }
  handle_.reset(os::CreateFileW(filePathName, dwDesiredAccess, dwShareMode, nullptr, OPEN_EXISTING, 0, nullptr));
  if (handle_) return 0;
  const DWORD code = os::GetLastError();
  status_text = u"Nie udało się utworzyć uchwytu do urządzenia: " + std::u16string(filePathName ? filePathName : u"");
  return code;
}

DWORD DHManager::Close() {
  handle_.reset();
  return 0;
}

bool DHManager::Ask(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD& returned) {
  returned = 0;
  return os::DeviceIoControl(handle_.get(), code, in, in_size, out, out_size, &returned, nullptr) != FALSE;
}

DHManager::NameAnswer DHManager::AskName(DWORD code, int portNum, std::u16string& name) {
  const bool port_query = code == IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME || code == IOCTL_USB_GET_NODE_CONNECTION_NAME;
  const std::size_t header = port_query ? kPortNameHeader : kControllerNameHeader;
  std::vector<std::uint8_t> shortRecord(header + 2, 0);
  if (port_query) put_dword(shortRecord, 0, static_cast<std::uint32_t>(portNum));
  DWORD returned = 0;
  if (!Ask(code, port_query ? shortRecord.data() : nullptr, port_query ? static_cast<DWORD>(shortRecord.size()) : 0,
           shortRecord.data(), static_cast<DWORD>(shortRecord.size()), returned)) {
    return {NameStep::First, os::GetLastError()};
  }
  const std::size_t actual = dword_at(shortRecord, port_query ? 4 : 0);
  if (actual > kLongestName) return {NameStep::Memory, kOutOfMemory};
  std::vector<std::uint8_t> full;
  try {
    full.assign(std::max(actual, header + 2), 0);
  } catch (const std::bad_alloc&) {
    return {NameStep::Memory, kOutOfMemory};
  }
  if (port_query) put_dword(full, 0, static_cast<std::uint32_t>(portNum));
  if (!Ask(code, port_query ? full.data() : nullptr, port_query ? static_cast<DWORD>(full.size()) : 0, full.data(),
           static_cast<DWORD>(full.size()), returned)) {
    return {NameStep::Second, os::GetLastError()};
  }
  name = utf16_up_to_nul(bytes_from(RawBytes(full), header));
  return {NameStep::Done, 0};
}

DWORD DHManager::GetHcdDriverKeyName(std::u16string& DriverKeyName, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetHcdDriverKeyName: połączenie nie otwarte";
    return kNotOpen;
  }
  const NameAnswer answer = AskName(IOCTL_GET_HCD_DRIVERKEY_NAME, 0, DriverKeyName);
  if (answer.step == NameStep::Memory) {
    status_text = u"GetHcdDriverKeyName: Brak pamięci do pobrania HCD_DRIVERKEY_NAME";
  } else if (answer.step != NameStep::Done) {
    status_text = u"GetHcdDriverKeyName: Nie udało się wykonać operacji: IOCTL_GET_HCD_DRIVERKEY_NAME";
  }
  return answer.code;
}

DWORD DHManager::GetRootHubNameForHost(std::u16string& RootHubName, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetRootHubNameForHost: połączenie nie otwarte";
    return kNotOpen;
  }
  const NameAnswer answer = AskName(IOCTL_USB_GET_ROOT_HUB_NAME, 0, RootHubName);
  if (answer.step != NameStep::Done) {
    status_text = u"GetRootHubName: Nie udało wykonać operacji: IOCTL_USB_GET_ROOT_HUB_NAME";
  }
  return answer.code;
}

DWORD DHManager::GetConnectionDriverKeyName(int portNum, std::u16string& DriverKeyName, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetConnectionDriverKeyName: połączenie nie otwarte";
    return kNotOpen;
  }
  const NameAnswer answer = AskName(IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME, portNum, DriverKeyName);
  if (answer.step == NameStep::Memory) {
    status_text = u"GetConnectionDriverKeyName: Brak pamięci dla CONNECTION_DRIVERKEY_NAME";
  } else if (answer.step != NameStep::Done) {
    status_text =
        u"GetConnectionDriverKeyName: Nie udało się wykonać operacji: IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME";
  }
  return answer.code;
}

DWORD DHManager::GetConnectionName(int portNum, std::u16string& ConnectionName, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetConnectionName: połączenie nie otwarte";
    return kNotOpen;
  }
  const NameAnswer answer = AskName(IOCTL_USB_GET_NODE_CONNECTION_NAME, portNum, ConnectionName);
  if (answer.step == NameStep::First) {
    status_text = u"GetConnectionName: Nie udało wykonać operacji: IOCTL_USB_GET_NODE_CONNECTION_NAME";
  } else if (answer.step != NameStep::Done) {
    status_text = text::format(u"GetConnectionName: Nie udało się pobrać NODE_CONNECTION_NAME err=0x%08X%c",
                               answer.code, char16_t(0));
  }
  return answer.code;
}

DWORD DHManager::GetNodeInfoForHub(USB_NODE_INFORMATION& info, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetNodeInfoForHub: połączenie nie otwarte";
    return kNotOpen;
  }
  static_assert(sizeof(USB_NODE_INFORMATION) == 76);
  USB_NODE_INFORMATION asked{};
  asked.NodeType = UsbHub;
  DWORD returned = 0;
  if (!Ask(IOCTL_USB_GET_NODE_INFORMATION, &asked, sizeof asked, &asked, sizeof asked, returned)) {
    const DWORD code = os::GetLastError();
    status_text = *text::vformat(u"GetNodeInfoForHub: Nie udane pobranie informacji o węźle, err=0x%08X%c",
                                 {code, char16_t(0)}, 200);
    return code;
  }
  info = asked;
  return 0;
}

DWORD DHManager::GetConnectionInfo(const DeviceInstancesMap& mapa, int portNum, UsbNodeConnectionInformationEx& info,
                                   std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetConnectionInfo: połączenie nie otwarte";
    return kNotOpen;
  }
  std::size_t pipes = 3;
  for (;;) {
    std::vector<std::uint8_t> buffer(kConnectionInfoSize + UsbPipeInfo::kEntrySize * pipes, 0);
    put_dword(buffer, 0, static_cast<std::uint32_t>(portNum));
    DWORD returned = 0;
    const bool ok = Ask(IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, buffer.data(), static_cast<DWORD>(buffer.size()),
                        buffer.data(), static_cast<DWORD>(buffer.size()), returned);
    const DWORD code = ok ? 0 : os::GetLastError();
    const std::size_t reported = dword_at(buffer, 27);
    if ((ok || code == kInsufficientBuffer || code == kMoreData) && reported > pipes && reported <= kMostPipes) {
      pipes = reported;
      continue;
    }
    if (!ok) {
      status_text =
          u"GetConnectionInfo: Nie udało się wykonać operacji:\r\nIOCTL_USB_GET_NODE_CONNECTION_INFORMATION\r\nstatus=0x" +
          *text::vformat(u"%08X pipes=%lu portNum=%d%c", {code, static_cast<unsigned long>(pipes), portNum, char16_t(0)},
                         300);
      return code;
    }
    const RawBytes whole(buffer);
    info.assign(whole.first(kConnectionInfoSize), whole.subspan(kConnectionInfoSize), *this);
    const DWORD result = info.CompleteFileInfo(mapa, *this, status_text);
    info.CompleteStrings(*this);
    return result;
  }
}

DWORD DHManager::GetConnectionStringDescriptor(int portNum, int inx, std::uint16_t langID, std::u16string& wynik,
                                               std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetConnectionStringDescriptor: połączenie nie otwarte";
    return kNotOpen;
  }
  std::vector<std::uint8_t> buffer = descriptor_request(
      kStringRequestSize, portNum, static_cast<std::uint16_t>(0x0300 | (inx & 0xFF)), langID, 257);
  buffer[kDescriptorRequestSize] = 255;
  buffer[kDescriptorRequestSize + 1] = USB_STRING_DESCRIPTOR_TYPE;
  DWORD returned = 0;
  const bool ok = Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(), static_cast<DWORD>(buffer.size()),
                      buffer.data(), static_cast<DWORD>(buffer.size()), returned);
  const std::size_t length = buffer[kDescriptorRequestSize];
  const char16_t* problem = nullptr;
  if (!ok) {
    problem = u"GetConnectionStringDescriptor: Błąd przy pobieraniu deskryptora tekstowego nr %d, err=0x%08X%c";
  } else if (returned < 16) {
    problem = u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr %d\r\nzwrócono bufor za mały by pomieścić jakikolwiek string%c";
  } else if (buffer[kDescriptorRequestSize + 1] != USB_STRING_DESCRIPTOR_TYPE) {
    problem = u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr %d\r\nzwrócono deskryptor niewłaściwego typu%c";
  } else if (returned < kDescriptorRequestSize + length) {
    problem = u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr %d\r\nrozmiar zwróconego bufora jest za mały w stosunku do rozmiaru tekstu%c";
  } else if (length % 2 != 0) {
    problem = u"GetConnectionStringDescriptor: Przy pobieraniu deskryptora tekstowego nr %d\r\nrozmiar zwróconego tekstu nie jest wielokrotnością rozmiaru znaku%c";
  }
  if (problem != nullptr) {
    const DWORD code = error_or_internal();
    const auto message = ok ? text::vformat(problem, {inx, char16_t(0)}, 200)
                            : text::vformat(problem, {inx, code, char16_t(0)}, 200);
    status_text = message.value_or(u"");
    return code;
  }
  const RawBytes descriptor = RawBytes(buffer).subspan(kDescriptorRequestSize, length);
  wynik = utf16_up_to_nul(bytes_from(descriptor, 2));
  return 0;
}

DWORD DHManager::GetConnectionStringDescriptor(int portNum, int inx, std::u16string& wynik,
                                               std::u16string& status_text) {
  static constexpr std::array<std::uint16_t, 3> kLanguages = {0x0409, 0x0000, 0x0001};
  std::u16string first_message;
  DWORD code = 0;
  for (std::size_t i = 0; i < kLanguages.size(); ++i) {
    std::u16string text;
    std::u16string message;
    code = GetConnectionStringDescriptor(portNum, inx, kLanguages[i], text, message);
    if (code == 0 && !text.empty()) {
      wynik = text;
      return 0;
    }
    if (i == 0) first_message = message;
  }
  status_text = first_message;
  return code;
}

DWORD DHManager::GetConnectionConfigDescriptor(int portNum, int inx, UsbConfigurationDescriptor& cfg,
                                               std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetConnectionConfigDescriptor: połączenie nie otwarte";
    return kNotOpen;
  }
  const auto value = static_cast<std::uint16_t>(0x0200 | (inx & 0xFF));
  const auto fail = [&status_text] {
    const DWORD code = os::GetLastError();
    status_text = *text::vformat(u"GetConnectionConfDescriptor: Nie udało się pobrać deskryptora, err=0x%08X%c",
                                 {code, char16_t(0)}, 200);
    return code;
  };
  std::vector<std::uint8_t> header = descriptor_request(
      kDescriptorRequestSize + UsbConfigurationDescriptor::kHeaderSize, portNum, value, 0,
      static_cast<std::uint16_t>(UsbConfigurationDescriptor::kHeaderSize));
  DWORD returned = 0;
  if (!Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, header.data(), static_cast<DWORD>(header.size()),
           header.data(), static_cast<DWORD>(header.size()), returned)) {
    return fail();
  }
  const std::uint16_t total = word_at(header, kDescriptorRequestSize + 2);
  std::vector<std::uint8_t> full = descriptor_request(kDescriptorRequestSize + total, portNum, value, 0, total);
  if (!Ask(IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, full.data(), static_cast<DWORD>(full.size()), full.data(),
           static_cast<DWORD>(full.size()), returned)) {
    return fail();
  }
  // Only the bytes the device gave count; a descriptor shorter than its header keeps the header
  // of the first answer.
  const RawBytes data = first_bytes(bytes_from(RawBytes(full), kDescriptorRequestSize),
                                    returned > kDescriptorRequestSize ? returned - kDescriptorRequestSize : 0);
  const RawBytes first_header = first_bytes(bytes_from(RawBytes(header), kDescriptorRequestSize),
                                            UsbConfigurationDescriptor::kHeaderSize);
  UsbConfigurationDescriptor read;
  read.assign(data.size() >= UsbConfigurationDescriptor::kHeaderSize ? data : first_header,
              bytes_from(data, UsbConfigurationDescriptor::kHeaderSize));
  read.CompleteStrings(*this, portNum);
  cfg = read;
  return 0;
}

DWORD DHManager::GetStorageDeviceNumber(STORAGE_DEVICE_NUMBER& sdn, std::u16string& status_text) {
  if (!handle_) {
    status_text = u"GetStorageDeviceNumber: połączenie nie otwarte";
    return kNotOpen;
  }
  DWORD returned = 0;
  if (Ask(IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &sdn, sizeof sdn, returned)) return 0;
  const DWORD code = os::GetLastError();
  if (code != 0) status_text = u"Nieudane pobranie numeru urządzenia";
  return code;
}

}  // namespace VostUsbWardenManager
