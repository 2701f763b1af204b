#include <unistd.h>

#include <atomic>

#include "ZelTools/Portable.h"
#include "zeltools/portable/ProcessFacts.h"

extern char** environ;

namespace ZelTools {
namespace Portable {
namespace {

// The argument list and the pointers that argv() exposes (into args, then a
// null pointer).
struct ArgumentRecord {
  std::vector<std::string> args;
  std::vector<char*> argv;
};

// The process facts. Written only by ProcessInitExit::init() and exit(),
// which run while the library is loaded and unloaded, before and after host
// threads use it; read-only in between, so readers need no lock.
int process_id = 0;
ArgumentRecord* argument_record = nullptr;
std::string* process_name = nullptr;

// The number of live ProcessInitExit objects. acq_rel: the construction that
// finds 0 gathers the facts, and a later construction in another thread (a
// library loaded by it) sees them complete.
std::atomic<int> init_exit_count{0};

// What the readers give before the facts are gathered or after they are
// released: one empty argument. Made once under the language's guarded static
// initialisation, never changed or destroyed.
ArgumentRecord const& empty_record() {
  static ArgumentRecord const* const record = [] {
    ArgumentRecord* r = new ArgumentRecord;
    r->args.emplace_back();
    r->argv.push_back(nullptr);
    return r;
  }();
  return *record;
}

ArgumentRecord const& current_record() {
  return argument_record ? *argument_record : empty_record();
}

}  // namespace

int Process::id() const { return process_id; }

std::string Process::name() const { return process_name ? *process_name : std::string(); }

int Process::argc() const { return static_cast<int>(current_record().args.size()); }

std::vector<std::string> const& Process::args() const { return current_record().args; }

char** Process::argv() const { return const_cast<char**>(current_record().argv.data()); }

char** Process::envp() const { return environ; }

namespace Facts {

void refresh_process_id() { process_id = getpid(); }

}  // namespace Facts

ProcessInitExit::ProcessInitExit() {
  if (init_exit_count.fetch_add(1, std::memory_order_acq_rel) == 0) init();
}

ProcessInitExit::~ProcessInitExit() {
  if (init_exit_count.fetch_sub(1, std::memory_order_acq_rel) == 1) exit();
}

void ProcessInitExit::init() {
  process_id = getpid();
  ArgumentRecord* record = new ArgumentRecord;
  record->args = Facts::read_arguments(Facts::cmdline_path, Facts::executable_link);
  for (std::string& arg : record->args) record->argv.push_back(&arg[0]);
  record->argv.push_back(nullptr);
  argument_record = record;
  process_name = new std::string(Facts::name_from_argument(record->args.front()));
}

void ProcessInitExit::exit() {
  delete process_name;
  process_name = nullptr;
  delete argument_record;
  argument_record = nullptr;
}

}  // namespace Portable
}  // namespace ZelTools
