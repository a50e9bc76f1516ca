#pragma once

#include <functional>
#include <ostream>

#include "app/command_line.hpp"

namespace orvane {

// What became of one file that did not fail.
enum class FileOutcome { Converted, Skipped };

// The single-file run's conversion: `options` names the input and the output as its two operands.
using FileConversion = std::function<FileOutcome(const RunOptions& options, std::ostream& report)>;

// The --batch run: each operand converted on its own by `convert`, into the output of the batch's
// kind named after it, several at once (--jobs). Collisions of outputs with inputs or each other are
// refused before any work; a failure does not stop the others. Each file's report and outcome line
// come in input order; then the count. Returns 2 when any file failed, 0 otherwise.
int run_batch(const RunOptions& options, const FileConversion& convert, std::ostream& report);

}  // namespace orvane
