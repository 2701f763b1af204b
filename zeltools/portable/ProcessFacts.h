// How the portability layer gathers the process facts.
//
// ProcessInitExit::init() (Process.cpp) calls read_arguments() once, when the
// library starts, and keeps the result with the process name until its exit()
// releases them. The functions here hold no state and take no lock; they are
// separate so tests can feed them files of their own.
#ifndef VANTREL_ZELTOOLS_PORTABLE_PROCESSFACTS_H
#define VANTREL_ZELTOOLS_PORTABLE_PROCESSFACTS_H

#include <string>
#include <vector>

namespace ZelTools {
namespace Portable {
namespace Facts {

// Where the system keeps the running process's arguments and executable.
constexpr char const* cmdline_path = "/proc/self/cmdline";
constexpr char const* executable_link = "/proc/self/exe";

// Splits the NUL-terminated strings of a command-line file:
//   "a\0b\0"  => {"a", "b"}     "a\0\0"  => {"a", ""}
//   "a\0b"    => {"a", "b"}     (a rewritten title may lack its last NUL)
//   ""        => {}
std::vector<std::string> split_command_line(std::string const& raw);

// The whole content of a file; false when it cannot be opened or read.
bool read_whole_file(char const* path, std::string& content);

// The target of a symbolic link; false when it cannot be read.
bool read_link(char const* path, std::string& target);

// The argument list: the strings of cmdline_file; when that cannot be read,
// the one target of exe_link. Never empty: at worst one empty string.
std::vector<std::string> read_arguments(char const* cmdline_file, char const* exe_link);

// Reads the process id again: called in a forked child, while it runs only
// the forking thread (the readers of the id need no lock).
void refresh_process_id();

// The process name made from the first argument: its last component, less a
// trailing ".exe" (exactly that, lower case).
std::string name_from_argument(std::string const& first);

}  // namespace Facts
}  // namespace Portable
}  // namespace ZelTools

#endif
