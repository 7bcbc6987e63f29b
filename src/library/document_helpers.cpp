#include "library/document_helpers.h"

#include <memory>

namespace VostUsbWardenManager {

void SetMember(JsonHolder& object, const std::u16string& name, JsonHolder value) {
  if (object.GetTyp() == JsonHolderType::Object && object.HasField(name)) {
    object[name] = std::move(value);
    return;
  }
  auto child = std::make_unique<JsonHolder>(std::move(value));
  object.Add(name, child.get());
  child.release();  // the object owns it now
}

void AppendElement(JsonHolder& array, JsonHolder value) {
  auto child = std::make_unique<JsonHolder>(std::move(value));
  array.Add(child.get());
  child.release();  // the array owns it now
}

}  // namespace VostUsbWardenManager
