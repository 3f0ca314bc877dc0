#pragma once
// Recognising picture files and finding their natural size.

#include <cstdint>
#include <string>
#include <string_view>

namespace kbx::ooxml {

enum class PictureFormat { Png, Jpeg, Gif, Bmp };

struct ProbedPicture {
    PictureFormat format = PictureFormat::Png;
    int32_t widthPixels = 0;
    int32_t heightPixels = 0;
    // Resolution the file declares, 96 where it declares none.
    double dpiX = 96;
    double dpiY = 96;

    // Natural size in points: pixels at the file's resolution.
    double widthPoints() const { return widthPixels * 72.0 / dpiX; }
    double heightPoints() const { return heightPixels * 72.0 / dpiY; }
};

// Name ending used for the picture's media part ("png", "jpeg", "gif", "bmp").
std::string_view mediaExtension(PictureFormat format);
// Content type of the picture's media part ("image/png", ...).
std::string_view mediaContentType(PictureFormat format);

// Looks at the bytes of a picture file. Throws std::invalid_argument with a
// short reason when the bytes are no PNG, JPEG, GIF or BMP picture.
ProbedPicture probePictureBytes(std::string_view bytes);

// Reads and probes a picture file. A missing or unreadable file raises the
// matching file error; a file that is no picture raises error 1004 naming it.
struct PictureFile {
    ProbedPicture picture;
    std::string bytes;
};
PictureFile readPictureFile(const std::string& path);

}  // namespace kbx::ooxml
