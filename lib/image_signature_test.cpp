// The signature check reads only what lies inside the image, and calls nothing signed that
// does not carry a PKCS#7 certificate where the security directory points.
#include "lib/image_signature.h"

#include <gtest/gtest.h>

#include "testing/pe_image.h"

namespace {

using testing_pe::Image;
using testing_pe::Shape;

TEST(ImageSignature, OnlyACertificateTableInsideTheImageCountsAsASignature) {
  std::vector<uint8_t> cut = Image({.certificate = true});
  cut.pop_back();
  std::vector<uint8_t> not_pe = Image({});
  not_pe[0x40] = 'N';
  std::vector<uint8_t> far_header = Image({});
  testing_pe::Put(far_header, 0x3C, 0xFFFFFFF0u, 4);
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    ImageSignature expected;
  };
  const Case cases[] = {
      {"PE32+, no certificate", Image({}), ImageSignature::kUnsigned},
      {"PE32+, signed", Image({.certificate = true}), ImageSignature::kSigned},
      {"PE32 (i386), signed", Image({.pe32_plus = false, .certificate = true}), ImageSignature::kSigned},
      {"PE32 (i386), no certificate", Image({.pe32_plus = false}), ImageSignature::kUnsigned},
      {"too few directories to have a security one", Image({.directories = 4, .certificate = true}),
       ImageSignature::kUnsigned},
      {"a certificate of another type", Image({.certificate = true, .certificate_type = 1}), ImageSignature::kUnsigned},
      {"a table past the file's end", Image({.certificate = true, .table_offset_shift = 8}),
       ImageSignature::kNotAnImage},
      {"a table cut short", cut, ImageSignature::kNotAnImage},
      {"no PE signature", not_pe, ImageSignature::kNotAnImage},
      {"a PE header pointer past the end", far_header, ImageSignature::kNotAnImage},
      {"two bytes", {'M', 'Z'}, ImageSignature::kNotAnImage},
      {"nothing", {}, ImageSignature::kNotAnImage},
  };
  for (const Case& c : cases) EXPECT_EQ(SignatureOf(c.image), c.expected) << c.what;
}

}  // namespace
