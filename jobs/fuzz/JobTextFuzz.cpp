// Feeds arbitrary bytes to the job-text reader. A text either fails with
// EJobTextError or builds a job file that loads; a loaded chart written as
// text (passwords as they are) builds the very same bytes again, and
// writing it with password references must work too.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "flowchart/FlowChart.h"
#include "jobs/Job.h"
#include "jobs/JobText.h"

using namespace kv;

namespace {
std::string Save(const TKVFlowChart& chart) {
  TMemoryStream m;
  chart.SaveToStream(m);
  return m.Bytes();
}

std::optional<std::string> Env(const std::string& name) {
  if (name.size() % 3 == 0) return std::nullopt;  // some variables are unset
  return "pw'" + name;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  try {
    bytes = JobTextToJobFileBytes(text, "fuzz", Env);
  } catch (const EJobTextError&) {
    return 0;
  }
  TKVFlowChart chart;
  TMemoryStream m(bytes);
  chart.LoadFromStream(m);
  const std::string once = Save(chart);
  const std::string plain = ChartToJobText(chart, {.WithPasswords = true});
  if (JobTextToJobFileBytes(plain, "again", Env) != once) __builtin_trap();
  ChartToJobText(chart);
  return 0;
}
