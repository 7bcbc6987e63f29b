// The operating system as the product sees it: the subset of Win32 (and of the Windows C run-time)
// that the system uses, with Win32's names, types, constants, error codes and documented semantics,
// taking UTF-16 text as char16_t. Two implementations: src/platform/win32 forwards to the real API;
// src/platform/sim implements the same calls on Linux against the simulated host, whose state lives
// under the sim root (VOSTUSB_SIM_ROOT, by default $HOME/.vostusb-sim).
//
// The last-error value is per thread. Structures that carry text (find data, process entries, shell
// execute information) are declared in namespace os with char16_t text on both builds; the others
// are the SDK's own on Windows.
//
// What the simulated host reproduces, and what it does not, per area:
// - Files: paths as in Wine (Z:\ is the Linux root, C:\ is <sim root>/drive_c/, other letters
//   <sim root>/drive_<letter>/; "\" and "/" both separate). Names are case-sensitive (Linux), except
//   in file search. Share modes are not enforced. FILE_ATTRIBUTE_READONLY is a file without write
//   permission bits; it refuses writers and deletion as on Windows, even to root. Folders never
//   carry it (Windows ignores it on them). Attributes are DIRECTORY or ARCHIVE (+ READONLY). No
//   folder handles, no overlapped disk files (ERROR_NOT_SUPPORTED), no delete-at-restart. C run-time
//   descriptors are always untranslated (_O_BINARY). File search matches "*" and "?" without case,
//   "*.*" as "*"; no short names; entries come sorted without case, "." and ".." first outside a
//   drive's root. Device names ("\\.\...") other than pipes belong to the simulated device families
//   (src/platform/sim/devices.h); a name no family knows gives ERROR_FILE_NOT_FOUND.
// - DeviceIoControl: on device handles only (others: ERROR_INVALID_FUNCTION); requests complete at
//   once, so an OVERLAPPED structure is refused with ERROR_NOT_SUPPORTED.
// - USB hardware: host controllers ("\\.\HCD<n>"), hubs, devices, disks and volumes ("\\.\X:", disk
//   interface paths, which may also start "\\?\") come from the machine file under the sim root (the
//   default desktop when there is none; format and behaviour in docs/sim-usb-fixtures.md), read
//   in the calling process. The USB, storage and volume control codes, CM_* and SetupDi* (disk
//   interfaces only) and GetDriveTypeW answer from it as Windows does: two-step name queries,
//   ERROR_MORE_DATA with the pipe count for short pipe lists, CR_BUFFER_SMALL with the size
//   needed, CR_NO_SUCH_VALUE for properties not set. Open handles follow changes of the file.
//   Interface nodes of composite devices are not simulated; ejecting a volume changes nothing.
// - Environment: the real one, names without case; ALLUSERSPROFILE (C:\ProgramData) and SystemRoot
//   (C:\Windows) supplied when unset; an empty Linux variable counts as unset. The command line is
//   the one a simulated ShellExecuteExW handed over (VOSTUSB_SIM_CMDLINE), else argv[0] quoted in Z:
//   form followed by the other arguments as they stand.
// - Registry: HKEY_LOCAL_MACHINE only (other roots: ERROR_INVALID_HANDLE), persisted under the sim
//   root in a text file (format in sim/registry_tree.h; edit it with the sim CLI), shared by all
//   processes, safe against concurrent writers and killed processes; a damaged file gives
//   ERROR_BADDB. Key and value names compare without case; value bytes are kept exactly (Windows'
//   RegSetValueExW also stores a string's terminator that the caller left out when the two bytes
//   after the data happen to be zero; the simulated host never reads past the data). The
//   access rights of a key handle are enforced. No security, no volatile keys, no notifications, no
//   classes or write times (enumeration gives empty and zero).
// - Named mutexes: exist while some process holds a handle (open-file-description locks);
//   "Global\" and local names are separate namespaces. Ownership and waiting on a named mutex are
//   in-process only.
// - Events: unnamed, in-process.
// - Threads: real threads of the process. TerminateThread ends only a thread that was created
//   suspended and never resumed (a running one: ERROR_NOT_SUPPORTED). WaitForMultipleObjects waits
//   for any one of events and threads (other objects, or waiting for all: WAIT_FAILED with
//   ERROR_NOT_SUPPORTED).
// - Processes: the real Linux processes; image paths in Z: form; owners are Linux user names.
//   Access is never denied to root; another user's process can be opened only for the limited
//   query rights. Exit codes are exact for the caller's own children and for processes it ended
//   with TerminateProcess; any other ended process reports 0 (Linux tells only the parent).
//   GetProcessTimes: the creation time is the Linux start time (steps of 10 ms); a process that
//   executes another program keeps it, as it keeps its id. The exit time is the moment the caller
//   first saw the end.
//   ShellExecuteExW knows the verb "open" only and starts programs, not documents.
// - Debugger output: appended to <sim root>/debug.log (UTF-8, one write per call, a line feed added
//   to a text without one), and to standard error with VOSTUSB_DEBUG_STDERR=1.
// - GetTickCount counts from the simulated machine's start (<sim root>/machine/boot_time; a Linux
//   restart restarts the machine; the sim CLI's "boot" sets it).
// - Languages: 1033 unless VOSTUSB_SIM_UI_LANGUAGE names another language id (decimal or 0x...).
//   GetACP is 1252, or 1250 with VOSTUSB_SIM_ACP=1250; MultiByteToWideChar knows CP_ACP, 1250, 1252
//   and CP_UTF8 (others: ERROR_INVALID_PARAMETER).
// - Named pipes ("\\.\pipe\NAME", see docs/sim-pipes.md): message-mode channels between real
//   processes on abstract AF_UNIX sockets. A missing pipe gives ERROR_FILE_NOT_FOUND, one whose
//   instances are all busy ERROR_PIPE_BUSY; reads shorter than a message give ERROR_MORE_DATA and
//   keep the rest; zero-length messages arrive as such; messages of any size pass. All instances of
//   one pipe belong to one process. Client handles start in byte read mode, which here reads within
//   one message at a time without ERROR_MORE_DATA. PIPE_NOWAIT is not available. Security
//   attributes are checked for form; who may create instances and who is at the other end: see
//   "Pipe peers and identities" below.
// - Overlapped I/O exists for pipe handles only, one operation at a time per handle. A pending
//   operation makes progress only inside GetOverlappedResult(Ex) on that handle, so a caller waits
//   with GetOverlappedResultEx rather than on the event alone; the event is set on completion.
//   CancelIoEx from another thread takes effect when that thread's call returns.
// - Security descriptors: the SID, ACL and descriptor calls build the same bytes as on Windows.
// - Named mutexes in "Global\" are created only by the administrator (others: ERROR_ACCESS_DENIED;
//   opening one that exists is open to everybody).
// - Calls the simulated host does not have fail with ERROR_CALL_NOT_IMPLEMENTED.
#pragma once

