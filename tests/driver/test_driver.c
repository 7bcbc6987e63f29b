/* A kernel driver that stands in for the USB filter driver in the Windows build's tests. It creates
   \Device\VostUsb and its link \DosDevices\VostUsb and answers the driver interface's control
   codes with the records and sizes the guard relies on. A test plays the USB hub through two codes
   of its own (test_driver_codes.h): it queues a device's request, which sets the guard's
   notification event, and reads back what the driver was told.

   A request the caller leaves unanswered for the start record's time-out is decided by the
   driver with the start record's default (unless the record's flag says there is no time-out);
   requests are checked for that whenever the device is called. It filters no real USB device.

   The caller may call from several threads at once (the guard's notification thread and the
   thread that switches the user test off): a fast mutex guards the state. */
#include <ntifs.h>

#include "test_driver_codes.h"

#define CODE_CLEAR_ACCEPTED_NAMES 0x22201Cu
#define CODE_CLEAR_ACCEPTED_TYPES 0x222048u
#define CODE_USER_TEST_ON 0x22205Cu
#define CODE_USER_TEST_OFF 0x222060u
#define CODE_FETCH 0x222064u
#define CODE_PEEK 0x222068u
#define CODE_ANSWER 0x22206Cu
#define CODE_NOTIFY_SENDER_STOP 0x222074u
#define CODE_MAIN_OPTION_4 0x2220A4u
#define CODE_HUBS_ACCEPT_ON 0x2220A8u
#define CODE_HUBS_ACCEPT_OFF 0x2220ACu

/* The kernel exports ExEventObjectType as a variable holding the event object type. The DDK of
   mingw-w64 declares it dllimport with one indirection more than the variable has, so reading it
   already gives the type; dereferencing it again, as code written for the WDK does, reads the
   type's own first field. */
#define EVENT_OBJECT_TYPE ((POBJECT_TYPE)ExEventObjectType)

#define START_RECORD_SIZE 18
#define HEADER_SIZE 14
#define REQUEST_TEXT_OFFSET 14
#define ANSWER_SIZE 9

struct pending_request {
  BOOLEAN used;
  BOOLEAN is_void;
  ULONG64 id;
  ULONG64 queued_at; /* interrupt time, 100 ns units */
  ULONG length;      /* characters, without the terminating NUL */
  WCHAR text[VOSTUSB_TEST_TEXT_MAX + 1];
};

struct received_answer {
  ULONG64 id;
  UCHAR refused;
  UCHAR by_driver; /* decided by the driver when the time-out passed */
};

static struct {
  FAST_MUTEX lock;
  BOOLEAN user_test_on;
  PKEVENT notify_event; /* referenced while the user test is on */
  LONG64 answer_timeout;
  UCHAR timeout_flag;
  UCHAR default_accepted;
  UCHAR hubs_accepted;
  ULONG main_option_4;
  ULONG names_cleared;
  ULONG types_cleared;
  ULONG sender_stops;
  ULONG notifications;
  ULONG64 next_id;
  struct pending_request pending[VOSTUSB_TEST_PENDING_MAX];
  ULONG answer_count;
  struct received_answer answers[VOSTUSB_TEST_ANSWERS_MAX];
} state;

static UNICODE_STRING device_name = RTL_CONSTANT_STRING(L"\\Device\\VostUsb");
static UNICODE_STRING link_name = RTL_CONSTANT_STRING(L"\\DosDevices\\VostUsb");

static void put_u32(UCHAR* at, ULONG value) { RtlCopyMemory(at, &value, sizeof value); }
static void put_u64(UCHAR* at, ULONG64 value) { RtlCopyMemory(at, &value, sizeof value); }
static ULONG64 get_u64(const UCHAR* at) {
  ULONG64 value;
  RtlCopyMemory(&value, at, sizeof value);
  return value;
}

/* The caller's notification event, from a handle valid in the requesting process. On Windows a
   driver called directly by the application runs in the caller's context and references the
   handle as it is. Wine runs drivers in a process of their own (winedevice.exe) and does not
   reference handles for UserMode callers (STATUS_NOT_IMPLEMENTED); there the handle is duplicated
   out of the requesting process, and the copy is referenced. */
