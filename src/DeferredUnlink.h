// A rotation's unlink, done after the message lock is given back.
//
// Unlinking a full log file frees its blocks and cached pages: about 2 ms for
// a file of 100000 records, a thousand times a record. The rotation decides
// it under the message lock, but nothing there needs the file gone, so
// unlink_previous only keeps the path (keep_for_unlink), and the logger that
// wrote the record unlinks it once it has released the lock (unlink_kept),
// before its message call returns. Other threads then wait for the
// rotation's open and close only.
//
// Lock: the kept paths are guarded by one mutex of their own, never taken
// with another lock held inside it; `paths_kept` is set and cleared under
// it and read relaxed by every logger: a thread always sees the paths it
// kept itself, and a path kept by another thread is unlinked by that thread
// if not first by this one.
#ifndef VANTREL_SRC_DEFERREDUNLINK_H
#define VANTREL_SRC_DEFERREDUNLINK_H

#include <atomic>
#include <string>

namespace Vantrel {
namespace LogFileSteps {

extern std::atomic<bool> paths_kept;

// Keeps `path` for unlink_kept.
void keep_for_unlink(const std::string& path);
// Unlinks every kept path; failures are ignored (a file that stays is left
// alone).
void unlink_kept_now();
// Around fork(): the kept paths' mutex is held across it. The child forgets
// the kept paths: they are the parent's files, for the parent to unlink.
void lock_for_fork();
void unlock_after_fork(bool in_child);
// The same, at the cost of one relaxed load when nothing is kept.
inline void unlink_kept() {
  if (paths_kept.load(std::memory_order_relaxed)) unlink_kept_now();
}

}  // namespace LogFileSteps
}  // namespace Vantrel

#endif  // VANTREL_SRC_DEFERREDUNLINK_H
