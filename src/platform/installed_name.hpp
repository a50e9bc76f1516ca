#pragma once

namespace orvane {

// The program's file name as installed on this platform, as the usage text shows it.
const char* installed_program_name();

}  // namespace orvane
