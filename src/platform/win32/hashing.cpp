// CNG hashing: forwarded to bcrypt.dll.
#include "platform/os.h"
#include "platform/win32/text_cast.h"

namespace os {

using win32::wide;

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, ULONG flags) {
  return ::BCryptOpenAlgorithmProvider(algorithm, wide(algorithm_id), wide(implementation), flags);
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags) {
  return ::BCryptCloseAlgorithmProvider(algorithm, flags);
}

NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, UCHAR* hash_object,
                          ULONG hash_object_size, UCHAR* secret, ULONG secret_size, ULONG flags) {
  return ::BCryptCreateHash(algorithm, hash, hash_object, hash_object_size, secret, secret_size, flags);
}

NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, UCHAR* input, ULONG size, ULONG flags) {
  return ::BCryptHashData(hash, input, size, flags);
}

NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, UCHAR* output, ULONG size, ULONG flags) {
  return ::BCryptFinishHash(hash, output, size, flags);
}

NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) { return ::BCryptDestroyHash(hash); }

}  // namespace os
