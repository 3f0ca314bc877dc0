#include "ooxml/picture_probe.h"

#include <optional>
#include <stdexcept>

#include "files/input_file.h"
#include "value/runtime_error.h"

// stb_image is compiled here with internal linkage and only the header
// readers of the four formats the engine embeds.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace kbx::ooxml {

namespace {

constexpr double kMetersPerInch = 0.0254;

uint32_t bigEndian32(std::string_view bytes, size_t at) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

uint32_t bigEndian16(std::string_view bytes, size_t at) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return (b(0) << 8) | b(1);
}

int32_t littleEndian32(std::string_view bytes, size_t at) {
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return static_cast<int32_t>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
}

bool startsWith(std::string_view bytes, std::string_view magic) { return bytes.substr(0, magic.size()) == magic; }

std::optional<PictureFormat> formatFromMagic(std::string_view bytes) {
    if (startsWith(bytes, "\x89PNG\r\n\x1a\n")) return PictureFormat::Png;
    if (startsWith(bytes, "\xff\xd8\xff")) return PictureFormat::Jpeg;
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return PictureFormat::Gif;
    if (startsWith(bytes, "BM")) return PictureFormat::Bmp;
    return std::nullopt;
}

struct Resolution {
    double x = 0;
    double y = 0;
};

// PNG: the pHYs chunk, pixels per metre when its unit byte is 1.
std::optional<Resolution> pngResolution(std::string_view bytes) {
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const uint32_t length = bigEndian32(bytes, at);
        const std::string_view type = bytes.substr(at + 4, 4);
        if (type == "IDAT" || type == "IEND") break;
        if (type == "pHYs" && length >= 9 && at + 8 + 9 <= bytes.size()) {
            const uint32_t perMetreX = bigEndian32(bytes, at + 8);
            const uint32_t perMetreY = bigEndian32(bytes, at + 12);
            if (bytes[at + 16] != 1) return std::nullopt;
            return Resolution{perMetreX * kMetersPerInch, perMetreY * kMetersPerInch};
        }
        if (length > bytes.size() - at - 12) break;
        at += 12 + static_cast<size_t>(length);
    }
    return std::nullopt;
}

// JPEG: the JFIF APP0 segment, dots per inch (unit 1) or per centimetre (unit 2).
std::optional<Resolution> jpegResolution(std::string_view bytes) {
    size_t at = 2;
    while (at + 4 <= bytes.size() && static_cast<unsigned char>(bytes[at]) == 0xff) {
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        const uint32_t length = bigEndian16(bytes, at + 2);
        if (marker == 0xda || length < 2) break;  // start of scan: no more headers
        if (marker == 0xe0 && length >= 14 && at + 4 + 12 <= bytes.size() &&
            bytes.substr(at + 4, 5) == std::string_view("JFIF\0", 5)) {
            const auto unit = static_cast<unsigned char>(bytes[at + 11]);
            const double x = bigEndian16(bytes, at + 12);
            const double y = bigEndian16(bytes, at + 14);
            if (unit == 1) return Resolution{x, y};
            if (unit == 2) return Resolution{x * 2.54, y * 2.54};
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// BMP: the info header's pixels per metre.
std::optional<Resolution> bmpResolution(std::string_view bytes) {
    const size_t infoHeader = 14;
    if (bytes.size() < infoHeader + 32) return std::nullopt;
    if (littleEndian32(bytes, infoHeader) < 40) return std::nullopt;  // old core header: no resolution
    const int32_t perMetreX = littleEndian32(bytes, infoHeader + 24);
    const int32_t perMetreY = littleEndian32(bytes, infoHeader + 28);
    return Resolution{perMetreX * kMetersPerInch, perMetreY * kMetersPerInch};
}

std::optional<Resolution> declaredResolution(PictureFormat format, std::string_view bytes) {
    switch (format) {
    case PictureFormat::Png: return pngResolution(bytes);
    case PictureFormat::Jpeg: return jpegResolution(bytes);
    case PictureFormat::Bmp: return bmpResolution(bytes);
    case PictureFormat::Gif: return std::nullopt;
    }
    return std::nullopt;
}

// Resolutions outside this range are taken as undeclared.
bool plausibleDpi(double dpi) { return dpi >= 1.0 && dpi <= 10000.0; }

}  // namespace

std::string_view mediaExtension(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png: return "png";
    case PictureFormat::Jpeg: return "jpeg";
    case PictureFormat::Gif: return "gif";
    case PictureFormat::Bmp: return "bmp";
    }
    return "png";
}

std::string_view mediaContentType(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png: return "image/png";
    case PictureFormat::Jpeg: return "image/jpeg";
    case PictureFormat::Gif: return "image/gif";
    case PictureFormat::Bmp: return "image/bmp";
    }
    return "image/png";
}

ProbedPicture probePictureBytes(std::string_view bytes) {
    const std::optional<PictureFormat> format = formatFromMagic(bytes);
    if (!format) throw std::invalid_argument("not a PNG, JPEG, GIF or BMP picture");
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) throw std::invalid_argument("picture file too large");

    int width = 0;
    int height = 0;
    int components = 0;
    const int ok = stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                                         &width, &height, &components);
    if (!ok || width <= 0 || height <= 0) {
        const char* reason = stbi_failure_reason();
        throw std::invalid_argument(std::string("damaged picture") + (reason ? std::string(" (") + reason + ")" : ""));
    }

    ProbedPicture picture;
    picture.format = *format;
    picture.widthPixels = width;
    picture.heightPixels = height;
    if (const auto resolution = declaredResolution(*format, bytes)) {
        if (plausibleDpi(resolution->x) && plausibleDpi(resolution->y)) {
            picture.dpiX = resolution->x;
            picture.dpiY = resolution->y;
        }
    }
    return picture;
}

PictureFile readPictureFile(const std::string& path) {
    PictureFile result;
    result.bytes = files::readRegularFile(path, files::kMaxPictureFileBytes, "a picture");
    try {
        result.picture = probePictureBytes(result.bytes);
    } catch (const std::invalid_argument& e) {
        raiseSpreadsheet("The file \"" + path + "\" cannot be inserted as a picture: " + e.what() + ".");
    }
    return result;
}

}  // namespace kbx::ooxml
