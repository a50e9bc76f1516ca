#include "platform/installed_name.hpp"

namespace orvane {

const char* installed_program_name() { return "orvane.exe"; }

}  // namespace orvane
