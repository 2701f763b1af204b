// QuickVerdict: keeps Printf's inline first check (Printf::quick_floor_)
// equal to what every live destination's settings allow.
//
// Each destination joins at its construction and leaves at its destruction;
// refresh() runs after every change that can move its floor: a publication
// of its settings, a host rule installed or removed. The floor is the lowest
// level any destination could write below severity 3; a destination whose
// verdict needs more than its published threshold (a host rule, a re-read
// that may come due, the debug trace) makes it the lowest level, so that the
// inline check then sends every message down the exact path.
//
// Lock: one registry mutex, taken after a destination's settings mutex when
// a publication refreshes, and never while any other lock is taken inside it.
#ifndef VANTREL_SRC_QUICKVERDICT_H
#define VANTREL_SRC_QUICKVERDICT_H

namespace Vantrel {

class Logos;

class QuickVerdict {
 public:
  static void join(const Logos& logos);
  static void leave(const Logos& logos);
  static void refresh();
  // In a forked child: the registry's mutex is made anew, since a thread
  // that does not exist there may have held it at the fork. Not held across
  // fork() by the forking thread: publications take it under a destination's
  // locks, which the fork handlers take too.
  static void reset_after_fork();

 private:
  // Stores the floor; caller holds the registry mutex.
  static void publish();
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_QUICKVERDICT_H
