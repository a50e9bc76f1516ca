#include "platform/output_file.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/temp_dir.hpp"

namespace orvane {
namespace {

// An output written where a longer file was (no staging possible there) must not keep its tail; an
// empty file is only written into.
TEST(OpenOutputFile, EmptiesAnExistingFileOnceAndWritesAnEmptyOne) {
    test::TempDir dir;
    for (const std::size_t old_size : {std::size_t{0}, std::size_t{1000}}) {
        const auto path = dir.file("out.bin");
        test::write_file(path, test::Bytes(old_size, 0x5A));
        std::FILE* file = open_output_file(path);
        ASSERT_NE(file, nullptr);
        std::fputs("new", file);
        std::fclose(file);
        EXPECT_EQ(test::read_file(path), (test::Bytes{'n', 'e', 'w'})) << old_size;
    }
}

}  // namespace
}  // namespace orvane
