// Devices: destinations of their own for the threads bound to them.
#include <SimpleTime.h>

#include "ContextInternal.h"
#include "DebugTrace.h"
#include "ErrnoKeeper.h"
#include "Logos.h"

namespace Vantrel {
namespace Context {

namespace {

// Builds the destination keeping the caller's errno (the constructor's
// initialiser runs before its body could save it).
Logos* new_logos(const std::string& name, const std::string& logext, const std::string& logdir,
                 const std::string& configfile) {
  const ErrnoKeeper keep_errno;
  return new Logos(name, logext, logdir, configfile, true, SimpleTime::Minute);
}

}  // namespace

Device::Device() : logos_(nullptr) {
  VANTREL_DEBUG("Device::Device (), logos_ is logos=" << static_cast<void*>(logos_));
}

Device::Device(const std::string& name, const std::string& logext, const std::string& logdir,
               const std::string& configfile)
    : logos_(new_logos(name, logext, logdir, configfile)) {
  VANTREL_DEBUG("Device::Device (" << name << "), logos_ is logos=" << static_cast<void*>(logos_));
}

Device::~Device() {
  const ErrnoKeeper keep_errno;
  VANTREL_DEBUG("Device::~Device (), logos_ is logos=" << static_cast<void*>(logos_));
  delete logos_;
}

}  // namespace Context
}  // namespace Vantrel