#ifdef _WIN32
#include "platform/win32/win32_types.h"
#else
#include "platform/sim/sim_types.h"
#endif

#include <cstddef>

namespace os {

// --- Structures with text -------------------------------------------------------------------

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char16_t cFileName[260];
  char16_t cAlternateFileName[14];
};

struct PROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  char16_t szExeFile[260];
};

struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  const char16_t* lpVerb;
  const char16_t* lpFile;
  const char16_t* lpParameters;
  const char16_t* lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  HANDLE hProcess;  // with SEE_MASK_NOCLOSEPROCESS: the new process, for the caller to close
};

// Records of the USB stack and of device setup that carry text (the SDK's have WCHAR text; the
// bytes are the same). The USB records are byte-packed as in the SDK; each ends in a one-character
// array that the caller's larger buffer extends.
#pragma pack(push, 1)
struct USB_HCD_DRIVERKEY_NAME {
  ULONG ActualLength;  // bytes of the whole record with the name and its NUL
  char16_t DriverKeyName[1];
};

struct USB_ROOT_HUB_NAME {
  ULONG ActualLength;
  char16_t RootHubName[1];
};

struct USB_NODE_CONNECTION_DRIVERKEY_NAME {
  ULONG ConnectionIndex;
  ULONG ActualLength;
  char16_t DriverKeyName[1];
};

