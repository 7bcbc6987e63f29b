// The link-time wrappers behind os_call_counts(): each forwards to the real os:: function and
// counts the call. The symbol names are the os:: functions' mangled names, as the linker's --wrap
// options in bench/CMakeLists.txt name them.
#include "os_call_counts.h"

#include "platform/os.h"

namespace {
OsCallCounts counts;
}  // namespace

OsCallCounts os_call_counts() { return counts; }

// WRAP(counter, mangled name, return type, (parameters), (arguments))
#define WRAP(counter, name, result, params, args) \
  extern "C" result __real_##name params;         \
  extern "C" result __wrap_##name params {        \
    ++counts.counter;                             \
    return __real_##name args;                    \
  }

WRAP(opens, _ZN2os11CreateFileWEPKDsjjP19SECURITY_ATTRIBUTESjjPv, HANDLE,
     (const char16_t* a, DWORD b, DWORD c, SECURITY_ATTRIBUTES* d, DWORD e, DWORD f, HANDLE g), (a, b, c, d, e, f, g))
WRAP(ioctls, _ZN2os15DeviceIoControlEPvjS0_jS0_jPjP10OVERLAPPED, BOOL,
     (HANDLE a, DWORD b, void* c, DWORD d, void* e, DWORD f, DWORD* g, OVERLAPPED* h), (a, b, c, d, e, f, g, h))
WRAP(cm_calls, _ZN2os18CM_Locate_DevNodeWEPjPKDsj, CONFIGRET, (DEVINST* a, const char16_t* b, ULONG c), (a, b, c))
WRAP(cm_calls, _ZN2os12CM_Get_ChildEPjjj, CONFIGRET, (DEVINST* a, DEVINST b, ULONG c), (a, b, c))
WRAP(cm_calls, _ZN2os14CM_Get_SiblingEPjjj, CONFIGRET, (DEVINST* a, DEVINST b, ULONG c), (a, b, c))
WRAP(cm_calls, _ZN2os13CM_Get_ParentEPjjj, CONFIGRET, (DEVINST* a, DEVINST b, ULONG c), (a, b, c))
WRAP(cm_calls, _ZN2os33CM_Get_DevNode_Registry_PropertyWEjjPjPvS0_j, CONFIGRET,
     (DEVINST a, ULONG b, ULONG* c, void* d, ULONG* e, ULONG f), (a, b, c, d, e, f))
WRAP(cm_calls, _ZN2os21CM_Get_Device_ID_SizeEPjjj, CONFIGRET, (ULONG* a, DEVINST b, ULONG c), (a, b, c))
WRAP(cm_calls, _ZN2os17CM_Get_Device_IDWEjPDsjj, CONFIGRET, (DEVINST a, char16_t* b, ULONG c, ULONG d), (a, b, c, d))
WRAP(setup_calls, _ZN2os20SetupDiGetClassDevsWEPK4GUIDPKDsPvj, HDEVINFO,
     (const GUID* a, const char16_t* b, HWND c, DWORD d), (a, b, c, d))
WRAP(setup_calls, _ZN2os21SetupDiEnumDeviceInfoEPvjP15SP_DEVINFO_DATA, BOOL, (HDEVINFO a, DWORD b, SP_DEVINFO_DATA* c),
     (a, b, c))
WRAP(setup_calls, _ZN2os27SetupDiEnumDeviceInterfacesEPvP15SP_DEVINFO_DATAPK4GUIDjP24SP_DEVICE_INTERFACE_DATA, BOOL,
     (HDEVINFO a, SP_DEVINFO_DATA* b, const GUID* c, DWORD d, SP_DEVICE_INTERFACE_DATA* e), (a, b, c, d, e))
WRAP(setup_calls,
     _ZN2os32SetupDiGetDeviceInterfaceDetailWEPvP24SP_DEVICE_INTERFACE_DATAPNS_33SP_DEVICE_INTERFACE_DETAIL_DATA_WEjPjP15SP_DEVINFO_DATA,
     BOOL,
     (HDEVINFO a, SP_DEVICE_INTERFACE_DATA* b, os::SP_DEVICE_INTERFACE_DETAIL_DATA_W* c, DWORD d, DWORD* e,
      SP_DEVINFO_DATA* f),
     (a, b, c, d, e, f))
WRAP(setup_calls, _ZN2os28SetupDiDestroyDeviceInfoListEPv, BOOL, (HDEVINFO a), (a))
