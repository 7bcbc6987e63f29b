// The one failure of the library's JSON value. Thrown only inside the library and caught at its
// operations' boundaries, where the message becomes a status text and the code an error code.
#pragma once

#include <cstdint>
#include <string>

namespace VostUsbWardenManager {

class JsonHolderException {
 public:
  JsonHolderException() = default;
  explicit JsonHolderException(const std::u16string& message) : message_(message) {}
  JsonHolderException(const std::u16string& message, std::int32_t code) : message_(message), code_(code) {}
  // A parse failure: the message is prefixed with the position, "Linia=<line> Kolumna=<column> ".
  JsonHolderException(int kolumna, int linia, const std::u16string& message);
  JsonHolderException(const JsonHolderException&) = default;
  JsonHolderException& operator=(const JsonHolderException&) = default;
  virtual ~JsonHolderException() = default;

  // A heap copy; the caller owns it.
  virtual JsonHolderException* Clone() const { return new JsonHolderException(*this); }

  const std::u16string& Message() const { return message_; }
  // A Windows error code for file failures, otherwise 0.
  std::int32_t Code() const { return code_; }

 private:
  std::u16string message_;
  std::int32_t code_ = 0;
};

}  // namespace VostUsbWardenManager
