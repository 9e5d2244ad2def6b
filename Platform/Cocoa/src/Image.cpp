#include "Cocoa.hpp"
#include "DG.hpp"

#include <png.h>

#include <cstdio>
#include <memory>

std::unique_ptr<NSImage> NSImage::initWithContentsOfFile(const NSString& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        return nullptr;
    png_image image {};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_stdio(&image, file.get()) == 0)
        return nullptr;
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image));
    // Decoding every row is what tells a truncated or corrupt file from a good one.
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return nullptr;
    }
    return std::unique_ptr<NSImage>(new NSImage(image.width, image.height));
}

namespace DG {

Icon Icon::FromNativeImage(const void* nativeImage)
{
    Icon icon;
    if (const auto* image = static_cast<const NSImage*>(nativeImage); image != nullptr) {
        const NSSize size = image->size();
        icon.image_ =
            std::to_string(static_cast<int>(size.width)) + "x" + std::to_string(static_cast<int>(size.height));
    }
    return icon;
}

}  // namespace DG
