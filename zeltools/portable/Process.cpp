#include "ZelTools/Portable.h"
#include <unistd.h>
namespace ZelTools { namespace Portable { int getpid() { return ::getpid(); } } }
