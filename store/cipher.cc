#include "store/cipher.h"

#include <nettle/md5.h>
#include <string.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tarvok::store {
namespace {

constexpr size_t kPageCacheSize = 8;
constexpr size_t kStreamSkip = 36;

void Wipe(void* p, size_t n) { explicit_bzero(p, n); }

void Schedule(arcfour_ctx* ctx, const uint8_t* key, size_t n) {
  // Only the first 256 key bytes take part in RC4 key scheduling.
  arcfour_set_key(ctx, std::min<size_t>(n, ARCFOUR_MAX_KEY_SIZE), key);
}

}  // namespace

std::string ComputeVerifier(std::string_view password) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, password.size(), reinterpret_cast<const uint8_t*>(password.data()));
  uint8_t digest[MD5_DIGEST_SIZE];
  md5_digest(&ctx, sizeof digest, digest);
  static const char kHex[] = "0123456789abcdef";
  std::string hex(32, '0');
  for (size_t i = 0; i < 16; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 15];
  }
  for (size_t i = 0; i < 32; i += 2) std::swap(hex[i], hex[i + 1]);
  std::reverse(hex.begin(), hex.end());
  Wipe(digest, sizeof digest);
  Wipe(&ctx, sizeof ctx);
  return hex;
}

bool VerifiersMatch(std::string_view stored, std::string_view computed) {
  if (stored.size() != computed.size()) return false;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(stored[i])) !=
        std::tolower(static_cast<unsigned char>(computed[i])))
      return false;
  }
  return true;
}

TableKey::TableKey(std::string_view password) : verifier_(ComputeVerifier(password)) {
  Schedule(&scheduled_, reinterpret_cast<const uint8_t*>(password.data()), password.size());
  generator_ = scheduled_;
}

TableKey::~TableKey() {
  Wipe(&scheduled_, sizeof scheduled_);
  Wipe(&generator_, sizeof generator_);
  if (!words_.empty()) Wipe(words_.data(), words_.size());
  for (auto& p : pages_) Wipe(p.stream.data(), p.stream.size());
  if (!verifier_.empty()) Wipe(verifier_.data(), verifier_.size());
}

bool TableKey::SameAs(const TableKey& other) const {
  return std::equal(std::begin(scheduled_.S), std::end(scheduled_.S), std::begin(other.scheduled_.S)) &&
         verifier_ == other.verifier_;
}

uint32_t TableKey::PageWord(uint64_t page) {
  const size_t need = static_cast<size_t>(4 * page + 4);
  if (words_.size() < need) {
    size_t old = words_.size();
    size_t grow = std::max(need, old * 2);
    words_.resize(grow, 0);
    arcfour_crypt(&generator_, grow - old, words_.data() + old, words_.data() + old);
  }
  const uint8_t* w = words_.data() + 4 * page;
  return uint32_t(w[0]) | uint32_t(w[1]) << 8 | uint32_t(w[2]) << 16 | uint32_t(w[3]) << 24;
}

const uint8_t* TableKey::PageStream(uint64_t page) {
  for (auto it = pages_.begin(); it != pages_.end(); ++it) {
    if (it->number == page) {
      if (it != pages_.begin()) pages_.splice(pages_.begin(), pages_, it);
      return pages_.front().stream.data();
    }
  }
  uint32_t w = PageWord(page);
  uint32_t wk = w ^ static_cast<uint32_t>(page);
  uint8_t key[40];
  for (int i = 0; i < 4; ++i) key[i] = static_cast<uint8_t>(w >> (8 * i));
  std::memcpy(key + 4, verifier_.data(), 32);
  for (int i = 0; i < 4; ++i) key[36 + i] = static_cast<uint8_t>(wk >> (8 * i));
  arcfour_ctx ctx;
  Schedule(&ctx, key, sizeof key);
  Page fresh{page, std::vector<uint8_t>(kStreamSkip + kCipherPageSize, 0)};
  arcfour_crypt(&ctx, fresh.stream.size(), fresh.stream.data(), fresh.stream.data());
  fresh.stream.erase(fresh.stream.begin(), fresh.stream.begin() + kStreamSkip);
  Wipe(key, sizeof key);
  Wipe(&ctx, sizeof ctx);
  if (pages_.size() >= kPageCacheSize) {
    auto& last = pages_.back();
    Wipe(last.stream.data(), last.stream.size());
    pages_.pop_back();
  }
  pages_.push_front(std::move(fresh));
  return pages_.front().stream.data();
}

void TableKey::Apply(uint64_t offset, uint8_t* data, size_t n) {
  if (offset < 4) {
    size_t skip = std::min<size_t>(n, static_cast<size_t>(4 - offset));
    offset += skip;
    data += skip;
    n -= skip;
  }
  while (n > 0) {
    uint64_t page = offset / kCipherPageSize;
    size_t in_page = static_cast<size_t>(offset % kCipherPageSize);
    size_t run = std::min(n, kCipherPageSize - in_page);
    const uint8_t* stream = PageStream(page) + in_page;
    for (size_t i = 0; i < run; ++i) data[i] ^= stream[i];
    offset += run;
    data += run;
    n -= run;
  }
}

std::shared_ptr<TableKey> MakeTableKey(std::string_view password) {
  if (password.empty()) return nullptr;
  return std::make_shared<TableKey>(password);
}

}  // namespace tarvok::store
