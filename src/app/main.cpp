#include <string>
#include <vector>

#include "app/run_driver.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return orvane::run_orvane(arguments);
}
