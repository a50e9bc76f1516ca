// Runs the examples of the README and of the manual page against the built program, so the
// documentation cannot drift from what the program does and prints.
//
// README: every ```console block is a run in a fresh directory. Lines starting with "$ " are
// commands ("> " lines continue them); the lines up to the next command are the output expected on
// standard output and standard error together, compared exactly except that "[...]" in a line
// matches any text. The input files are made first by the commands of the
// "<!-- doc-test setup: ... -->" lines just before the block (the sample generator is on PATH as
// make-dts-sample). Manual page: the EXAMPLES section is one such run, its setup lines being
// ".\" doc-test setup: ..." comments; the commands are roff-escaped, and output is compared only
// where the page shows some.
//
// A command must exit with status 0, or with status 2 when its shown output holds an "Error: "
// report (unless the command handles the failure itself with "||"). An example whose output kind is
// not built yet ("... is not available in this build") is skipped with a note.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "support/process_runner.hpp"
#include "support/temp_dir.hpp"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = ORVANE_SOURCE_DIR;
constexpr const char* kNotBuiltYet = "is not available in this build";

struct Example {
    std::string command;  // continuation lines joined with line feeds
    std::string expected;
    bool output_shown = false;
    int line = 0;
};

struct ExampleRun {
    std::string where;  // file:line of the block
    std::vector<std::string> setup;
    std::vector<Example> examples;
};

std::vector<std::string> read_lines(const fs::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string strip_trailing_newlines(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Adds one line of a block: a command, a continuation of it, or output.
void add_block_line(ExampleRun& run, const std::string& line, int number, const std::string& where) {
    if (starts_with(line, "$ ")) {
        run.examples.push_back({line.substr(2), "", false, number});
    } else if (starts_with(line, "> ") && !run.examples.empty() && !run.examples.back().output_shown) {
        run.examples.back().command += "\n" + line.substr(2);
    } else if (run.examples.empty()) {
        ADD_FAILURE() << where << ": output before the first command: " << line;
    } else {
        Example& example = run.examples.back();
        example.expected += line + "\n";
        example.output_shown = true;
    }
}

std::vector<ExampleRun> readme_runs(const fs::path& path) {
    const std::vector<std::string> lines = read_lines(path);
    const std::regex setup_line(R"(^<!-- doc-test setup: (.*) -->\s*$)");
    std::vector<ExampleRun> runs;
    std::vector<std::string> setup;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        if (std::regex_match(lines[i], match, setup_line)) {
            setup.push_back(match[1]);
        } else if (lines[i] == "```console") {
            ExampleRun run{"README.md:" + std::to_string(i + 1), setup, {}};
            setup.clear();
            for (++i; i < lines.size() && lines[i] != "```"; ++i) {
                add_block_line(run, lines[i], static_cast<int>(i + 1), run.where);
            }
            // In the README a command without output lines claims to print nothing.
            for (Example& example : run.examples) example.output_shown = true;
            runs.push_back(run);
        } else if (starts_with(lines[i], "```") && !setup.empty()) {
            ADD_FAILURE() << "README.md:" << i + 1 << ": doc-test setup before a block that is not ```console";
            setup.clear();
        }
    }
    return runs;
}

// Turns the roff escapes used in the page's commands back into the characters typed.
std::string unescape_roff(const std::string& text, const std::string& where) {
    static const std::vector<std::pair<std::string, std::string>> escapes = {
        {"\\-", "-"},  {"\\(dq", "\""}, {"\\(aq", "'"}, {"\\(ti", "~"}, {"\\(ha", "^"}, {"\\e", "\\"},
        {"\\\\", "\\"}, {"\\&", ""},    {"\\fB", ""},   {"\\fI", ""},   {"\\fR", ""},   {"\\fP", ""}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '\\') {
            for (const auto& [escape, plain] : escapes) {
                if (text.compare(i, escape.size(), escape) == 0) {
                    out += plain;
                    i += escape.size();
                    replaced = true;
                    break;
                }
            }
            if (!replaced) {
                ADD_FAILURE() << where << ": unknown roff escape in an example: " << text.substr(i, 4);
                out += text[i++];
            }
        } else {
            out += text[i++];
        }
    }
    return out;
}

