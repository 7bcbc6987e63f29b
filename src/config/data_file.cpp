#include "config/data_file.h"

#include <memory>
#include <new>
#include <vector>

#include "config/scramble.h"
#include "platform/handle.h"
#include "platform/os.h"

const std::uint8_t* CDataFile::read(const std::u16string& file) {
  path = file;
  decoded.clear();
  bytes.Clear();
  scrambled = 0;

  os::unique_fd fd;
  if (os::_wsopen_s(fd.put(), file.c_str(), _O_BINARY | _O_RDONLY, _SH_DENYNO, _S_IREAD) != 0 || !fd) return nullptr;
  const long length = os::_filelength(fd.get());
  if (length <= 0 || static_cast<unsigned long>(length) > 0x7FFFFFF0ul) return nullptr;

  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
  if (!buffer) return nullptr;
  const int got = os::_read(fd.get(), buffer.get(), static_cast<unsigned>(length));
  if (got <= 0) return nullptr;
  fd.reset();

  std::uint32_t size = static_cast<std::uint32_t>(got);
  std::uint8_t* data = buffer.get();
  if (scramble::has_mark(data, size)) {
    data += scramble::kMark.size();
    size -= static_cast<std::uint32_t>(scramble::kMark.size());
    scramble::apply_key_stream(data, size);
    scrambled = 1;
  }
  if (!bytes.Assign(data, size)) return nullptr;
  return bytes.data();
}

std::u16string CDataFile::text() {
  if (!decoded.empty() || bytes.size() == 0) return decoded;
  std::vector<std::uint8_t> copy(bytes.data(), bytes.data() + bytes.size());
  std::size_t start = 0;
  if (copy.size() > 2 && copy[0] == 0xFF && copy[1] == 0xFE) start = 2;
  copy.insert(copy.end(), 4, 0);  // terminators for either width

  if (copy[start + 1] != 0) {
    const char* narrow = reinterpret_cast<const char*>(copy.data() + start);
    const int wanted = os::MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    if (wanted <= 1) return decoded;
    std::u16string wide(static_cast<std::size_t>(wanted), u'\0');
    const int made = os::MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide.data(), wanted);
    wide.resize(made > 0 ? static_cast<std::size_t>(made - 1) : 0);
    decoded = wide;
  } else {
    for (std::size_t i = start; i + 1 < copy.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(copy[i] | (copy[i + 1] << 8));
      if (c == 0) break;
      decoded += c;
    }
  }
  return decoded;
}
