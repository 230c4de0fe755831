#include "sample_image.h"

#include <algorithm>
#include <cstring>

namespace sample {

namespace {

constexpr std::size_t kProductTagOffset = 116;
constexpr std::size_t kVersionOffset = 132;
constexpr std::size_t kImageTypeOffset = 136;
constexpr std::size_t kProductConfigOffset = 256;

void put_text(std::vector<std::uint8_t>& image, std::size_t offset, const char* text,
              std::size_t length) {
    std::memcpy(image.data() + offset, text, length);
}

} // namespace

std::vector<std::uint8_t> make_image(const ImageRecipe& recipe) {
    std::vector<std::uint8_t> image(std::max(recipe.size, kMinimumImageSize));
    // xorshift32: a fixed filler that does not look like any header field.
    std::uint32_t state = recipe.seed == 0 ? 0x9E3779B9u : recipe.seed;
    for (std::uint8_t& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    // The header fields the plug-in reads; the product tag field is cleared first so that the
    // filler never completes a tag.
    std::fill_n(image.begin() + kProductTagOffset, kVersionOffset - kProductTagOffset, 0);
    image[kVersionOffset] = recipe.major;
    image[kVersionOffset + 1] = recipe.minor;
    image[kVersionOffset + 2] = recipe.kind == ImageKind::Firmware ? recipe.build : 0;
    image[kVersionOffset + 3] = 0;
    if (recipe.kind == ImageKind::Firmware) {
        image[kImageTypeOffset] = '0';
        if (recipe.product == Product::Halvane) {
            put_text(image, kProductTagOffset, "HALVANE", 7);
        } else {
            put_text(image, kProductTagOffset, "Pellax", 6);
        }
    } else {
        image[kImageTypeOffset] = '1';
        const char marker[9] = {
            'P', 'R', 'O',
            'D', 'C', 'F',
            'G', 0,   static_cast<char>(recipe.product == Product::Halvane ? 0 : 1)};
        put_text(image, kProductConfigOffset, marker, sizeof marker);
    }
    return image;
}

} // namespace sample
