// Password protection of record files.
//
// A protected table's files are enciphered from byte 4 on, page by page:
//
//   verifier   = reverse(swap_pairs(hex_lower(MD5(password))))   32 chars
//   key state  = RC4 key scheduling with the password bytes
//   W(k)       = RC4 output bytes 4k..4k+3 of the key state, little-endian
//   page key   = W(k) (4 LE bytes) | verifier (32) | W(k) ^ k (4 LE bytes)
//   page k     = bytes [4096k, 4096k + 4096) of the file
//   byte at P  ^= RC4(page key) output byte 36 + (P mod 4096), P >= 4
//
// Enciphering and deciphering are the same XOR. Bytes 0..3 (the magic) are
// never touched.
#pragma once

#include <nettle/arcfour.h>

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvok::store {

inline constexpr size_t kCipherPageSize = 4096;
inline constexpr size_t kVerifierLength = 32;

// The 32-character verifier of a password's bytes.
std::string ComputeVerifier(std::string_view password);

// True when two verifiers are equal without regard to ASCII letter case.
bool VerifiersMatch(std::string_view stored, std::string_view computed);

// The key of one password: the RC4 state after key scheduling, the verifier
// and a small cache of page streams. Every byte of it is wiped when the key
// is destroyed. Not thread-safe.
class TableKey {
 public:
  explicit TableKey(std::string_view password);
  ~TableKey();
  TableKey(const TableKey&) = delete;
  TableKey& operator=(const TableKey&) = delete;

  const std::string& verifier() const { return verifier_; }
  // True when both keys come from the same password bytes.
  bool SameAs(const TableKey& other) const;

  // XORs, in place, n bytes that lie at file offset `offset`. Bytes before
  // offset 4 are left as they are.
  void Apply(uint64_t offset, uint8_t* data, size_t n);

  // The page word W(k) and the 4096 stream bytes of page k (exposed for tests).
  uint32_t PageWord(uint64_t page);
  const uint8_t* PageStream(uint64_t page);

 private:
  struct Page {
    uint64_t number;
    std::vector<uint8_t> stream;
  };

  arcfour_ctx scheduled_{};  // the state after key scheduling, never advanced
  arcfour_ctx generator_{};  // continues `words_`
  std::vector<uint8_t> words_;  // key-state output bytes generated so far
  std::string verifier_;
  std::list<Page> pages_;  // most recently used first
};

// An empty password gives no key at all.
std::shared_ptr<TableKey> MakeTableKey(std::string_view password);

// Applies the page cipher with an optional key; no key changes nothing.
inline void ApplyPageCipher(TableKey* key, uint64_t offset, uint8_t* data, size_t n) {
  if (key != nullptr) key->Apply(offset, data, n);
}

}  // namespace tarvok::store