static NTSTATUS reference_caller_event(PIRP irp, HANDLE handle, PKEVENT* event) {
  HANDLE process = NULL, local = NULL;
  OBJECT_ATTRIBUTES attributes;
  CLIENT_ID client;
  NTSTATUS status;

  status = ObReferenceObjectByHandle(handle, EVENT_MODIFY_STATE, EVENT_OBJECT_TYPE, UserMode, (PVOID*)event, NULL);
  if (status != STATUS_NOT_IMPLEMENTED) return status;

  InitializeObjectAttributes(&attributes, NULL, OBJ_KERNEL_HANDLE, NULL, NULL);
  client.UniqueProcess = PsGetProcessId(IoGetRequestorProcess(irp));
  client.UniqueThread = NULL;
  status = ZwOpenProcess(&process, PROCESS_DUP_HANDLE, &attributes, &client);
  if (!NT_SUCCESS(status)) return status;
  status = ZwDuplicateObject(process, handle, ZwCurrentProcess(), &local, EVENT_MODIFY_STATE, OBJ_KERNEL_HANDLE, 0);
  ZwClose(process);
  if (!NT_SUCCESS(status)) return status;
  status = ObReferenceObjectByHandle(local, EVENT_MODIFY_STATE, EVENT_OBJECT_TYPE, KernelMode, (PVOID*)event, NULL);
  ZwClose(local);
  return status;
}

/* Size of the request record: the fixed part, the text and its NUL. */
static ULONG request_size(const struct pending_request* request) {
  return REQUEST_TEXT_OFFSET + (request->length + 1) * sizeof(WCHAR);
}

static ULONG pending_count(void) {
  ULONG count = 0, i;
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX; ++i) count += state.pending[i].used;
  return count;
}

/* The oldest pending request (identifiers grow), or NULL. */
static struct pending_request* oldest_pending(void) {
  struct pending_request* oldest = NULL;
  ULONG i;
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX; ++i)
    if (state.pending[i].used && (!oldest || state.pending[i].id < oldest->id)) oldest = &state.pending[i];
  return oldest;
}

static struct pending_request* find_pending(ULONG64 id) {
  ULONG i;
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX; ++i)
    if (state.pending[i].used && state.pending[i].id == id) return &state.pending[i];
  return NULL;
}

static void notify_caller(void) {
  if (!state.notify_event) return;
  KeSetEvent(state.notify_event, IO_NO_INCREMENT, FALSE);
  ++state.notifications;
}

/* The caller handles one request per notification: while requests wait, it is told again. */
static void notify_if_pending(void) {
  if (pending_count()) notify_caller();
}

static void user_test_off(void) {
  ULONG i;
  if (state.notify_event) ObDereferenceObject(state.notify_event);
  state.notify_event = NULL;
  state.user_test_on = FALSE;
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX; ++i) state.pending[i].used = FALSE;
}

static NTSTATUS user_test_on(PIRP irp, const UCHAR* in, ULONG in_size) {
  PKEVENT event = NULL;
  NTSTATUS status;
  if (in_size != START_RECORD_SIZE) return STATUS_INVALID_PARAMETER;
  status = reference_caller_event(irp, (HANDLE)(ULONG_PTR)get_u64(in), &event);
  if (!NT_SUCCESS(status)) return status;
  user_test_off();
  state.notify_event = event;
  state.answer_timeout = (LONG64)get_u64(in + 8);
  state.timeout_flag = in[16];
  state.default_accepted = in[17];
  state.user_test_on = TRUE;
  return STATUS_SUCCESS;
}

static NTSTATUS peek(UCHAR* out, ULONG out_size, ULONG_PTR* written) {
  const struct pending_request* request = oldest_pending();
  if (out_size < HEADER_SIZE) return STATUS_BUFFER_TOO_SMALL;
  RtlZeroMemory(out, HEADER_SIZE);
  if (request) {
    put_u64(out, request->id);
    put_u32(out + 8, request_size(request));
  } else {
    out[12] = 1;
  }
  *written = HEADER_SIZE;
  return STATUS_SUCCESS;
}

/* The request asked for by the identifier at offset 4. One that is no longer pending comes back
   void, as does one the hub queued void; a void request is not asked again. */
