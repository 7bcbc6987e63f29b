// CNG hashing on the simulated host, over OpenSSL's libcrypto. Only what the system uses is here:
// the SHA-1 provider without a named implementation, hash objects allocated by the provider, no
// secret (no HMAC). Handles are checked by a tag, so a stale or foreign handle gives
// STATUS_INVALID_HANDLE instead of undefined behaviour.
#include <openssl/evp.h>

#include <cstdint>
#include <new>

#include "platform/os.h"
#include "text/chars.h"

namespace os {

namespace {

constexpr NTSTATUS kSuccess = 0;
constexpr NTSTATUS kInvalidHandle = static_cast<NTSTATUS>(0xC0000008);
constexpr NTSTATUS kInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kNoMemory = static_cast<NTSTATUS>(0xC0000017);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000225);

constexpr std::uint32_t kAlgorithmTag = 0x41474c41;  // "ALGA"
constexpr std::uint32_t kHashTag = 0x48534148;       // "HASH"

struct Algorithm {
  std::uint32_t tag = kAlgorithmTag;
  const EVP_MD* digest = nullptr;
};

struct Hash {
  std::uint32_t tag = kHashTag;
  EVP_MD_CTX* context = nullptr;
  ULONG size = 0;
};

Algorithm* algorithm_of(BCRYPT_ALG_HANDLE handle) {
  auto* algorithm = static_cast<Algorithm*>(handle);
  return algorithm && algorithm->tag == kAlgorithmTag ? algorithm : nullptr;
}

Hash* hash_of(BCRYPT_HASH_HANDLE handle) {
  auto* hash = static_cast<Hash*>(handle);
  return hash && hash->tag == kHashTag ? hash : nullptr;
}

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* handle, const char16_t* algorithm_id,
                                     const char16_t* implementation, ULONG flags) {
  if (!handle || !algorithm_id) return kInvalidParameter;
  if (flags != 0) return kNotSupported;
  if (implementation || !text::equals_nocase_az(algorithm_id, BCRYPT_SHA1_ALGORITHM)) return kNotFound;
  auto* algorithm = new (std::nothrow) Algorithm;
  if (!algorithm) return kNoMemory;
  algorithm->digest = EVP_sha1();
  *handle = algorithm;
  return kSuccess;
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE handle, ULONG) {
  Algorithm* algorithm = algorithm_of(handle);
  if (!algorithm) return kInvalidHandle;
  algorithm->tag = 0;
  delete algorithm;
  return kSuccess;
}

NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm_handle, BCRYPT_HASH_HANDLE* handle, UCHAR* hash_object,
                          ULONG hash_object_size, UCHAR* secret, ULONG secret_size, ULONG flags) {
  const Algorithm* algorithm = algorithm_of(algorithm_handle);
  if (!algorithm) return kInvalidHandle;
  if (!handle) return kInvalidParameter;
  if (hash_object || hash_object_size || secret || secret_size || flags) return kNotSupported;
  auto* hash = new (std::nothrow) Hash;
  if (!hash) return kNoMemory;
  hash->context = EVP_MD_CTX_new();
  if (!hash->context || EVP_DigestInit_ex(hash->context, algorithm->digest, nullptr) != 1) {
    EVP_MD_CTX_free(hash->context);
    delete hash;
    return kNoMemory;
  }
  hash->size = static_cast<ULONG>(EVP_MD_get_size(algorithm->digest));
  *handle = hash;
  return kSuccess;
}

NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE handle, UCHAR* input, ULONG size, ULONG flags) {
  Hash* hash = hash_of(handle);
  if (!hash) return kInvalidHandle;
  if (flags) return kInvalidParameter;
  if (size == 0) return kSuccess;
  if (!input) return kInvalidParameter;
  return EVP_DigestUpdate(hash->context, input, size) == 1 ? kSuccess : kInvalidParameter;
}

NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE handle, UCHAR* output, ULONG size, ULONG flags) {
  Hash* hash = hash_of(handle);
  if (!hash) return kInvalidHandle;
  // CNG takes exactly the digest's length.
  if (!output || size != hash->size || flags) return kInvalidParameter;
  unsigned int written = 0;
  return EVP_DigestFinal_ex(hash->context, output, &written) == 1 ? kSuccess : kInvalidParameter;
}

NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE handle) {
  Hash* hash = hash_of(handle);
  if (!hash) return kInvalidHandle;
  hash->tag = 0;
  EVP_MD_CTX_free(hash->context);
  delete hash;
  return kSuccess;
}

}  // namespace os