ExampleRun manual_run(const fs::path& path) {
    const std::vector<std::string> lines = read_lines(path);
    ExampleRun run{"orvane.1 EXAMPLES", {}, {}};
    const std::string setup_prefix = ".\\\" doc-test setup: ";
    bool in_examples = false;
    bool in_display = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string where = "orvane.1:" + std::to_string(i + 1);
        if (starts_with(line, ".SH")) {
            in_examples = line == ".SH EXAMPLES";
        } else if (!in_examples) {
            continue;
        } else if (starts_with(line, setup_prefix)) {
            run.setup.push_back(line.substr(setup_prefix.size()));
        } else if (line == ".EX") {
            in_display = true;
        } else if (line == ".EE") {
            in_display = false;
        } else if (in_display) {
            add_block_line(run, unescape_roff(line, where), static_cast<int>(i + 1), where);
        }
    }
    return run;
}

// A line of expected output, where "[...]" stands for any text.
bool line_matches(const std::string& pattern, const std::string& line) {
    const std::string hole = "[...]";
    std::vector<std::string> pieces;
    for (std::size_t from = 0;;) {
        const std::size_t at = pattern.find(hole, from);
        pieces.push_back(pattern.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) break;
        from = at + hole.size();
    }
    if (pieces.size() == 1) return pattern == line;
    if (!starts_with(line, pieces.front())) return false;
    std::size_t position = pieces.front().size();
    for (std::size_t k = 1; k + 1 < pieces.size(); ++k) {
        const std::size_t at = line.find(pieces[k], position);
        if (at == std::string::npos) return false;
        position = at + pieces[k].size();
    }
    const std::string& last = pieces.back();
    return line.size() >= position + last.size() && line.compare(line.size() - last.size(), last.size(), last) == 0;
}

bool output_matches(const std::string& expected, const std::string& actual) {
    std::vector<std::string> want;
    std::vector<std::string> got;
    std::istringstream w(strip_trailing_newlines(expected));
    std::istringstream g(strip_trailing_newlines(actual));
    for (std::string line; std::getline(w, line);) want.push_back(line);
    for (std::string line; std::getline(g, line);) got.push_back(line);
    if (want.size() != got.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (!line_matches(want[i], got[i])) return false;
    }
    return true;
}

// The built program and the sample generator under their documented names, first on PATH.
struct Workspace {
    TempDir dir;
    fs::path bin = dir.file("bin");
    fs::path work = dir.file("work");
    Workspace() {
        fs::create_directories(bin);
        fs::create_directories(work);
        fs::create_symlink(ORVANE_BINARY_PATH, bin / "orvane");
        fs::create_symlink(ORVANE_SAMPLE_TOOL_PATH, bin / "make-dts-sample");
    }
    ProcessResult shell(const std::string& command) const {
        const std::string script = "cd '" + work.string() + "' || exit 99\nexport PATH='" + bin.string() +
                                   "':\"$PATH\" LC_ALL=C\n{\n" + command + "\n} 2>&1\n";
        return run_program("bash", {"-c", script});
    }
};

// Runs the examples of one block; returns the number skipped because their output kind is not built yet.
int check_run(const ExampleRun& run) {
    Workspace space;
    for (const std::string& command : run.setup) {
        const ProcessResult made = space.shell(command);
        if (made.status != 0) {
            ADD_FAILURE() << run.where << ": setup failed (status " << made.status << "): " << command << "\n"
                          << made.out;
            return 0;
        }
    }
    int skipped = 0;
    for (const Example& example : run.examples) {
        const ProcessResult result = space.shell(example.command);
        const std::string where = run.where + ", example at line " + std::to_string(example.line);
        if (result.out.find(kNotBuiltYet) != std::string::npos &&
            example.expected.find(kNotBuiltYet) == std::string::npos) {
            std::cout << "[ SKIPPED  ] " << where << ": " << example.command << " (not built yet)\n";
            ++skipped;
            continue;
        }
        const bool shows_error = example.expected.find("Error: ") == 0 ||
                                 example.expected.find("\nError: ") != std::string::npos;
        const int wanted_status = shows_error && example.command.find("||") == std::string::npos ? 2 : 0;
        EXPECT_EQ(result.status, wanted_status) << where << ": $ " << example.command << "\n" << result.out;
        if (example.output_shown) {
            EXPECT_TRUE(output_matches(example.expected, result.out))
                << where << ": $ " << example.command << "\n--- documented:\n"
                << example.expected << "--- printed:\n"
                << result.out;
        }
    }
    return skipped;
}

constexpr const char* kLinuxSessions = "the examples are Linux shell sessions, run with the Linux build";

TEST(Documentation, ReadmeExamplesPrintWhatTheyShow) {
    if (testing_windows_build()) GTEST_SKIP() << kLinuxSessions;
    const std::vector<ExampleRun> runs = readme_runs(kSourceDir / "README.md");
    ASSERT_FALSE(runs.empty());
    for (const ExampleRun& run : runs) check_run(run);
}