static NTSTATUS fetch(UCHAR* buffer, ULONG in_size, ULONG out_size, ULONG_PTR* written) {
  struct pending_request* request;
  ULONG size;
  if (in_size < 12) return STATUS_INVALID_PARAMETER;
  if (out_size < REQUEST_TEXT_OFFSET) return STATUS_BUFFER_TOO_SMALL;
  request = find_pending(get_u64(buffer + 4));
  size = request ? request_size(request) : REQUEST_TEXT_OFFSET;
  if (request && !request->is_void && out_size < size) return STATUS_BUFFER_TOO_SMALL;
  RtlZeroMemory(buffer, REQUEST_TEXT_OFFSET);
  if (request) put_u64(buffer + 4, request->id);
  if (!request || request->is_void) {
    buffer[12] = 1;
    *written = REQUEST_TEXT_OFFSET;
    if (request) {
      request->used = FALSE;
      notify_if_pending();
    }
    return STATUS_SUCCESS;
  }
  RtlCopyMemory(buffer + REQUEST_TEXT_OFFSET, request->text, (request->length + 1) * sizeof(WCHAR));
  *written = size;
  return STATUS_SUCCESS;
}

/* Decides a pending request. The log keeps the latest VOSTUSB_TEST_ANSWERS_MAX decisions. */
static void record_answer(struct pending_request* request, UCHAR refused, UCHAR by_driver) {
  request->used = FALSE;
  if (state.answer_count == VOSTUSB_TEST_ANSWERS_MAX) {
    RtlMoveMemory(&state.answers[0], &state.answers[1], (VOSTUSB_TEST_ANSWERS_MAX - 1) * sizeof state.answers[0]);
    --state.answer_count;
  }
  state.answers[state.answer_count].id = request->id;
  state.answers[state.answer_count].refused = refused;
  state.answers[state.answer_count].by_driver = by_driver;
  ++state.answer_count;
}

/* Requests older than the answer time-out are decided with the default. */
static void decide_overdue(void) {
  ULONG64 now;
  ULONG i;
  if (!state.user_test_on || state.timeout_flag || state.answer_timeout <= 0) return;
  now = KeQueryInterruptTime();
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX; ++i)
    if (state.pending[i].used && now - state.pending[i].queued_at >= (ULONG64)state.answer_timeout)
      record_answer(&state.pending[i], !state.default_accepted, 1);
}

/* An answer to a request that is no longer pending is refused and not recorded. */
static NTSTATUS answer(const UCHAR* in, ULONG in_size) {
  struct pending_request* request;
  if (in_size != ANSWER_SIZE) return STATUS_INVALID_PARAMETER;
  request = find_pending(get_u64(in));
  if (!request) return STATUS_NOT_FOUND;
  record_answer(request, in[8], 0);
  notify_if_pending();
  return STATUS_SUCCESS;
}

static NTSTATUS queue_request(const UCHAR* buffer, ULONG in_size, ULONG out_size, ULONG_PTR* written) {
  const WCHAR* text = (const WCHAR*)(buffer + VOSTUSB_TEST_QUEUE_TEXT_OFFSET);
  struct pending_request* slot = NULL;
  ULONG characters, length = 0, i;
  if (in_size < VOSTUSB_TEST_QUEUE_TEXT_OFFSET || (in_size - VOSTUSB_TEST_QUEUE_TEXT_OFFSET) % sizeof(WCHAR))
    return STATUS_INVALID_PARAMETER;
  characters = (in_size - VOSTUSB_TEST_QUEUE_TEXT_OFFSET) / sizeof(WCHAR);
  while (length < characters && text[length]) ++length;
  if (length > VOSTUSB_TEST_TEXT_MAX) return STATUS_INVALID_PARAMETER;
  if (out_size < sizeof(ULONG64)) return STATUS_BUFFER_TOO_SMALL;
  if (!state.user_test_on) return STATUS_DEVICE_NOT_READY;
  for (i = 0; i < VOSTUSB_TEST_PENDING_MAX && !slot; ++i)
    if (!state.pending[i].used) slot = &state.pending[i];
  if (!slot) return STATUS_INSUFFICIENT_RESOURCES;
  slot->used = TRUE;
  slot->is_void = buffer[0] != 0;
  slot->id = ++state.next_id;
  slot->queued_at = KeQueryInterruptTime();
  slot->length = length;
  RtlCopyMemory(slot->text, text, length * sizeof(WCHAR));
  slot->text[length] = 0;
  put_u64((UCHAR*)buffer, slot->id);
  *written = sizeof(ULONG64);
  notify_caller();
  return STATUS_SUCCESS;
}

