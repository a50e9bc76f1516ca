#include "platform/command_line_arguments.hpp"

#include <stdexcept>

#include <windows.h>
#include <shellapi.h>

namespace orvane {
namespace {

std::string utf8_from_wide(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw std::runtime_error("unable to convert the command line to UTF-8");
    std::string converted(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.pop_back();  // the terminating null
    return converted;
}

}  // namespace

// The narrow argument vector holds the arguments in the ANSI code page, where a name like "雨.wav"
// or a tag like "Björk" arrives as '?' or as bytes that are not UTF-8. The wide command line holds
// them whole; it is split by the system's own rules and converted here, before anything reads it.
std::vector<std::string> command_line_arguments(int, char**) {
    int count = 0;
    wchar_t** const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) throw std::runtime_error("unable to read the command line");
    std::vector<std::string> arguments;
    try {
        for (int i = 1; i < count; ++i) arguments.push_back(utf8_from_wide(wide[i]));
    } catch (...) {
        ::LocalFree(wide);
        throw;
    }
    ::LocalFree(wide);
    return arguments;
}

}  // namespace orvane
