// The driver control library's JSON value: every document the library reads or writes (its
// configuration, admittance files, descriptor records, device documents) is one. A strict parser
// whose messages carry line and column, a compact writer with members sorted by name, and UTF-16LE
// files. Every failure is a JsonHolderException; the two file functions turn it into an error code
// and a status text.
#pragma once

#include <concepts>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "library/json/json_holder_exception.h"

namespace VostUsbWardenManager {

// The kind of a value (16-bit). Undefined is never produced by any operation.
enum class JsonHolderType : std::int16_t {
  Undefined = 0,
  Null = 1,
  Boolean = 2,
  Number = 3,
  String = 4,
  Array = 5,
  Object = 6,
};

class JsonHolder;
class Strumien;

// Elements in insertion order, each owned by the array.
using JsonArray = std::vector<JsonHolder*>;
// Members ordered by name, code unit by code unit as unsigned 16-bit values (so "DEVINST" sorts
// before "DeviceDescription"), each owned by the object.
using JsonObject = std::map<std::u16string, JsonHolder*>;

// The value slot; which member is live follows from the type.
union JsonHolderValue {
  bool flag;
  double number;
  std::u16string* text;
  JsonArray* array;
  JsonObject* object;
};

class JsonHolder {
 public:
  // null
  JsonHolder();
  // A boolean. Only a real bool qualifies: a text literal or an int must not silently become one.
  template <std::same_as<bool> Bool>
  JsonHolder(Bool flag) : type_(JsonHolderType::Boolean) {
    value_.number = 0.0;
    value_.flag = flag;
  }
  JsonHolder(double number);
  JsonHolder(const std::u16string& text);
  JsonHolder(std::u16string&& text);
  JsonHolder(const char16_t* text);
  // Arrays and objects that take ownership of newly allocated storage (null gives empty storage).
  JsonHolder(JsonArray* storage);
  JsonHolder(JsonObject* storage);

  // Deep copies. Assignment builds the copy before it lets go of the current content, so a value
  // may be assigned a part of itself.
  JsonHolder(const JsonHolder& other);
  JsonHolder& operator=(const JsonHolder& other);
  // Moves hand the tree over; the source becomes null.
  JsonHolder(JsonHolder&& other) noexcept;
  JsonHolder& operator=(JsonHolder&& other) noexcept;
  template <std::same_as<bool> Bool>
  JsonHolder& operator=(Bool flag) {
    ReleaseValue();
    type_ = JsonHolderType::Boolean;
    value_.flag = flag;
    return *this;
  }
  // Destroys the whole tree without recursion, so any depth is safe.
  virtual ~JsonHolder();

  static JsonHolder CreateObject();
  static JsonHolder CreateArray();
  JsonHolder& SetToNull();
  // A new deep copy on the heap; the caller owns it.
  JsonHolder* Clone() const;

  // --- Reading ---
  JsonHolderType GetTyp() const { return type_; }
  // The slot as it stands. A boolean has no accessor of its own: test GetTyp() for Boolean and
  // read Value().flag.
  const JsonHolderValue& Value() const { return value_; }
  // Code units of a string, elements of an array, members of an object.
  std::uint64_t Count() const;
  JsonHolder& operator[](int inx);
  const JsonHolder& operator[](int inx) const;
  bool HasField(const std::u16string& inx) const;
  // A lookup never creates a member.
  JsonHolder& operator[](const std::u16string& inx);
  const JsonHolder& operator[](const std::u16string& inx) const;
  std::u16string StringVal() const;
  double NumberVal() const;

  // --- Building: the container takes ownership of the child; when Add throws, the caller still
  // owns it. ---
  JsonHolder* Add(JsonHolder* child);
  JsonHolder* Add(const std::u16string& fieldName, JsonHolder* child);

  // --- Text and files ---
  // Compact text: no white space, members sorted by name, numbers as "%G".
  std::u16string ToString() const;
  // A quoted JSON string literal; only \ " and the five control characters b f n r t are escaped.
  static std::u16string quote(const std::u16string& text);
  // Reads the whole file of `str`; on failure `status_text` gets the message with its position and
  // `json` keeps its content.
  static bool Parse(Strumien& str, JsonHolder& json, std::u16string& status_text);
  // One step of an escape sequence: `escBuf` holds the code units after the backslash read so far.
  // True when the sequence is complete and its text was appended to `txBuf`.
  static bool EscToChar(const std::u16string& escBuf, std::u16string& txBuf, int kolumna, int linia);
  // 0, or a Windows error code with a message in `status_text` (30 for a text that does not parse).
  static std::uint32_t LoadFromFile(const std::u16string& FilePathName, JsonHolder& jh, std::u16string& status_text);
  // 0, or a Windows error code with a message in `status_text` (1100 for a short write).
  std::uint32_t SaveToFile(const std::u16string& FilePathName, std::u16string& status_text) const;
  [[noreturn]] static void ThrowJsonHolderException(const std::u16string& filename, std::uint32_t code,
                                                    const std::u16string& msg);

 private:
  friend class JsonWriter;
  friend class JsonParser;  // fills its null placeholders in place

  // Destroys the content (iteratively) and leaves null.
  void ReleaseValue() noexcept;
  // Hands the children over to `out` and frees this value's own storage; leaves null.
  void DetachChildren(std::vector<JsonHolder*>& out) noexcept;
  // Takes the type and scalar of `source`; a container becomes empty storage of its kind.
  void AssignShallow(const JsonHolder& source);
  // Fills this null value with a deep copy of `source` (iteratively).
  void CopyTree(const JsonHolder& source);
  void Swap(JsonHolder& other) noexcept;

  JsonHolderType type_;
  JsonHolderValue value_;
};

}  // namespace VostUsbWardenManager
