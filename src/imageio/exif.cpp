#include "imageio/exif.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace quarnel {
namespace {

// Reads the TIFF structure's numbers in its byte order; every read says whether it fitted.
class TiffBytes {
 public:
  TiffBytes(std::span<const std::uint8_t> bytes, bool bigEndian)
      : bytes_(bytes), bigEndian_(bigEndian) {}

  bool Read16(std::size_t at, std::uint32_t& value) const { return Read(at, 2, value); }
  bool Read32(std::size_t at, std::uint32_t& value) const { return Read(at, 4, value); }

 private:
  bool Read(std::size_t at, std::size_t size, std::uint32_t& value) const {
    if (at > bytes_.size() || bytes_.size() - at < size) return false;
    value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint32_t byte = bytes_[at + (bigEndian_ ? i : size - 1 - i)];
      value = (value << 8) | byte;
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  bool bigEndian_;
};

constexpr std::uint32_t kShort = 3;
constexpr std::uint32_t kRational = 5;
constexpr std::uint32_t kOrientationTag = 0x0112;
constexpr std::uint32_t kXResolutionTag = 0x011A;
constexpr std::uint32_t kYResolutionTag = 0x011B;
constexpr std::uint32_t kResolutionUnitTag = 0x0128;

// A resolution rounded to whole pixels a unit; 0 when it is none that JFIF can carry.
std::uint32_t WholeResolution(std::uint32_t numerator, std::uint32_t denominator) {
  if (denominator == 0) return 0;
  const std::uint64_t whole = (std::uint64_t{numerator} + denominator / 2) / denominator;
  return whole <= 0xFFFF ? static_cast<std::uint32_t>(whole) : 0;
}

}  // namespace

ExifFacts ParseExif(std::span<const std::uint8_t> block) {
  constexpr std::array<std::uint8_t, 6> kSignature{'E', 'x', 'i', 'f', 0, 0};
  if (block.size() < kSignature.size() ||
      !std::equal(kSignature.begin(), kSignature.end(), block.begin()))
    return {};
  const auto tiff = block.subspan(kSignature.size());
  if (tiff.size() < 8 || tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) return {};
  const TiffBytes bytes(tiff, tiff[0] == 'M');
  std::uint32_t magic = 0, ifd = 0, entries = 0;
  if (!bytes.Read16(2, magic) || magic != 42 || !bytes.Read32(4, ifd) ||
      !bytes.Read16(ifd, entries))
    return {};
  std::uint32_t orientation = 1, unit = 2;
  std::array<std::uint32_t, 2> resolution{};  // across, down
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t entry = std::size_t{ifd} + 2 + 12 * std::size_t{i};
    std::uint32_t tag = 0, type = 0, count = 0;
    if (!bytes.Read16(entry, tag) || !bytes.Read16(entry + 2, type) ||
        !bytes.Read32(entry + 4, count))
      return {};
    if (count != 1) continue;
    const std::size_t value = entry + 8;  // a short is here; a rational is where this points
    if (type == kShort && tag == kOrientationTag && !bytes.Read16(value, orientation)) return {};
    if (type == kShort && tag == kResolutionUnitTag && !bytes.Read16(value, unit)) return {};
    if (type == kRational && (tag == kXResolutionTag || tag == kYResolutionTag)) {
      std::uint32_t at = 0, numerator = 0, denominator = 0;
      if (!bytes.Read32(value, at) || !bytes.Read32(at, numerator) ||
          !bytes.Read32(std::size_t{at} + 4, denominator))
        return {};
      resolution[tag == kXResolutionTag ? 0 : 1] = WholeResolution(numerator, denominator);
    }
  }
  ExifFacts facts;
  if (orientation >= 1 && orientation <= 8) facts.orientation = static_cast<int>(orientation);
  if (resolution[0] > 0 && resolution[1] > 0 && (unit == 2 || unit == 3)) {
    facts.density.unit = unit == 2 ? Density::kPerInch : Density::kPerCentimetre;
    facts.density.x = static_cast<std::uint16_t>(resolution[0]);
    facts.density.y = static_cast<std::uint16_t>(resolution[1]);
  }
  return facts;
}

}  // namespace quarnel
