// Files the library creates for writing, in directories that others may be
// able to write (a shared log directory, the current directory of a service):
// log files and the configuration language's output_file / error_file.
//
// A file is only ever created new, never taken over: an existing name (a
// file, a symbolic link, a FIFO, a device) is left alone and reported as
// EEXIST, so a link planted at a predictable name cannot make the host write
// through it. A file is opened again later only if the name still leads to
// the very file that was created (same device and inode), found without
// following a link and without opening anything else that may stand there.
//
//   create("/var/log/app/x_trace.log", id)   => fd, id = {dev, inode}
//   create(same name again, id2)            => -1, errno EEXIST
//   reopen("/var/log/app/x_trace.log", id)   => fd for appending
//   reopen(after "mv y x_trace.log", id)     => -1, errno ESTALE
//
// Plain functions on their arguments; no state, no lock.
#ifndef VANTREL_SRC_OWNFILE_H
#define VANTREL_SRC_OWNFILE_H

#include <sys/types.h>

#include <string>

namespace Vantrel {
namespace OwnFile {

// Which file a descriptor reached.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
};

// The permissions of a created file; the umask may only narrow them.
constexpr mode_t creation_mode = 0640;

// Creates `path` as a new, empty regular file open for writing (close on
// exec), with creation_mode. Returns the descriptor and its identity, or -1
// with errno set: EEXIST when anything is at the name already.
int create(const std::string& path, Identity& identity);

// Opens the file `identity` names, found at `path`, for appending (close on
// exec). Returns -1 with errno set when nothing is there (ENOENT), when
// something else is (ESTALE: a symbolic link, another file, a FIFO, a
// device, none of which is opened for writing), or when the system refuses.
int reopen(const std::string& path, const Identity& identity);

}  // namespace OwnFile
}  // namespace Vantrel

#endif  // VANTREL_SRC_OWNFILE_H