TEST(Documentation, ManualPageExamplesRun) {
    if (testing_windows_build()) GTEST_SKIP() << kLinuxSessions;
    const ExampleRun run = manual_run(kSourceDir / "docs/orvane.1");
    ASSERT_GE(run.examples.size(), 5u);
    check_run(run);
}

// Every output kind, the scan, the EAC mode and the batch conversion are shown in both documents.
TEST(Documentation, ExamplesCoverEveryOperation) {
    std::vector<std::string> readme_commands;
    for (const ExampleRun& run : readme_runs(kSourceDir / "README.md")) {
        for (const Example& example : run.examples) readme_commands.push_back(example.command);
    }
    std::vector<std::string> manual_commands;
    for (const Example& example : manual_run(kSourceDir / "docs/orvane.1").examples) {
        manual_commands.push_back(example.command);
    }
    const std::vector<std::string> wanted = {"--scan", "--eac", "--batch", ".dts", ".mka", ".flac", ".wav"};
    for (const auto* commands : {&readme_commands, &manual_commands}) {
        const char* name = commands == &readme_commands ? "README.md" : "orvane.1";
        for (const std::string& word : wanted) {
            const bool found = std::any_of(commands->begin(), commands->end(), [&](const std::string& command) {
                if (word[0] == '-') return command.find(word) != std::string::npos;
                // An output operand: the second operand of an orvane command, or a name ending so.
                const std::regex output("orvane( --?[a-z]+)* [^ ]+ [^ ]*\\" + word + "( |$)");
                return std::regex_search(command, output);
            });
            EXPECT_TRUE(found) << name << " has no example with " << word;
        }
    }
}

// The word stands alone: --album is not found inside --album-artist.
bool mentions(const std::string& text, const std::string& word) {
    const auto part_of_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '\\'; };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !part_of_word(text[at - 1])) && (end == text.size() || !part_of_word(text[end]))) return true;
    }
    return false;
}

TEST(Documentation, EveryOptionIsDocumentedAndCompleted) {
    std::set<std::string> options = {"--help", "-h"};
    const std::string usage = usage_text("orvane");
    const std::regex option_pattern("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), option_pattern); it != std::sregex_iterator(); ++it) {
        options.insert(it->str());
    }
    ASSERT_GE(options.size(), 21u);

    const std::string manual = read_text(kSourceDir / "docs/orvane.1");
    const std::string completion = read_text(kSourceDir / "completions/orvane");
    const std::string readme = read_text(kSourceDir / "README.md");
    // The Windows zip's README is all its users get.
    const std::string windows_readme = read_text(kSourceDir / "docs/README-windows.txt");
    for (const std::string& option : options) {
        std::string in_roff;
        for (char c : option) in_roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(mentions(manual, in_roff)) << "orvane.1 does not describe " << option;
        if (option != "-h") {
            EXPECT_TRUE(mentions(completion, option)) << "completion does not offer " << option;
            EXPECT_TRUE(mentions(readme, option)) << "README.md does not name " << option;
            EXPECT_TRUE(mentions(windows_readme, option)) << "README-windows.txt does not name " << option;
        }
    }
}

TEST(Documentation, ManualPageFormatsWithoutWarnings) {
    const ProcessResult groff =
        run_program("groff", {"-man", "-Tutf8", "-ww", "-z", (kSourceDir / "docs/orvane.1").string()});
    if (groff.status == 127) GTEST_SKIP() << "groff is not installed";
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.err, "");
}

TEST(Documentation, PlaceholdersMatchOnlyWhatTheyStandFor) {
    EXPECT_TRUE(output_matches("a\nb\n", "a\nb"));
    EXPECT_FALSE(output_matches("a\nb", "a\nb\nc"));
    EXPECT_FALSE(output_matches("a\n\nb", "a\nb"));
    EXPECT_TRUE(line_matches("[dca @ [...]] frame [...] ignored", "[dca @ 0x55d0] frame 12 ignored"));
    EXPECT_FALSE(line_matches("[dca @ [...]] frame", "[dca @ 0x55d0] frame 12"));
    EXPECT_TRUE(line_matches("x[...]yz", "xyz"));
    EXPECT_FALSE(line_matches("x[...]yz", "xz"));
    EXPECT_TRUE(line_matches("x[...]", "x"));
}

}  // namespace
}  // namespace orvane::test
