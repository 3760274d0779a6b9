#pragma once
// SHA-1 digest (FIPS 180-4) used for the installation identifier of the statistics tracker.
#include <cstdint>
#include <string_view>
#include <vector>

// The unit's byte array. In a namespace of its own: the wizard's HTTP modules have a TBytes of their
// own, and the wizard's sources see both.
namespace Encryption {
using TBytes = std::vector<std::uint8_t>;
}

// Reverses the byte order of a word: big-endian words in and out of the digest.
std::uint32_t SwapBytes32(std::uint32_t value);

class TSHA1 {
public:
  static constexpr std::uint32_t kDigestSize = 20;

  TSHA1() = default;
  ~TSHA1();
  TSHA1(const TSHA1&) = delete;
  TSHA1& operator=(const TSHA1&) = delete;

  void Init();
  // Clears every field so that no message bits or chaining values stay in memory.
  void Burn();
  void Update(const void* bytes, std::uint32_t count);
  // One byte per UTF-16 code unit: its low eight bits.
  void UpdateText(std::wstring_view text);
  // Completes the message, writes the 20-byte digest and clears the object.
  void Final(std::uint8_t* digest);
  Encryption::TBytes HashText(std::wstring_view text);

  bool IsInitialized() const { return Initialized; }

private:
  void Transform();

  bool Initialized = false;
  std::uint32_t BitCountHi = 0;
  std::uint32_t BitCountLo = 0;
  std::uint32_t BlockIndex = 0;
  std::uint32_t State[5] = {};
  std::uint8_t Block[64] = {};
};