struct USB_NODE_CONNECTION_NAME {
  ULONG ConnectionIndex;
  ULONG ActualLength;
  char16_t NodeName[1];
};

struct USB_STRING_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  char16_t bString[1];
};
#pragma pack(pop)

struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;  // 8 on x64: the size of this record, not of the caller's buffer
  char16_t DevicePath[1];
};

// --- Errors and handles ---------------------------------------------------------------------

DWORD GetLastError();
void SetLastError(DWORD code);
BOOL CloseHandle(HANDLE handle);

// --- C run-time files -----------------------------------------------------------------------

errno_t _wsopen_s(int* fd, const char16_t* path, int oflag, int shflag, int pmode);
long _filelength(int fd);
int _read(int fd, void* buffer, unsigned int count);
int _write(int fd, const void* buffer, unsigned int count);
int _close(int fd);
int _wmkdir(const char16_t* path);
int _wchmod(const char16_t* path, int mode);
// Switches a C run-time stream (0, 1, 2) to _O_BINARY or _O_TEXT; returns the previous mode.
int _setmode(int fd, int mode);
errno_t _wgetenv_s(std::size_t* required, char16_t* buffer, std::size_t count, const char16_t* name);

// --- Win32 files and folders ----------------------------------------------------------------

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, OVERLAPPED* overlapped);
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned,
                     OVERLAPPED* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
DWORD GetFileAttributesW(const char16_t* path);
BOOL SetFileAttributesW(const char16_t* path, DWORD attributes);
BOOL DeleteFileW(const char16_t* path);
BOOL CreateDirectoryW(const char16_t* path, SECURITY_ATTRIBUTES* security);
BOOL RemoveDirectoryW(const char16_t* path);
BOOL CopyFileW(const char16_t* from, const char16_t* to, BOOL fail_if_exists);
BOOL MoveFileExW(const char16_t* from, const char16_t* to, DWORD flags);
// Patterns take "?" and "*" in the last component, matched without case.
HANDLE FindFirstFileW(const char16_t* pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);

// --- USB host controllers, hubs, volumes and disks --------------------------------------------
// Opened with CreateFileW ("\\.\HCD<n>", "\\.\<hub name>", "\\.\X:", a disk interface path) and
// asked with DeviceIoControl (IOCTL_USB_*, IOCTL_GET_HCD_DRIVERKEY_NAME, IOCTL_STORAGE_*, FSCTL_*).

UINT GetDriveTypeW(const char16_t* root);
DWORD GetLogicalDrives();

// --- Plug and Play device tree (configuration manager) ----------------------------------------

CONFIGRET CM_Locate_DevNodeW(DEVINST* devinst, const char16_t* device_id, ULONG flags);
CONFIGRET CM_Get_Child(DEVINST* child, DEVINST devinst, ULONG flags);
CONFIGRET CM_Get_Sibling(DEVINST* sibling, DEVINST devinst, ULONG flags);
CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST devinst, ULONG flags);
// `length` is in bytes: in, the buffer's size; out, the value's size (also with CR_BUFFER_SMALL).
CONFIGRET CM_Get_DevNode_Registry_PropertyW(DEVINST devinst, ULONG property, ULONG* type, void* buffer,
                                            ULONG* length, ULONG flags);
// In characters, without the NUL.
CONFIGRET CM_Get_Device_ID_Size(ULONG* length, DEVINST devinst, ULONG flags);
CONFIGRET CM_Get_Device_IDW(DEVINST devinst, char16_t* buffer, ULONG length, ULONG flags);

// --- Device setup: device information sets and device interfaces -------------------------------

HDEVINFO SetupDiGetClassDevsW(const GUID* class_guid, const char16_t* enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* interface_class, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* data);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interface_data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detail_size, DWORD* required,
                                      SP_DEVINFO_DATA* device);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// --- Environment and module -----------------------------------------------------------------

DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size);
const char16_t* GetCommandLineW();

// --- Registry -------------------------------------------------------------------------------

LSTATUS RegOpenKeyExW(HKEY root, const char16_t* subkey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegCreateKeyExW(HKEY root, const char16_t* subkey, DWORD reserved, char16_t* key_class, DWORD options,
                        REGSAM access, SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
LSTATUS RegQueryValueExW(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegSetValueExW(HKEY key, const char16_t* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegDeleteValueW(HKEY key, const char16_t* name);
LSTATUS RegDeleteKeyW(HKEY root, const char16_t* subkey);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved, char16_t* key_class,
                      DWORD* class_size, FILETIME* last_write);
LSTATUS RegEnumValueW(HKEY key, DWORD index, char16_t* name, DWORD* name_size, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* data_size);
LSTATUS RegCloseKey(HKEY key);

// --- Synchronisation and time ---------------------------------------------------------------

HANDLE CreateMutexW(SECURITY_ATTRIBUTES* security, BOOL initial_owner, const char16_t* name);
HANDLE OpenMutexW(DWORD access, BOOL inherit, const char16_t* name);
BOOL ReleaseMutex(HANDLE mutex);
HANDLE CreateEventW(SECURITY_ATTRIBUTES* security, BOOL manual_reset, BOOL initial_state, const char16_t* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* time);
DWORD GetCurrentThreadId();
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL wait_all, DWORD milliseconds);
HANDLE CreateThread(SECURITY_ATTRIBUTES* security, SIZE_T stack_size, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* thread_id);
DWORD ResumeThread(HANDLE thread);
BOOL TerminateThread(HANDLE thread, DWORD exit_code);

// --- Processes and users --------------------------------------------------------------------

HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL EnumProcesses(DWORD* ids, DWORD size, DWORD* needed);
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid);
DWORD GetModuleFileNameExW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size);
BOOL QueryFullProcessImageNameW(HANDLE process, DWORD flags, char16_t* buffer, DWORD* size);
BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* needed);
DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, char16_t* buffer, DWORD size);
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD pid);
BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry);
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS info_class, void* info, DWORD size, DWORD* needed);
BOOL LookupAccountSidW(const char16_t* system, PSID sid, char16_t* name, DWORD* name_size, char16_t* domain,
                       DWORD* domain_size, SID_NAME_USE* use);
BOOL TerminateProcess(HANDLE process, UINT exit_code);
BOOL GetExitCodeProcess(HANDLE process, DWORD* exit_code);
BOOL GetProcessTimes(HANDLE process, FILETIME* creation_time, FILETIME* exit_time, FILETIME* kernel_time, FILETIME* user_time);
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
BOOL GetUserNameW(char16_t* buffer, DWORD* size);

// --- Named pipes and overlapped I/O -----------------------------------------------------------
// Clients open a pipe with CreateFileW and use ReadFile, WriteFile, FlushFileBuffers and CloseHandle.

HANDLE CreateNamedPipeW(const char16_t* name, DWORD open_mode, DWORD pipe_mode, DWORD max_instances,
                        DWORD out_buffer_size, DWORD in_buffer_size, DWORD default_timeout,
                        SECURITY_ATTRIBUTES* security);
BOOL ConnectNamedPipe(HANDLE pipe, OVERLAPPED* overlapped);
BOOL DisconnectNamedPipe(HANDLE pipe);
BOOL SetNamedPipeHandleState(HANDLE pipe, DWORD* mode, DWORD* max_collection_count, DWORD* collect_data_timeout);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);
BOOL GetOverlappedResultEx(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, DWORD milliseconds,
                           BOOL alertable);
BOOL CancelIoEx(HANDLE file, OVERLAPPED* overlapped);

// --- Services ------------------------------------------------------------------------------
// Service and manager handles are SC_HANDLE, closed with CloseServiceHandle (os::unique_schandle).

