#pragma once

#include <filesystem>

#include "common/tag_set.hpp"
#include "common/track_list.hpp"

namespace orvane {

// What a run makes of the DTS stream, named by the output's extension or the --gapless value.
enum class OutputKind { Dts, Mka, Flac, Wav };

// How a writer makes its outputs.
struct OutputSettings {
    OutputKind kind = OutputKind::Flac;
    bool overwrite = false;  // an existing output is replaced
};

// One output file of a writer: a whole file's, or one track's of a disc.
struct TrackOutput {
    std::filesystem::path path;
    TagSet tags;           // .flac and .mka only
    TrackList track_list;  // a FLAC CUESHEET block or Matroska chapters
};

}  // namespace orvane
