// Devices: destinations of their own for the threads bound to them.
#include <SimpleTime.h>

#include "ContextInternal.h"
#include "DebugTrace.h"
#include "Logos.h"

namespace Vantrel {
namespace Context {

Device::Device() : logos_(nullptr) {
  VANTREL_DEBUG("Device::Device (), logos_ is logos=" << static_cast<void*>(logos_));
}

Device::Device(const std::string& name, const std::string& logext, const std::string& logdir,
               const std::string& configfile)
    : logos_(new Logos(name, logext, logdir, configfile, true, SimpleTime::Minute)) {
  VANTREL_DEBUG("Device::Device (" << name << "), logos_ is logos=" << static_cast<void*>(logos_));
}

Device::~Device() {
  VANTREL_DEBUG("Device::~Device (), logos_ is logos=" << static_cast<void*>(logos_));
  delete logos_;
}

}  // namespace Context
}  // namespace Vantrel
