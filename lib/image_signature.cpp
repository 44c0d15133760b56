#include "lib/image_signature.h"

namespace {

uint32_t LittleEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
  uint32_t value = 0;
  for (std::size_t i = size; i-- > 0;) value = value << 8 | bytes[at + i];
  return value;
}

}  // namespace

ImageSignature SignatureOf(std::span<const std::uint8_t> image) {
  // The offsets of the PE format: the DOS header's pointer to the PE header; after the PE
  // signature, the file header (its optional header's size at 16) and the optional header,
  // whose count of data directories and the directories themselves sit further out in PE32+.
  constexpr std::size_t kPeOffset = 0x3C, kFileHeader = 4, kOptionalSize = 16, kOptionalHeader = 24;
  constexpr uint32_t kPe32 = 0x10B, kPe32Plus = 0x20B;
  constexpr uint32_t kSecurityDirectory = 4, kCertificateHeader = 8, kPkcsSignedData = 2;
  const std::size_t size = image.size();
  if (size < kPeOffset + 4 || image[0] != 'M' || image[1] != 'Z') return ImageSignature::kNotAnImage;
  const std::size_t pe = LittleEndian(image, kPeOffset, 4);
  if (pe > size || size - pe < kOptionalHeader + 2 || LittleEndian(image, pe, 4) != 0x00004550)
    return ImageSignature::kNotAnImage;
  const std::size_t optional = pe + kOptionalHeader;
  const std::size_t optional_size = LittleEndian(image, pe + kFileHeader + kOptionalSize, 2);
  const uint32_t magic = LittleEndian(image, optional, 2);
  if ((magic != kPe32 && magic != kPe32Plus) || size - optional < optional_size) return ImageSignature::kNotAnImage;
  const std::size_t count_at = magic == kPe32 ? 92 : 108;
  if (optional_size < count_at + 4) return ImageSignature::kNotAnImage;
  const uint32_t directories = LittleEndian(image, optional + count_at, 4);
  const std::size_t directory = count_at + 4 + kSecurityDirectory * 8;
  if (directories <= kSecurityDirectory || optional_size < directory + 8) return ImageSignature::kUnsigned;
  // The security directory alone gives a file offset, not an address in the loaded image.
  const std::size_t table = LittleEndian(image, optional + directory, 4);
  const std::size_t length = LittleEndian(image, optional + directory + 4, 4);
  if (table == 0 && length == 0) return ImageSignature::kUnsigned;
  if (table > size || size - table < length || length < kCertificateHeader) return ImageSignature::kNotAnImage;
  const std::size_t first = LittleEndian(image, table, 4);
  if (first < kCertificateHeader || first > length || LittleEndian(image, table + 6, 2) != kPkcsSignedData)
    return ImageSignature::kUnsigned;
  return ImageSignature::kSigned;
}
