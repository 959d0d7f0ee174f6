// An incremental SHA-256, fed piece by piece, so that a long text need never
// be built in memory to be digested.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <string_view>

namespace lumenfolio {

class Sha256 {
 public:
  Sha256();

  void update(std::string_view bytes);
  // The digest of everything fed so far, as 64 lowercase hexadecimal digits.
  std::string finalHex();

 private:
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context_;
};

}  // namespace lumenfolio
