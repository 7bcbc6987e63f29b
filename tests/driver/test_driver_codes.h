/* The test driver's own control codes and records, shared by the driver (C) and the tests that
   talk to it (C++). The driver interface's codes and records are the guard's; these two exist only
   so that a test can play the USB hub: queue a device's request, and see what was answered.
   Records are packed little-endian, as on the interface. */
#ifndef VOSTUSB_TEST_DRIVER_CODES_H
#define VOSTUSB_TEST_DRIVER_CODES_H

/* Device type 0x22, METHOD_BUFFERED, FILE_ANY_ACCESS, functions 0xA00 and 0xA01. */
#define VOSTUSB_TEST_QUEUE_REQUEST 0x222800u
#define VOSTUSB_TEST_READ_STATE 0x222804u

/* Queue: input is a byte, non-zero to queue a void request, a byte not used, then the device text
   in UTF-16 (up to VOSTUSB_TEST_TEXT_MAX characters; a terminating NUL is optional). Output: the
   new request's 64-bit identifier (8 bytes). The user test must be on. */
#define VOSTUSB_TEST_QUEUE_TEXT_OFFSET 2
#define VOSTUSB_TEST_TEXT_MAX 1000

/* State, output only: the fixed part below, then `answers` records of 10 bytes (64-bit request
   identifier; byte, 1 refused / 0 accepted; byte, 1 when the driver decided it itself because the
   answer time-out passed, 0 when the caller answered) in the order they were decided; the latest
   VOSTUSB_TEST_ANSWERS_MAX of them. */
#define VOSTUSB_TEST_STATE_SIZE 40
/* offset: field
   0: byte, 1 when the user test is on
   1: byte, the start record's defaultAccepted
   2: byte, the start record's flag (1 when the time-out is 0)
   3: byte, 1 when hubs are accepted (0x2220A8 on, 0x2220AC off)
   4: 32-bit, the last FilesAndCacheMode given by 0x2220A4
   8: signed 64-bit, the start record's answer time-out
   16: 32-bit, times the accepted name list was cleared (0x22201C)
   20: 32-bit, times the accepted type list was cleared (0x222048)
   24: 32-bit, times the notification sender was stopped (0x222074)
   28: 32-bit, requests still pending
   32: 32-bit, times the driver set the caller's notification event
   36: 32-bit, answers that follow */
#define VOSTUSB_TEST_ANSWER_SIZE 10
#define VOSTUSB_TEST_ANSWERS_MAX 64
#define VOSTUSB_TEST_PENDING_MAX 16

#endif
