// Storage for the device interface class GUIDs that the SDK headers only declare (DEFINE_GUID
// defines them where INITGUID is set).
#define INITGUID
#include "platform/win32/win32_types.h"
