// The smallest PE images a signature check reads: the DOS header's pointer, the PE header, an
// optional header with its data directories, and a certificate table at the file's end.
#pragma once

#include <cstdint>
#include <vector>

namespace testing_pe {

struct Shape {
  bool pe32_plus = true;
  uint32_t directories = 16;            // NumberOfRvaAndSizes
  bool certificate = false;             // a WIN_CERTIFICATE after the headers
  uint16_t certificate_type = 2;        // WIN_CERT_TYPE_PKCS_SIGNED_DATA
  uint32_t table_offset_shift = 0;      // moves the security directory's offset past the file
};

inline void Put(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> Image(const Shape& shape) {
  const std::size_t pe = 0x40, optional = pe + 24;
  const std::size_t count_at = shape.pe32_plus ? 108 : 92;
  const std::size_t optional_size = count_at + 4 + 16 * 8;
  std::vector<uint8_t> bytes(optional + optional_size, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put(bytes, 0x3C, static_cast<uint32_t>(pe), 4);
  Put(bytes, pe, 0x00004550, 4);
  Put(bytes, pe + 4 + 16, static_cast<uint32_t>(optional_size), 2);
  Put(bytes, optional, shape.pe32_plus ? 0x20B : 0x10B, 2);
  Put(bytes, optional + count_at, shape.directories, 4);
  if (shape.certificate) {
    const std::size_t table = bytes.size(), length = 16;
    bytes.resize(table + length, 0xCC);
    Put(bytes, table, static_cast<uint32_t>(length), 4);
    Put(bytes, table + 4, 0x0200, 2);
    Put(bytes, table + 6, shape.certificate_type, 2);
    const std::size_t directory = optional + count_at + 4 + 4 * 8;
    Put(bytes, directory, static_cast<uint32_t>(table + shape.table_offset_shift), 4);
    Put(bytes, directory + 4, static_cast<uint32_t>(length), 4);
  }
  return bytes;
}

}  // namespace testing_pe
