#include "statistics/Encryption.h"
#include <cstring>
#include <windows.h>

std::uint32_t SwapBytes32(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

namespace {

std::uint32_t RotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

std::uint32_t LoadBigEndian(const std::uint8_t* bytes) {
  std::uint32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return SwapBytes32(word);
}

void StoreBigEndian(std::uint32_t word, std::uint8_t* bytes) {
  word = SwapBytes32(word);
  std::memcpy(bytes, &word, sizeof word);
}

}  // namespace

TSHA1::~TSHA1() {
  if (Initialized) Burn();
}

void TSHA1::Init() {
  Burn();
  State[0] = 0x67452301u;
  State[1] = 0xEFCDAB89u;
  State[2] = 0x98BADCFEu;
  State[3] = 0x10325476u;
  State[4] = 0xC3D2E1F0u;
  Initialized = true;
}

void TSHA1::Burn() {
  // SecureZeroMemory: a plain clear right before destruction may be optimised away.
  ::SecureZeroMemory(State, sizeof State);
  ::SecureZeroMemory(Block, sizeof Block);
  BitCountHi = BitCountLo = BlockIndex = 0;
  Initialized = false;
}

void TSHA1::Update(const void* bytes, std::uint32_t count) {
  const std::uint32_t addedBits = count << 3;
  BitCountLo += addedBits;
  if (BitCountLo < addedBits) ++BitCountHi;
  BitCountHi += count >> 29;

  auto* source = static_cast<const std::uint8_t*>(bytes);
  while (count > 0) {
    std::uint32_t chunk = 64 - BlockIndex;
    if (chunk > count) chunk = count;
    std::memcpy(Block + BlockIndex, source, chunk);
    BlockIndex += chunk;
    source += chunk;
    count -= chunk;
    if (BlockIndex == 64) Transform();
  }
}

void TSHA1::UpdateText(std::wstring_view text) {
  std::uint8_t buffer[256];
  while (!text.empty()) {
    const size_t n = text.size() < sizeof buffer ? text.size() : sizeof buffer;
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    Update(buffer, static_cast<std::uint32_t>(n));
    text.remove_prefix(n);
  }
  ::SecureZeroMemory(buffer, sizeof buffer);
}

void TSHA1::Final(std::uint8_t* digest) {
  Block[BlockIndex] = 0x80;
  if (BlockIndex >= 56) Transform();  // no room left for the length in this block
  StoreBigEndian(BitCountHi, Block + 56);
  StoreBigEndian(BitCountLo, Block + 60);
  Transform();
  for (int i = 0; i < 5; ++i) StoreBigEndian(State[i], digest + 4 * i);
  Burn();
}

Encryption::TBytes TSHA1::HashText(std::wstring_view text) {
  Init();
  UpdateText(text);
  Encryption::TBytes digest(kDigestSize);
  Final(digest.data());
  return digest;
}

void TSHA1::Transform() {
  std::uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(Block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  std::uint32_t a = State[0], b = State[1], c = State[2], d = State[3], e = State[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const std::uint32_t temp = RotateLeft(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = temp;
  }
  State[0] += a;
  State[1] += b;
  State[2] += c;
  State[3] += d;
  State[4] += e;

  ::SecureZeroMemory(w, sizeof w);
  std::memset(Block, 0, sizeof Block);
  BlockIndex = 0;
}
