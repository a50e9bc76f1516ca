#include "app/command_line.hpp"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <utility>

#include "common/text_encoding.hpp"
#include "platform/utf8_path.hpp"

namespace orvane {
namespace {

std::string* tag_field(TagSet& tags, const std::string& option) {
    if (option == "--title") return &tags.title;
    if (option == "--artist") return &tags.artist;
    if (option == "--album") return &tags.album;
    if (option == "--album-artist" || option == "--albumartist") return &tags.album_artist;
    if (option == "--genre") return &tags.genre;
    if (option == "--date" || option == "--year") return &tags.date;
    if (option == "--track") return &tags.track;
    if (option == "--tracktotal") return &tags.track_total;
    if (option == "--disc") return &tags.disc;
    if (option == "--disctotal") return &tags.disc_total;
    if (option == "--comment") return &tags.comment;
    if (option == "--composer") return &tags.composer;
    if (option == "--copyright") return &tags.copyright;
    return nullptr;
}

// "--tag NAME=VALUE": a common name sets its field, so that TITLE=x is the title and not a second
// one; any other name is kept upper-cased, as Vorbis comment names compare without case.
void add_named_tag(TagSet& tags, const std::string& assignment) {
    const auto equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) throw std::runtime_error("--tag takes NAME=VALUE: " + assignment);
    std::string name = assignment.substr(0, equals);
    const std::string value = assignment.substr(equals + 1);
    for (char& c : name) {
        // The characters a Vorbis comment name may hold.
        if (c < 0x20 || c > 0x7D) throw std::runtime_error("tag name is not printable ASCII: --tag");
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!is_valid_utf8(value)) throw std::runtime_error("tag value is not valid UTF-8: --tag " + name);
    if (set_tag_by_name(tags, name, value)) return;
    std::erase_if(tags.extra, [&](const auto& entry) { return entry.first == name; });
    if (!value.empty()) tags.extra.emplace_back(name, value);
}

// The options that only set a flag; false for any other argument.
bool set_flag(RunOptions& options, const std::string& argument) {
    static const std::pair<const char*, bool RunOptions::*> kFlags[] = {
        {"--overwrite", &RunOptions::overwrite},          {"--scan", &RunOptions::scan},
        {"--quiet", &RunOptions::quiet},                  {"--skip-existing", &RunOptions::skip_existing},
        {"--conceal-damage", &RunOptions::conceal_damage},
    };
    if (argument == "--eac") {
        options.eac = options.overwrite = options.quiet = true;
        return true;
    }
    for (const auto& [name, flag] : kFlags) {
        if (argument == name) {
            options.*flag = true;
            return true;
        }
    }
    return false;
}

unsigned jobs_named(const std::string& value) {
    const bool digits = !value.empty() && value.size() <= 4 && value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(value) == 0) {
        throw std::runtime_error("--jobs takes a number of conversions at once, 1 or more: " + value);
    }
    return static_cast<unsigned>(std::stoul(value));
}

// The options that take the next argument as their value, whatever it is; false for any other.
bool set_valued_option(RunOptions& options, const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& option = arguments[i];
    std::string* const field = tag_field(options.tags, option);
    static const std::string kValued[] = {"--gapless", "--batch", "--jobs", "--output-dir",
                                          "--cue",     "--tag",   "--picture"};
    if (field == nullptr && std::ranges::find(kValued, option) == std::end(kValued)) return false;
    if (i + 1 >= arguments.size()) throw std::runtime_error(option + " requires a value");
    const std::string& value = arguments[++i];
    if (field != nullptr) {
        // FLAC and Matroska tags are UTF-8: bytes that are not would be written as garbage.
        if (!is_valid_utf8(value)) throw std::runtime_error("tag value is not valid UTF-8: " + option);
        *field = value;
    } else if (option == "--gapless") {
        options.gapless = output_kind_named(value);
        if (!options.gapless) throw std::runtime_error("--gapless takes flac, wav, dts or mka: " + value);
    } else if (option == "--batch") {
        options.batch = output_kind_named(value);
        if (!options.batch) throw std::runtime_error("--batch takes flac, wav, dts or mka: " + value);
    } else if (option == "--jobs") {
        options.jobs = jobs_named(value);
    } else if (option == "--output-dir") {
        if (value.empty()) throw std::runtime_error("--output-dir requires a value");
        options.output_dir = value;
    } else if (option == "--cue") {
        options.cue = value;
    } else if (option == "--tag") {
        add_named_tag(options.tags, value);
    } else {
        options.picture = value;
    }
    return true;
}

