#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/cover_picture.hpp"
#include "support/picture_bytes.hpp"

namespace orvane {
namespace {

std::string parse_error(const test::Bytes& bytes) {
    try {
        parse_cover_picture(bytes);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(CoverPicture, HeadersGiveTypeSizeAndDepth) {
    struct Case {
        test::Bytes bytes;
        std::string mime, file;
        std::uint32_t width, height, depth, colours;
    };
    test::Bytes jpeg_with_fill = test::jpeg_header_only(640, 480);
    jpeg_with_fill.insert(jpeg_with_fill.begin() + 20, {0xFF, 0xFF});  // fill bytes before a marker
    const Case cases[] = {
        {test::png_header_only(500, 400), "image/png", "cover.png", 500, 400, 24, 0},
        {test::png_header_only(7, 9, 16, 6), "image/png", "cover.png", 7, 9, 64, 0},
        {test::png_header_only(3, 3, 4, 3), "image/png", "cover.png", 3, 3, 24, 16},
        {test::png_header_only(3, 3, 1, 0), "image/png", "cover.png", 3, 3, 1, 0},
        {test::jpeg_header_only(1200, 1100), "image/jpeg", "cover.jpg", 1200, 1100, 24, 0},
        {test::jpeg_header_only(8, 16, 1), "image/jpeg", "cover.jpg", 8, 16, 8, 0},
        {jpeg_with_fill, "image/jpeg", "cover.jpg", 640, 480, 24, 0},
    };
    for (const Case& c : cases) {
        const CoverPicture picture = parse_cover_picture(c.bytes);
        EXPECT_EQ(picture.mime_type, c.mime);
        EXPECT_EQ(picture.file_name, c.file);
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        EXPECT_EQ(picture.depth, c.depth) << c.width;
        EXPECT_EQ(picture.colours, c.colours);
        EXPECT_EQ(picture.bytes, c.bytes);
    }
}

TEST(CoverPicture, AnythingElseIsRefused) {
    test::Bytes jpeg = test::jpeg_header_only(10, 10);
    test::Bytes cut_segment(jpeg.begin(), jpeg.begin() + 24);
    test::Bytes no_frame(jpeg.begin(), jpeg.begin() + 20);
    no_frame.insert(no_frame.end(), {0xFF, 0xDA, 0, 2});
    test::Bytes png = test::png_header_only(10, 10);
    test::Bytes not_ihdr = png;
    not_ihdr[12] = 'X';
    EXPECT_EQ(parse_error({'G', 'I', 'F', '8', '9', 'a'}), "not a JPEG or PNG picture");
    EXPECT_EQ(parse_error({}), "not a JPEG or PNG picture");
    for (const test::Bytes& bad : {cut_segment, no_frame, test::Bytes(jpeg.begin(), jpeg.begin() + 3)}) {
        EXPECT_EQ(parse_error(bad), "damaged JPEG header");
    }
    for (const test::Bytes& bad : {not_ihdr, test::Bytes(png.begin(), png.begin() + 28), test::png_header_only(1, 1, 8, 5),
                                   test::png_header_only(1, 1, 0, 0)}) {
        EXPECT_EQ(parse_error(bad), "damaged PNG header");
    }
    EXPECT_EQ(parse_error(test::png_header_only(0, 10)), "empty picture in its header");
    EXPECT_EQ(parse_error(test::jpeg_header_only(10, 0)), "empty picture in its header");
    test::Bytes huge = test::png_header_only(10, 10);
    huge.resize(kMaxCoverPictureSize + 1);
    EXPECT_EQ(parse_error(huge), "picture larger than 16 MiB");
}

}  // namespace
}  // namespace orvane
