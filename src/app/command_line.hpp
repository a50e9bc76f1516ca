#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/tag_set.hpp"
#include "output/output_settings.hpp"

namespace orvane {

struct RunOptions {
    bool overwrite = false;
    bool scan = false;
    bool quiet = false;
    bool eac = false;
    bool skip_existing = false;  // an existing output is reported and left alone
    std::optional<OutputKind> gapless;  // the operands are consecutive tracks of one disc, converted into these
    std::optional<OutputKind> batch;    // each operand converted on its own into one of these beside it
    // --batch: conversions at once; --gapless and --cue: threads of the decode; 0 for one per processor
    unsigned jobs = 0;
    std::string output_dir;             // where the outputs go instead of the named or the inputs' folder
    bool conceal_damage = false;  // damaged frames decode to silence instead of ending the run
    std::string cue;  // a CUE sheet of the input image: its track list goes into the output
    TagSet tags;
    std::string picture;  // --picture: the front cover's file, read into `tags` before any other work
    std::vector<std::string> operands;
};

enum class ParseAction { Run, ShowUsage, ShowVersion };

struct ParsedCommandLine {
    ParseAction action = ParseAction::Run;
    RunOptions options;
};

// Parses arguments (without the program name), left to right; raises the first error met.
ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments);

// The --jobs value, or the machine's processors when it is not given.
unsigned jobs_or_processors(const RunOptions& options);

// The usage text, naming the program as it is installed.
std::string usage_text(std::string_view program_name);

// The lower-cased extension of the output path's file name, dot included, or "" when it has none.
std::string output_extension(const std::string& output_operand);

// The kind a --gapless value or an extension after its dot names ("dts", "mka", "flac", "wav"), none
// for any other; and the name of a kind.
std::optional<OutputKind> output_kind_named(std::string_view name);
std::string output_kind_name(OutputKind kind);

// The kind the output path's extension names, any letter case.
std::optional<OutputKind> output_kind_of(const std::string& output_operand);

}  // namespace orvane
