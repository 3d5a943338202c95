#include "files/file_digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace qv {

namespace {

// One running digest; OpenSSL fails here only when it is out of memory.
class Sha256 {
 public:
  Sha256() : context_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
      throw std::runtime_error("SHA-256 unavailable");
  }
  void Add(const void* bytes, size_t size) {
    if (size && EVP_DigestUpdate(context_.get(), bytes, size) != 1) throw std::runtime_error("SHA-256 failed");
  }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) throw std::runtime_error("SHA-256 failed");
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
      text += kDigits[digest[i] >> 4];
      text += kDigits[digest[i] & 15];
    }
    return text;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  Sha256 sha;
  sha.Add(bytes.data(), bytes.size());
  return sha.Hex();
}

FileDigest DigestFile(const std::string& path) {
  FileDigest out;
  InputFile file(path);
  if (!file.IsOpen()) {
    out.trouble = file.Trouble();
    return out;
  }
  Sha256 sha;
  std::string piece(1 << 16, '\0');
  for (;;) {
    const int64_t n = file.ReadAt(out.size, piece.data(), piece.size());
    if (n < 0) {
      out.trouble = file.Trouble();
      return out;
    }
    if (n == 0) break;
    sha.Add(piece.data(), static_cast<size_t>(n));
    out.size += static_cast<uint64_t>(n);
  }
  out.sha256 = sha.Hex();
  return out;
}

}  // namespace qv
