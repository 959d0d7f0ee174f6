#include "sync/sha256.hpp"

#include <array>
#include <cstdint>
#include <new>
#include <span>

#include "base/hex.hpp"

namespace lumenfolio {

namespace {

// libcrypto's SHA-256 fails only when it cannot allocate.
void check(bool succeeded) {
  if (!succeeded) throw std::bad_alloc();
}

}  // namespace

Sha256::Sha256() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
  check(context_ != nullptr && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1);
}

void Sha256::update(std::string_view bytes) {
  check(EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) == 1);
}

std::string Sha256::finalHex() {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  check(EVP_DigestFinal_ex(context_.get(), digest.data(), &length) == 1);
  return Hex::lower(std::span<const std::uint8_t>(digest.data(), length));
}

}  // namespace lumenfolio
