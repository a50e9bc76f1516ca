#pragma once

#include <string>
#include <string_view>

#include "input/cue_sheet.hpp"
#include "input/input_analysis.hpp"
#include "common/track_list.hpp"

namespace orvane {

// The audio tracks of a sheet whose one file is the analysed image, placed in the image's output
// (see boundary_samples: `whole_frames` for Matroska). The sheet's CD frames are 1/75 s of the
// carrier. Raises when the image is no PCM carrier, or an index lies beyond the image or before the
// one ahead of it.
TrackList place_cue_sheet(const CueSheet& sheet, const InputAnalysis& analysis, bool whole_frames);

// The sheet's text for the image's output named `file_name`, which starts at the stream's first sync
// word: its INDEX times moved back by the CD frames before it (see cue_sheet_text_for).
std::string embedded_cue_sheet(const CueSheet& sheet, const InputAnalysis& analysis, std::string_view file_name);

}  // namespace orvane
