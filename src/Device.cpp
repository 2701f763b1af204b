// Devices: destinations of their own for the threads bound to them.
#include "ContextInternal.h"

namespace Vantrel {
namespace Context {

Device::Device() : logos_(nullptr) {}

Device::Device(const std::string&, const std::string&, const std::string&, const std::string&)
    : logos_(nullptr) {}

Device::~Device() {}

}  // namespace Context
}  // namespace Vantrel