void check_batch(const RunOptions& options) {
    if (options.jobs > 0 && !options.batch && !options.gapless && options.cue.empty()) {
        throw std::runtime_error("--jobs requires --batch, --gapless or --cue");
    }
    if (!options.batch) return;
    for (const auto& [given, name] : {std::pair{options.gapless.has_value(), "--gapless"}, {options.eac, "--eac"},
                                      {options.scan, "--scan"}, {!options.cue.empty(), "--cue"}}) {
        if (given) throw std::runtime_error(std::string(name) + " cannot be combined with --batch");
    }
    // Album-wide tags suit every file of a folder; a title or a track number suits one file only.
    if (options.operands.size() > 1 && !options.tags.title.empty()) {
        throw std::runtime_error("--title cannot be combined with --batch of several files: every file would get "
                                 "the same title");
    }
    if (options.operands.size() > 1 && !options.tags.track.empty()) {
        throw std::runtime_error("--track cannot be combined with --batch of several files: every file would get "
                                 "the same track number");
    }
}

void check_combinations(const RunOptions& options) {
    check_batch(options);
    // Skipping an existing output and replacing it exclude each other; --eac replaces.
    if (options.skip_existing && options.eac) throw std::runtime_error("--skip-existing cannot be combined with --eac");
    if (options.skip_existing && options.overwrite) {
        throw std::runtime_error("--skip-existing cannot be combined with --overwrite");
    }
    if (!options.output_dir.empty() && options.scan) {
        throw std::runtime_error("--output-dir cannot be combined with --scan");
    }
    if (!options.cue.empty()) {
        if (options.gapless) throw std::runtime_error("--cue cannot be combined with --gapless");
        if (options.scan) throw std::runtime_error("--cue cannot be combined with --scan");
    }
    if (options.gapless) {
        if (options.eac) throw std::runtime_error("--gapless cannot be combined with --eac");
        if (options.scan) throw std::runtime_error("--gapless cannot be combined with --scan");
        // A skipped track would leave a hole in the album the mode exists to keep whole.
        if (options.skip_existing) throw std::runtime_error("--gapless cannot be combined with --skip-existing");
        if (!options.tags.title.empty()) {
            throw std::runtime_error("--title cannot be combined with --gapless: every track would get the same title");
        }
    }
}

}  // namespace

unsigned jobs_or_processors(const RunOptions& options) {
    return options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
}

