// fork(): a forked child is a new process for the library.
//
// Every destination (Logos) is listed here from its construction to its
// destruction. Before fork() the forking thread takes every lock a message
// can hold: each destination's rule lock, message lock and settings mutex,
// and the diagnostics' keys. So the child never inherits a lock held by a
// thread that does not exist there, nor state half-way through a change.
// The parent gives the locks back after fork(). So does the child, which
// then starts afresh: its process id and the forking thread's id are read
// again, each destination gets a fresh log file (opened with the child's pid
// in its name at its first record) and counts its ranks from 0, and every
// diagnostic may be said again. The parent's log files are left as they
// are in the child: never written, flushed, rotated, closed or unlinked.
// The forking thread's context record carries over.
#ifndef VANTREL_SRC_FORKHANDLERS_H
#define VANTREL_SRC_FORKHANDLERS_H

namespace Vantrel {

class Logos;

namespace ForkHandlers {

// Lists a destination; the first call installs the handlers (pthread_atfork).
void add(Logos* logos);
// Takes a destination off the list (before its locks go away).
void remove(Logos* logos) noexcept;

// How many forks lie between the first process and this one: incremented in
// each child, so that per-thread caches of ids can tell they are stale.
unsigned generation() noexcept;

}  // namespace ForkHandlers
}  // namespace Vantrel

#endif  // VANTREL_SRC_FORKHANDLERS_H
