#include "image/image_size.h"

namespace {

// Up to 2^31 x 2^31 x 8 bytes, more than 64 bits hold.
__extension__ using Wide = unsigned __int128;

std::string decimal(Wide value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace

std::string size_text(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string check_image_size(std::int64_t width, std::int64_t height, int bytes_per_pixel) {
    if (width < 1) {
        return "the width must be at least 1, but the file says " + std::to_string(width);
    }
    if (height < 1) {
        return "the height must be at least 1, but the file says " + std::to_string(height);
    }
    if (height > kMaxImageBytes / bytes_per_pixel / width) {
        const Wide bytes = static_cast<Wide>(width) * static_cast<Wide>(height) * static_cast<Wide>(bytes_per_pixel);
        return "the image is too large: " + size_text(width, height) + " pixels would take " + decimal(bytes) +
               " bytes, at most " + std::to_string(kMaxImageBytes) + " are supported";
    }
    return "";
}
