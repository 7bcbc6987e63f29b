// Kernel-driver images of the simulated machine. An image is a small text file:
//
//   vostusb-sim kernel driver image
//   driver: NAME
//
// where NAME is a driver the daemon emulates ("VostUsb"). The build writes vostusb.sys and
// vostusb10.sys in this form.
#pragma once

#include <string>

#include "platform/os.h"

namespace machined {

inline constexpr const char* kImageFirstLine = "vostusb-sim kernel driver image";
inline constexpr const char* kVostUsbDriver = "VostUsb";

// The file an ImagePath names, as the kernel reads it: "\??\" dropped, "\SystemRoot\" and a path
// without a drive (such as "System32\drivers\x.sys") below C:\Windows. A Linux path.
std::string driver_image_file(std::u16string_view image_path);

// The driver an image file stands for: ERROR_SUCCESS with `driver` set; ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND when it is missing; ERROR_BAD_EXE_FORMAT when it is not a known driver's
// image.
DWORD identify_driver_image(const std::string& file, std::string& driver);

}  // namespace machined
