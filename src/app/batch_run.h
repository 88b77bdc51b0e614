#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/command_line.h"

namespace quarnel {

// How the run uses the machine. Neither changes what the run prints or writes.
struct RunOptions {
  int workers = 1;  // threads that read, analyse and compose pages
  // Bytes of packed boxes kept from the analysis for the output pass in memory, and then in a
  // file in the output folder. By default the file's as DefaultFileBudget allows, and memory's
  // as DefaultBoxBudget allows only where the output folder cannot hold the file.
  std::optional<std::size_t> boxBudget;
  std::optional<std::size_t> fileBudget;
  std::function<void()> betweenPasses;  // called before the output pass starts (for tests)
};

// Runs the whole job for checked settings: lists the input folder, analyses every page, prints
// the summary and, with an output folder, writes the pages; with a report path, it then writes
// the report (also when pages failed, not when the folder holds no page). Progress and the summary
// go to `out`, errors to `err`, always in table order whatever the number of workers. Returns the
// process exit status:
// - 0 when the job was done (pages whose analysis failed are reported and do not change it);
// - 1 when the folder holds no page, when an output pass was asked for but no page has content,
//   when the output pass could not write every page it should have written, or when the report
//   could not be written.
int RunBatch(const RunSettings& settings, const RunOptions& options, std::FILE* out,
             std::FILE* err);

}  // namespace quarnel