static NTSTATUS read_state(UCHAR* out, ULONG out_size, ULONG_PTR* written) {
  ULONG size = VOSTUSB_TEST_STATE_SIZE + state.answer_count * VOSTUSB_TEST_ANSWER_SIZE, i;
  UCHAR* at = out + VOSTUSB_TEST_STATE_SIZE;
  if (out_size < size) return STATUS_BUFFER_TOO_SMALL;
  RtlZeroMemory(out, VOSTUSB_TEST_STATE_SIZE);
  out[0] = state.user_test_on;
  out[1] = state.default_accepted;
  out[2] = state.timeout_flag;
  out[3] = state.hubs_accepted;
  put_u32(out + 4, state.main_option_4);
  put_u64(out + 8, (ULONG64)state.answer_timeout);
  put_u32(out + 16, state.names_cleared);
  put_u32(out + 20, state.types_cleared);
  put_u32(out + 24, state.sender_stops);
  put_u32(out + 28, pending_count());
  put_u32(out + 32, state.notifications);
  put_u32(out + 36, state.answer_count);
  for (i = 0; i < state.answer_count; ++i, at += VOSTUSB_TEST_ANSWER_SIZE) {
    put_u64(at, state.answers[i].id);
    at[8] = state.answers[i].refused;
    at[9] = state.answers[i].by_driver;
  }
  *written = size;
  return STATUS_SUCCESS;
}

static NTSTATUS control(PIRP irp, ULONG code, UCHAR* buffer, ULONG in_size, ULONG out_size, ULONG_PTR* written) {
  switch (code) {
    case CODE_CLEAR_ACCEPTED_NAMES:
      ++state.names_cleared;
      return STATUS_SUCCESS;
    case CODE_CLEAR_ACCEPTED_TYPES:
      ++state.types_cleared;
      return STATUS_SUCCESS;
    case CODE_USER_TEST_ON:
      return user_test_on(irp, buffer, in_size);
    case CODE_USER_TEST_OFF:
      user_test_off();
      return STATUS_SUCCESS;
    case CODE_PEEK:
      return peek(buffer, out_size, written);
    case CODE_FETCH:
      return fetch(buffer, in_size, out_size, written);
    case CODE_ANSWER:
      return answer(buffer, in_size);
    case CODE_NOTIFY_SENDER_STOP:
      ++state.sender_stops;
      return STATUS_SUCCESS;
    case CODE_MAIN_OPTION_4:
      if (in_size != sizeof(ULONG)) return STATUS_INVALID_PARAMETER;
      RtlCopyMemory(&state.main_option_4, buffer, sizeof(ULONG));
      return STATUS_SUCCESS;
    case CODE_HUBS_ACCEPT_ON:
    case CODE_HUBS_ACCEPT_OFF:
      state.hubs_accepted = code == CODE_HUBS_ACCEPT_ON;
      return STATUS_SUCCESS;
    case VOSTUSB_TEST_QUEUE_REQUEST:
      return queue_request(buffer, in_size, out_size, written);
    case VOSTUSB_TEST_READ_STATE:
      return read_state(buffer, out_size, written);
    default:
      return STATUS_INVALID_DEVICE_REQUEST;
  }
}

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR written) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = NT_SUCCESS(status) ? written : 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static NTSTATUS dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  ULONG_PTR written = 0;
  NTSTATUS status;
  (void)device;
  ExAcquireFastMutex(&state.lock);
  decide_overdue();
  status = control(irp, stack->Parameters.DeviceIoControl.IoControlCode, (UCHAR*)irp->AssociatedIrp.SystemBuffer,
                   stack->Parameters.DeviceIoControl.InputBufferLength,
                   stack->Parameters.DeviceIoControl.OutputBufferLength, &written);
  ExReleaseFastMutex(&state.lock);
  return complete(irp, status, written);
}

static NTSTATUS dispatch_open_close(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return complete(irp, STATUS_SUCCESS, 0);
}

static void unload(PDRIVER_OBJECT driver) {
  ExAcquireFastMutex(&state.lock);
  user_test_off();
  ExReleaseFastMutex(&state.lock);
  IoDeleteSymbolicLink(&link_name);
  if (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status;
  (void)registry_path;
  ExInitializeFastMutex(&state.lock);
  status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&link_name, &device_name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_open_close;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_open_close;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  driver->DriverUnload = unload;
  DbgPrint("VostUsb test driver: loaded\n");
  return STATUS_SUCCESS;
}
