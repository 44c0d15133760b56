// Whether a driver image carries an Authenticode signature, read from the image's own bytes.
// Whether Windows takes the signer is decided only when the image loads.
#pragma once

#include <cstdint>
#include <span>

enum class ImageSignature {
  kNotAnImage,  // no PE image, or its headers lie outside the bytes
  kUnsigned,    // no certificate table
  kSigned,      // a PKCS#7 signed-data certificate inside the image
};

ImageSignature SignatureOf(std::span<const std::uint8_t> image);
