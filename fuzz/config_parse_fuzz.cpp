// Fuzz target: Vantrel::Config::parse on any bytes.
//
// parse must return true or false and never crash or leak; on false the
// record is exactly what it was, on true it still keeps its own invariants
// (size and widths clamped, consultant terminated).
//
// A configuration run may open channel files and run commands. So that a
// fuzzing run touches nothing outside its scratch directory: `system` is
// replaced below by a stub that runs nothing, the run's names are relative,
// and a text that names a channel file together with a '/' or getenv (the
// only ways to reach a path outside the working directory) is skipped.
#include <Vantrel.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <ftw.h>
#include <unistd.h>

extern "C" int system(const char*) { return 0; }

namespace {

bool same_record(const Vantrel::Config& a, const Vantrel::Config& b) {
  return a.active == b.active && a.importance.level == b.importance.level &&
         a.importance.severity == b.importance.severity && a.importance.file == b.importance.file &&
         a.importance.line == b.importance.line && a.size == b.size && a.keep == b.keep &&
         a.display_mask == b.display_mask &&
         a.major_steps_display_width == b.major_steps_display_width &&
         a.minor_steps_display_width == b.minor_steps_display_width &&
         a.workflow_names_display_width == b.workflow_names_display_width &&
         a.workflow_ids_display_width == b.workflow_ids_display_width &&
         a.actors_display_width == b.actors_display_width &&
         std::memcmp(a.consultant, b.consultant, sizeof a.consultant) == 0;
}

bool within_bounds(const Vantrel::Config& c) {
  const unsigned widths[] = {c.major_steps_display_width, c.minor_steps_display_width,
                             c.workflow_names_display_width, c.workflow_ids_display_width,
                             c.actors_display_width};
  for (unsigned width : widths)
    if (width > 128) return false;
  return c.size >= 10 && c.size <= 1000000 &&
         std::memchr(c.consultant, '\0', sizeof c.consultant) != nullptr;
}

bool may_leave_scratch_dir(const std::string& text) {
  return text.find("_file") != std::string::npos &&
         (text.find('/') != std::string::npos || text.find("getenv") != std::string::npos);
}

// A record that is not the default one, so that "unchanged" means something.
Vantrel::Config start_record() {
  Vantrel::Config record;
  record.active = true;
  record.size = 77;
  record.keep = true;
  record.display_mask = 0x3;
  record.actors_display_width = 5;
  record.set_consultant("before");
  return record;
}

// The fuzzer's own paths (corpus directories, artifact prefix, dictionary)
// stay relative to the directory it was started in, though it then works in
// a scratch directory: they are made absolute before libFuzzer reads them.
std::vector<std::string> arguments;  // the rewritten argv points into these
std::vector<char*> argument_pointers;

std::string absolute(const std::string& start, const std::string& path) {
  return path.empty() || path[0] == '/' ? path : start + "/" + path;
}

std::string rewritten(const std::string& start, const std::string& arg) {
  for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
    const std::size_t length = std::strlen(flag);
    if (arg.compare(0, length, flag) == 0) return flag + absolute(start, arg.substr(length));
  }
  return arg[0] == '-' ? arg : absolute(start, arg);
}

// The scratch directory, with the channel files the runs made, goes when the
// fuzzer exits.
char scratch_dir[] = "/tmp/vantrel_fuzz_config_XXXXXX";

void remove_scratch_dir() {
  ::nftw(
      scratch_dir,
      [](const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char here[4096];
  if (::getcwd(here, sizeof here) == nullptr) std::abort();
  bool has_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    const std::string arg = (*argv)[i];
    has_prefix = has_prefix || arg.compare(0, 17, "-artifact_prefix=") == 0;
    arguments.push_back(i == 0 ? arg : rewritten(here, arg));
  }
  if (!has_prefix) arguments.push_back(std::string("-artifact_prefix=") + here + "/");
  for (std::string& arg : arguments) argument_pointers.push_back(&arg[0]);
  argument_pointers.push_back(nullptr);
  *argc = static_cast<int>(arguments.size());
  *argv = argument_pointers.data();

  if (::mkdtemp(scratch_dir) == nullptr || ::chdir(scratch_dir) != 0) std::abort();
  std::atexit(remove_scratch_dir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (may_leave_scratch_dir(text)) return 0;
  const Vantrel::Config before = start_record();
  Vantrel::Config record = before;
  std::istringstream in(text);
  const bool ok = record.parse(in, "fuzz", "logs", "fuzz_trace.ini");
  if (!ok && !same_record(record, before)) std::abort();
  if (ok && !within_bounds(record)) std::abort();
  return 0;
}
