#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "common/program_info.hpp"
#include "flac/flac_metadata_block.hpp"
#include "flac/vorbis_comment.hpp"

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t le32_at(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Bytes file_contents(std::FILE* file) {
    std::fflush(file);
    const long size = std::ftell(file);
    Bytes bytes(static_cast<std::size_t>(size));
    std::rewind(file);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    return bytes;
}

TEST(VorbisComments, KeysFollowTheFixedOrderAndEncoderComesLast) {
    EXPECT_EQ(build_vorbis_comments(TagSet{}), std::vector<std::string>{"ENCODER=ORVANE 1.0.1.0"});

    TagSet tags;
    tags.composer = "Comp";
    tags.title = "A=B ";  // copied byte for byte, "=" and trailing space included
    tags.artist = "";     // empty counts as absent
    EXPECT_EQ(build_vorbis_comments(tags),
              (std::vector<std::string>{"TITLE=A=B ", "COMPOSER=Comp", "ENCODER=ORVANE 1.0.1.0"}));

    const TagSet all{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"};
    EXPECT_EQ(build_vorbis_comments(all),
              (std::vector<std::string>{"TITLE=1", "ARTIST=2", "ALBUM=3", "ALBUMARTIST=4", "GENRE=5", "DATE=6",
                                        "TRACKNUMBER=7", "TRACKTOTAL=8", "DISCNUMBER=9", "DISCTOTAL=10",
                                        "COMMENT=11", "COMPOSER=12", "COPYRIGHT=13", "ENCODER=ORVANE 1.0.1.0"}));
}

TEST(VorbisComments, BlockLayout) {
    TagSet tags;
    tags.genre = "Rock";
    File file(std::tmpfile());
    ASSERT_TRUE(file);
    write_vorbis_comment_block(file.get(), tags);
    const Bytes bytes = file_contents(file.get());

    const std::size_t vendor = std::strlen(kVendorString);
    const std::string genre = "GENRE=Rock";
    const std::string encoder = "ENCODER=ORVANE 1.0.1.0";
    const std::size_t body = 4 + vendor + 4 + 4 + genre.size() + 4 + encoder.size();
    ASSERT_EQ(bytes.size(), 4 + body);
    EXPECT_EQ(bytes[0], 0x84);
    EXPECT_EQ((bytes[1] << 16 | bytes[2] << 8 | bytes[3]), static_cast<int>(body));
    EXPECT_EQ(le32_at(bytes, 4), vendor);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 8 + static_cast<long>(vendor)), kVendorString);
    std::size_t at = 8 + vendor;
    EXPECT_EQ(le32_at(bytes, at), 2u);
    EXPECT_EQ(le32_at(bytes, at + 4), genre.size());
    EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(at) + 8, bytes.begin() + static_cast<long>(at + 8 + genre.size())),
              genre);
    at += 8 + genre.size();
    EXPECT_EQ(le32_at(bytes, at), encoder.size());
    EXPECT_EQ(std::string(bytes.begin() + static_cast<long>(at) + 4, bytes.end()), encoder);
}

TEST(VorbisComments, BodyLimitIsTwentyFourBits) {
    // Fill TITLE so the body is exactly the largest length the block header can hold.
    const std::size_t fixed = build_vorbis_comment_body(TagSet{}).size() + 4 + std::strlen("TITLE=");
    TagSet tags;
    tags.title.assign(kMaxMetadataBlockBody - fixed, 't');
    ASSERT_EQ(build_vorbis_comment_body(tags).size(), kMaxMetadataBlockBody);

    File file(std::tmpfile());
    ASSERT_TRUE(file);
    write_vorbis_comment_block(file.get(), tags);
    const Bytes bytes = file_contents(file.get());
    ASSERT_EQ(bytes.size(), 4 + kMaxMetadataBlockBody);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0x84, 0xFF, 0xFF, 0xFF}));

    tags.title.push_back('t');
    File refused(std::tmpfile());
    ASSERT_TRUE(refused);
    try {
        write_vorbis_comment_block(refused.get(), tags);
        ADD_FAILURE() << "a body one byte over the limit was written";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "FLAC metadata is too large");
    }
    EXPECT_TRUE(file_contents(refused.get()).empty());
}

}  // namespace
}  // namespace orvane