SC_HANDLE OpenSCManagerW(const char16_t* machine, const char16_t* database, DWORD access);
SC_HANDLE CreateServiceW(SC_HANDLE manager, const char16_t* name, const char16_t* display_name, DWORD access,
                         DWORD service_type, DWORD start_type, DWORD error_control, const char16_t* binary_path,
                         const char16_t* load_order_group, DWORD* tag_id, const char16_t* dependencies,
                         const char16_t* service_start_name, const char16_t* password);
SC_HANDLE OpenServiceW(SC_HANDLE manager, const char16_t* name, DWORD access);
BOOL StartServiceW(SC_HANDLE service, DWORD argument_count, const char16_t** arguments);
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, BYTE* buffer, DWORD size, DWORD* needed);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);

// --- Security identifiers and descriptors ---------------------------------------------------

BOOL AllocateAndInitializeSid(SID_IDENTIFIER_AUTHORITY* authority, BYTE sub_authority_count, DWORD sub0,
                              DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6,
                              DWORD sub7, PSID* sid);
DWORD GetLengthSid(PSID sid);
void* FreeSid(PSID sid);
BOOL InitializeAcl(ACL* acl, DWORD length, DWORD revision);
BOOL AddAccessAllowedAce(ACL* acl, DWORD revision, DWORD access_mask, PSID sid);
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL dacl_present, ACL* dacl, BOOL dacl_defaulted);

// --- Messages (the process has no windows; these drain the thread's queue) ------------------

BOOL PeekMessageW(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);

// --- Hashing (CNG) ---------------------------------------------------------------------------
// Algorithm ids are char16_t text (BCRYPT_SHA1_ALGORITHM). The simulated host knows SHA-1 only
// (others: STATUS_NOT_FOUND); a hash object is allocated by the provider (pass null and 0).

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, ULONG flags);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, UCHAR* hash_object,
                          ULONG hash_object_size, UCHAR* secret, ULONG secret_size, ULONG flags);
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, UCHAR* input, ULONG size, ULONG flags);
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, UCHAR* output, ULONG size, ULONG flags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash);

// --- Languages, code pages, debugger output -------------------------------------------------

LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();
UINT GetACP();
int MultiByteToWideChar(UINT code_page, DWORD flags, const char* text, int size, char16_t* out, int out_size);
void OutputDebugStringW(const char16_t* text);

// --- Pipe peers and identities -------------------------------------------------------------
// Who is at the other end of a pipe, and what a token says about its user, so that a server can
// judge its client and a client its server.
//
// On the simulated host:
// - Identities: Linux root is the machine's system account and its administrator; every other
//   Linux user is a standard user. A token's TokenGroups hold Everyone and, enabled, Administrators
//   (S-1-5-32-544) for root, Users (S-1-5-32-545) for the others. TokenUser stays the Linux user.
// - GetNamedPipeClientProcessId and GetNamedPipeServerProcessId give the caller's own id for its
//   own end and the socket's peer credentials (SO_PEERCRED: the connecting process, or the process
//   that listens) for the other; real Linux process ids. Without a connection:
//   ERROR_PIPE_NOT_CONNECTED.
// - Creating instances: all instances of a pipe belong to the process that created the first, whose
//   listening socket holds the name for as long as one instance lives. Any other process's
//   CreateNamedPipeW on that name fails with ERROR_ACCESS_DENIED, whatever the descriptor grants:
//   no process can learn another's descriptor, and none could serve its socket, so the right to
//   create instances is enforced in its strictest form (on Windows a descriptor could grant
//   FILE_CREATE_PIPE_INSTANCE to another process). FILE_FLAG_FIRST_PIPE_INSTANCE on a name that
//   exists, in this process or another, also fails with ERROR_ACCESS_DENIED. Once the last
//   instance is closed the name is free for anybody.
BOOL GetNamedPipeClientProcessId(HANDLE pipe, ULONG* pid);
BOOL GetNamedPipeServerProcessId(HANDLE pipe, ULONG* pid);
// Byte-for-byte equality of two SIDs (both valid, else FALSE with ERROR_INVALID_SID).
BOOL EqualSid(PSID first, PSID second);

}  // namespace os
