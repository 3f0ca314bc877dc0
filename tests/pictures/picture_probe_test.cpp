#include "ooxml/picture_probe.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "value/runtime_error.h"

namespace kbx::ooxml {
namespace {

using test::dataFile;

struct Expected {
    const char* file;
    PictureFormat format;
    int32_t widthPixels;
    int32_t heightPixels;
    double widthPoints;
    double heightPoints;
};

TEST(PictureProbe, FindsFormatPixelsAndNaturalSizeOfEachFormat) {
    // Files made by Pillow (tests/data/pictures/make_pictures.py). A PNG at 72
    // dpi is stored as 2835 pixels per metre, i.e. 72.009 dpi.
    const Expected cases[] = {
        {"pictures/red_200x100pt_72dpi.png", PictureFormat::Png, 200, 100, 200.0, 100.0},
        {"pictures/green_120x80px_nodpi.png", PictureFormat::Png, 120, 80, 90.0, 60.0},
        {"pictures/blue_300x150px_150dpi.jpg", PictureFormat::Jpeg, 300, 150, 144.0, 72.0},
        {"pictures/yellow_64x32px.gif", PictureFormat::Gif, 64, 32, 48.0, 24.0},
        {"pictures/cyan_40x20px_96dpi.bmp", PictureFormat::Bmp, 40, 20, 30.0, 15.0},
    };
    for (const Expected& expected : cases) {
        SCOPED_TRACE(expected.file);
        const PictureFile file = readPictureFile(dataFile(expected.file));
        EXPECT_EQ(file.picture.format, expected.format);
        EXPECT_EQ(file.picture.widthPixels, expected.widthPixels);
        EXPECT_EQ(file.picture.heightPixels, expected.heightPixels);
        EXPECT_NEAR(file.picture.widthPoints(), expected.widthPoints, 0.05);
        EXPECT_NEAR(file.picture.heightPoints(), expected.heightPoints, 0.05);
        EXPECT_FALSE(file.bytes.empty());
    }
    EXPECT_EQ(mediaExtension(PictureFormat::Jpeg), "jpeg");
    EXPECT_EQ(mediaContentType(PictureFormat::Bmp), "image/bmp");
}

TEST(PictureProbe, RefusesFilesThatAreNoPictureWithTheFileName) {
    for (const char* name : {"pictures/not_a_picture.png", "pictures/truncated.png", "pictures/make_pictures.py"}) {
        SCOPED_TRACE(name);
        const std::string path = dataFile(name);
        try {
            readPictureFile(path);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::Application);
            EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
        }
    }
    try {
        readPictureFile(dataFile("pictures/no_such_file.png"));
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
    }
    try {
        readPictureFile(dataFile("pictures"));
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::PathFileAccessError);
    }
}

TEST(PictureProbe, SurvivesDamagedHeaders) {
    // Magic bytes followed by garbage or by nothing: refused, never a crash.
    const std::string pngMagic("\x89PNG\r\n\x1a\n", 8);
    const std::string inputs[] = {
        "",
        pngMagic,
        pngMagic + std::string("\xff\xff\xff\xff" "IHDR", 8),
        std::string("\xff\xd8\xff\xe0\x00\x01", 6),
        std::string("\xff\xd8\xff\xe0\xff\xff" "JFIF", 10),
        "GIF89a",
        "BM",
        std::string("BM") + std::string(60, '\xff'),
    };
    for (const std::string& input : inputs) {
        EXPECT_THROW(probePictureBytes(input), std::invalid_argument) << input.size() << " bytes";
    }
}

}  // namespace
}  // namespace kbx::ooxml
