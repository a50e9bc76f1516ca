#pragma once

#include <filesystem>

#include "output/tag_set.hpp"
#include "input/input_analysis.hpp"

extern "C" {
#include <libavutil/dict.h>
}

namespace orvane {

// The .mka operation: the DTS frames, unchanged, in a Matroska file with sample-based timestamps and tags.
void mux_matroska(const std::filesystem::path& output_path, const InputAnalysis& analysis, bool overwrite, bool quiet,
                  const TagSet& tags);

void set_matroska_tags(AVDictionary** metadata, const TagSet& tags);

}  // namespace orvane
