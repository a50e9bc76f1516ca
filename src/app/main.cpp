#include "app/run_driver.hpp"
#include "platform/interruption.hpp"

int main(int argc, char** argv) {
    orvane::catch_interruptions();
    const int status = orvane::run_orvane(argc, argv);
    // A run that an interruption stopped has reported its failure; it now ends as interrupted.
    if (status == 2 && orvane::interrupted()) orvane::end_as_interrupted();
    return status;
}
