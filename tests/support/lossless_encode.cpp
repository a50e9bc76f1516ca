#include "support/lossless_encode.hpp"

#include <stdexcept>

#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"

namespace orvane::test {

Bytes encode_lossless(const Bytes& wav, LosslessTool tool, const std::vector<std::string>& options) {
    TempDir dir;
    const auto input = dir.file("in.wav");
    const auto output = dir.file(tool == LosslessTool::Flac ? "out.flac" : "out.wv");
    write_file(input, wav);
    std::vector<std::string> args = {"-q", "-o", output.string()};
    if (tool == LosslessTool::Flac) args = {"--silent", "-o", output.string()};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(input.string());
    const ProcessResult result = run_program(tool == LosslessTool::Flac ? "flac" : "wavpack", args);
    if (result.status != 0) throw std::runtime_error("encoding failed: " + result.err);
    return read_file(output);
}

std::size_t flac_first_frame(const Bytes& flac) {
    std::size_t position = 4;
    for (bool last = false; !last && position + 4 <= flac.size();) {
        last = (flac[position] & 0x80) != 0;
        position += 4 + (std::size_t{flac[position + 1]} << 16 | std::size_t{flac[position + 2]} << 8 | flac[position + 3]);
    }
    return position;
}

}  // namespace orvane::test
