// The caller's errno survives every public entry point of the library: an
// ErrnoKeeper built first in the entry point saves it, its destruction puts
// it back, whatever the library's own system calls (opening log files,
// reading the configuration file, writing records) left in it.
#ifndef VANTREL_SRC_ERRNOKEEPER_H
#define VANTREL_SRC_ERRNOKEEPER_H

#include <cerrno>

namespace Vantrel {

class ErrnoKeeper {
 public:
  ErrnoKeeper() noexcept : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

  // The caller's value, for a "%m" formatted on its behalf.
  int saved() const noexcept { return saved_; }

 private:
  const int saved_;
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_ERRNOKEEPER_H
