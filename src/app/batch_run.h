#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "imageio/page_source.h"
#include "system/atomic_file.h"

namespace quarnel {

// How the run uses the machine, where it reads its pages, and what the HTML report records of how
// it was started. None changes what the run prints or writes, pages read alike, but for that
// record.
struct RunOptions {
  int workers = 1;  // threads that read, analyse and compose pages
  // Bytes of packed boxes kept from the analysis for the output pass in a file in the output
  // folder (by default as DefaultFileBudget allows), or in memory where there is no such file (by
  // default as DefaultBoxBudget allows).
  std::optional<std::size_t> fileBudget;
  std::optional<std::size_t> memoryBudget;
  const PageSource* pages = nullptr;        // nullptr: the JPEG files themselves
  const FileWriter* files = nullptr;        // where pages and report are written; nullptr: the disk
  std::vector<std::string> arguments = {};  // the command line after the program name
  std::optional<std::string> startedAt = std::nullopt;  // the time the report gives; nullopt: now
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