std::string usage_text(std::string_view program_name) {
    const std::string name(program_name);
    return "ORVANE - DTS-in-WAV / DTS-CD converter with raw DTS compatibility\n"
           "\n"
           "Usage:\n"
           "  " + name + " <input> <output.flac|output.wav|output.dts|output.mka> [options]\n"
           "  " + name + " --eac <input> <output.flac|output.wav|output.dts|output.mka>\n"
           "  " + name + " --scan <input>\n"
           "  " + name + " --version\n"
           "  " + name + " --gapless <flac|wav|dts|mka> <track1> <track2> ... [options]\n"
           "  " + name + " --gapless <flac|wav|dts|mka> <sheet.cue> [options]\n"
           "  " + name + " <image> <image.flac|image.mka> --cue <sheet.cue> [options]\n"
           "  " + name + " --batch <flac|wav|dts|mka> <file1> <file2> ... [options]\n"
           "\n"
           "Options:\n"
           "  --overwrite    Replace an existing output file\n"
           "  --scan         Detect DTS and report carrier/packing information\n"
           "  --quiet        Suppress normal banner/status output where possible\n"
           "  --eac          EAC integration mode (implies --overwrite and --quiet)\n"
           "  --skip-existing   Leave an existing output file alone and report it as skipped\n"
           "  --conceal-damage  Decode damaged DTS frames as silence of their length instead of failing\n"
           "  --                End of options: every later argument is a file name\n"
           "  --gapless <format>   Convert consecutive tracks of one disc as one continuous stream, one\n"
           "                       output per track beside it (flac, wav, dts or mka), cut sample exactly;\n"
           "                       with a CUE sheet, the tracks it lists, cut from its image file(s), named\n"
           "                       and tagged from its texts\n"
           "  --batch <format>     Convert each file on its own into an output beside it, same name with the\n"
           "                       format's extension (flac, wav, dts or mka); one line per file, then a count\n"
           "  --jobs <n>           With --batch: conversions at once; with --gapless or --cue: tracks encoded\n"
           "                       at once while another thread decodes, 1 doing all on one thread\n"
           "                       (default: one per processor)\n"
           "  --output-dir <dir>   Put the output(s) into this folder instead (created if missing)\n"
           "  --cue <sheet.cue>    Put the track list of the input image's CUE sheet into the FLAC or\n"
           "                       Matroska output (CUESHEET block and tag, or chapters) with the disc's tags\n"
           "\n"
           "FLAC / Matroska tagging:\n"
           "  --title <text>          Track title\n"
           "  --artist <text>         Track artist\n"
           "  --album <text>          Album title\n"
           "  --album-artist <text>   Album artist\n"
           "  --albumartist <text>    Alias for --album-artist\n"
           "  --genre <text>          Genre\n"
           "  --date <text>           Date/year\n"
           "  --year <text>           Alias for --date\n"
           "  --track <n>             Track number\n"
           "  --tracktotal <n>        Total tracks\n"
           "  --disc <n>              Disc number\n"
           "  --disctotal <n>         Total discs\n"
           "  --comment <text>        Comment\n"
           "  --composer <text>       Composer\n"
           "  --copyright <text>      Copyright\n"
           "  --tag <NAME=value>      Any other tag (repeatable); a common NAME such as TITLE sets that field\n"
           "  --picture <file>        Front cover picture (JPEG or PNG)\n"
           "\n"
           "Inputs (the content decides what a file is, never its extension):\n"
           "  WAV/RF64        PCM carrier holding DTS: a DTS-CD rip or a DTS-in-WAV file (.wav, .dtswav)\n"
           "  FLAC, WavPack   DTS-CD rips stored losslessly (.flac, .wv), checked before any output\n"
           "  raw DTS         DTS elementary stream (.dts)\n"
           "  CUE sheet       the track list of a disc image (.cue), with --gapless or --cue\n"
           "\n"
           "Operations are selected by the output extension:\n"
           "  .dts   Extract raw DTS without decoding; source packing is preserved where required\n"
           "  .mka   Losslessly mux DTS into Matroska with duration, seeking and metadata\n"
           "  .flac  Decode DTS to 24-bit multichannel FLAC\n"
           "  .wav   Decode DTS to 24-bit multichannel PCM WAV\n"
           "\n"
           "Current limitations:\n"
           "  - WAV output is standard RIFF and therefore limited to <4 GiB.\n"
           "  - Tag metadata is written to FLAC and Matroska; WAV and raw DTS are untagged.\n";
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    RunOptions& options = parsed.options;
    bool options_ended = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options_ended || argument.empty() || argument[0] != '-') {
            options.operands.push_back(argument);
        } else if (argument == "--") {
            options_ended = true;
        } else if (argument == "--version" || argument == "--help" || argument == "-h") {
            parsed.action = argument == "--version" ? ParseAction::ShowVersion : ParseAction::ShowUsage;
            return parsed;
        } else if (!set_flag(options, argument) && !set_valued_option(options, arguments, i)) {
            throw std::runtime_error("unknown option: " + argument);
        }
    }
    check_combinations(options);
    return parsed;
}

std::string output_extension(const std::string& output_operand) {
    std::string extension = utf8_from_path(path_from_utf8(output_operand).extension());
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::optional<OutputKind> output_kind_named(std::string_view kind) {
    // A kind, like an output's extension, in any letter case.
    std::string name(kind);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "dts") return OutputKind::Dts;
    if (name == "mka") return OutputKind::Mka;
    if (name == "flac") return OutputKind::Flac;
    if (name == "wav") return OutputKind::Wav;
    return std::nullopt;
}

std::string output_kind_name(OutputKind kind) {
    switch (kind) {
        case OutputKind::Dts: return "dts";
        case OutputKind::Mka: return "mka";
        case OutputKind::Flac: return "flac";
        case OutputKind::Wav: break;
    }
    return "wav";
}

std::optional<OutputKind> output_kind_of(const std::string& output_operand) {
    const std::string extension = output_extension(output_operand);
    if (extension.empty()) return std::nullopt;
    return output_kind_named(std::string_view(extension).substr(1));
}

}  // namespace orvane
