#pragma once
// Sample firmware and application images for the Halvane and Pellax terminals, in the layout
// the terminal plug-in reads: product tag at offset 116 (firmware images), version bytes at
// 132..134, image type byte at 136 ('0' firmware, '1' application), and in application images
// the product configuration marker "PRODCFG", 0x00, then 0x00 (Halvane) or 0x01 (Pellax).
// Every other byte is a fixed pseudo-random filler, so equal settings give equal files.
#include <cstdint>
#include <string>
#include <vector>

namespace sample {

enum class ImageKind : std::uint8_t { Firmware, Application };
enum class Product : std::uint8_t { Halvane, Pellax };

struct ImageRecipe {
    ImageKind kind = ImageKind::Firmware;
    Product product = Product::Halvane;
    std::uint32_t size = 16 * 1024; // at least kMinimumImageSize
    std::uint8_t major = 2;
    std::uint8_t minor = 2;
    std::uint8_t build = 0; // firmware images only
    std::uint32_t seed = 1; // filler pattern
};

// The smallest image that carries every field and is sent whole: three fixed-size blocks of a
// firmware image (256 + 256 + 261 bytes).
inline constexpr std::uint32_t kMinimumImageSize = 256 + 256 + 261;

std::vector<std::uint8_t> make_image(const ImageRecipe& recipe);

} // namespace sample
