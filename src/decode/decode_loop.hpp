#pragma once

#include <cstddef>
#include <ostream>

#include "dts/dts_source.hpp"
#include "output/output_settings.hpp"

namespace orvane {

// Further settings of the decode: `conceal_damage` and `threads` from the command line; the other is
// an internal knob, changed only by tests.
struct DecodeTuning {
    // Frames inside the stream that the decoder refuses become silence of their duration instead of
    // ending the run.
    bool conceal_damage = false;
    std::size_t parser_piece_size = kDefaultParserPieceSize;  // bytes offered to the parser per call
    // Above 1, the outputs are encoded on a thread of their own while the stream is decoded.
    unsigned threads = 1;
};

// The .flac and .wav operations (`settings.kind`): decodes the stream, fed segment by segment through
// one parser and one decoder, into 24-bit PCM, one output per track, cut at the boundaries sample
// exactly (each output holds exactly its samples); a file is the one track without boundaries. What
// the decode finds (the decoded format, damaged frames, a cut last frame) goes to `report`.
void decode_to_pcm(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                   std::ostream& report, const DecodeTuning& tuning = DecodeTuning{});

}  // namespace orvane
