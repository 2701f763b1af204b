// The trace core's start and stop, its process-wide state and the
// environment.
//
// Start and stop run during the static initialisation and termination of the
// process, on one thread: every translation unit that includes Vantrel.h
// holds a VantrelInitExit, the first construction runs init() and the last
// destruction runs exit(). The globals below are trivially constructible and
// destructible, so they are valid before any constructor of this unit runs
// (another unit's VantrelInitExit may start the library first) and are never
// destroyed behind exit()'s back.
#include <Vantrel.h>

#include <ZelTools/Portable.h>

#include <sys/auxv.h>

#include <atomic>
#include <cstdlib>
#include <memory>

#include "DebugTrace.h"
#include "ErrnoKeeper.h"
#include "ImportanceConstants.h"
#include "Library.h"
#include "Logos.h"

namespace Vantrel {
namespace {

// An empty object kept in its place in the start and stop order.
struct MtInitExit {};

// Number of live VantrelInitExit objects. Only touched during static
// initialisation and termination, which run on one thread.
int counter = 0;
bool flags_read = false;  // same

// The four flags: written once before init(), read by any thread later.
// Relaxed is enough: they are set before any host thread can use the
// library and never change afterwards.
std::atomic<bool> debug_flag{false};
std::atomic<bool> to_screen_flag{false};
std::atomic<bool> xml_flag{false};
// QZ_TRACE_CRASH: only read (before init) and acted on by init().
bool crash_flag = false;

// Published by init() and cleared by exit() (release); read with acquire by
// the message path, so a reader that sees a pointer sees a built object.
std::atomic<Logos*> logos_ptr{nullptr};
std::atomic<TlsData*> data_ptr{nullptr};
// Only touched by init() and exit().
ZelTools::Portable::ProcessInitExit* ProcessInitExit_ptr = nullptr;
MtInitExit* MtInitExit_ptr = nullptr;

const char* const env_prefix = "QZ_TRACE_";

void load_env_vars() {
  Debug::echo_flag.store(Env::flag("ECHO"), std::memory_order_relaxed);
  debug_flag.store(Env::flag("DEBUG"), std::memory_order_relaxed);
  to_screen_flag.store(Env::flag("TO_SCREEN"), std::memory_order_relaxed);
  xml_flag.store(Env::flag("XML"), std::memory_order_relaxed);
  crash_flag = Env::flag("CRASH");
  VANTREL_DEBUG("Vantrel_load_env_vars ()"
                << ", ECHO=" << Env::echo() << ", DEBUG=" << Env::debug()
                << ", TO_SCREEN=" << Env::to_screen() << ", XML=" << Env::xml());
}

}  // namespace

TlsData* tls_data() { return data_ptr.load(std::memory_order_acquire); }

Logos* default_logos() { return logos_ptr.load(std::memory_order_acquire); }

namespace Env {

std::string env(const std::string& name, const std::string& default_value) {
  // secure_getenv finds nothing in a privileged process.
  const char* value = ::secure_getenv((env_prefix + name).c_str());
  return value ? std::string(value) : default_value;
}

bool privileged() { return ::getauxval(AT_SECURE) != 0; }

bool flag(const std::string& name) { return env(name, "") == "1"; }

bool echo() { return Debug::echo_on(); }
bool debug() { return debug_flag.load(std::memory_order_relaxed); }
bool to_screen() { return to_screen_flag.load(std::memory_order_relaxed); }
bool xml() { return xml_flag.load(std::memory_order_relaxed); }

}  // namespace Env

VantrelInitExit::VantrelInitExit() {
  const ErrnoKeeper keep_errno;
  if (!flags_read) {
    flags_read = true;
    load_env_vars();
  }
  if (counter++ != 0) return;
  try {
    init();
  } catch (...) {
    // Leave nothing half built; the failure reaches the constructor's caller.
    --counter;
    exit();
    throw;
  }
}

VantrelInitExit::~VantrelInitExit() {
  const ErrnoKeeper keep_errno;
  if (--counter == 0) exit();
}

void VantrelInitExit::init() {
  VANTREL_DEBUG("Hello Vantrel {");
  VANTREL_DEBUG("VantrelInitExit::init, before new Mt::InitExit");
  MtInitExit_ptr = new MtInitExit;
  VANTREL_DEBUG("VantrelInitExit::init, after  new Mt::InitExit");
  VANTREL_DEBUG("VantrelInitExit::init, before new XxxInitExit");
  ProcessInitExit_ptr = new ZelTools::Portable::ProcessInitExit;
  VANTREL_DEBUG("VantrelInitExit::init, after  new XxxInitExit");
  VANTREL_DEBUG("VantrelInitExit::init, Importance constants");
  fill_importance_constants();
  VANTREL_DEBUG("VantrelInitExit::init, before logos_ptr = new Logos");
  Logos* logos = new Logos("", "", "", "", true, SimpleTime::Minute);
  logos_ptr.store(logos, std::memory_order_release);
  VANTREL_DEBUG("VantrelInitExit::init, logos_ptr is logos=" << static_cast<const void*>(logos));
  VANTREL_DEBUG("VantrelInitExit::init, before new TlsData");
  data_ptr.store(new TlsData, std::memory_order_release);
  VANTREL_DEBUG("VantrelInitExit::init, after  new TlsData");
  if (crash_flag) Admin::install_crash_handler();
  VANTREL_DEBUG("} Hello Vantrel");
}

void VantrelInitExit::exit() {
  VANTREL_DEBUG("Goodbye Vantrel {");
  VANTREL_DEBUG("VantrelInitExit::exit, before delete data_ptr");
  delete data_ptr.exchange(nullptr, std::memory_order_acq_rel);
  VANTREL_DEBUG("VantrelInitExit::exit, after  delete data_ptr");
  VANTREL_DEBUG("VantrelInitExit::exit, before delete logos_ptr");
  delete logos_ptr.exchange(nullptr, std::memory_order_acq_rel);
  VANTREL_DEBUG("VantrelInitExit::exit, before delete ProcessInitExit_ptr");
  delete ProcessInitExit_ptr;
  ProcessInitExit_ptr = nullptr;
  VANTREL_DEBUG("VantrelInitExit::exit, after  delete ProcessInitExit_ptr");
  VANTREL_DEBUG("VantrelInitExit::exit, before delete MtInitExit_ptr");
  delete MtInitExit_ptr;
  MtInitExit_ptr = nullptr;
  VANTREL_DEBUG("VantrelInitExit::exit, after  delete MtInitExit_ptr");
  VANTREL_DEBUG("} Goodbye Vantrel");
}

}  // namespace Vantrel
