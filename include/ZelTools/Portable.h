// ZelTools::Portable: pathnames, file operations, process facts, environment
// lookup and bounded formatting. Keeps the platform at a distance from the
// rest of the library; part of the exported interface.
//
// Also the root of the support layers' exceptions, ZelTools::Exception.
#ifndef VANTREL_ZELTOOLS_PORTABLE_H
#define VANTREL_ZELTOOLS_PORTABLE_H

#include <cstdarg>
#include <fstream>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

#if defined(__GNUC__) || defined(__clang__)
#define VANTREL_VPRINTF_FORMAT(fmt) __attribute__((format(printf, fmt, 0)))
#else
#define VANTREL_VPRINTF_FORMAT(fmt)
#endif

namespace ZelTools {

// Root of the exceptions thrown by the support layers (time library, XML
// writer, thread-local storage). Abstract: only derived classes are thrown.
// what() is "ZelTools::Exception" for every derived class; print() writes the
// exception's own text, which derived classes override.
struct VANTREL_API Exception : std::runtime_error {
  Exception();
  Exception(Exception const& other);
  Exception& operator=(Exception const& other) = default;
  ~Exception() override = 0;

  // Writes the exception's text (here: what()) to os and returns os.
  virtual std::ostream& print(std::ostream& os) const;
};

namespace Portable {

// A path as text, with '/' as the only separator. Every operation is a pure
// text operation; none looks at the file system. After construction from a
// string the text does not end in '/' (one trailing '/' is removed, so a text
// that ended in two keeps one).
//
//   Pathname("/var/log/")                  => "/var/log"
//   Pathname("/var/log//")                 => "/var/log/"
//   Pathname(Pathname("/var/log"), "app")  => "/var/log/app"
//   Pathname(Pathname("/var/log"), "")     => "/var/log"
//   Pathname(Pathname("a"), Dot_dot)      => "a/.."
//   as_dir():    "/var/log" => "/var/log/",  "" => "/"
//   basename():  "/bin/app.exe" => "app.exe";  basename(".exe") => "app"
//   dirname():   "/a/b.txt" => "/a";  "/x" => "";  "b.txt" throws std::out_of_range
class VANTREL_API Pathname {
 public:
  // Dot stands for ".", Dot_dot for "..". Any other value counts as Dot (the
  // fixed underlying type makes every int a valid value).
  enum Dot_type : int { Dot = 0, Dot_dot = 1 };

  // The text "." or "..".
  Pathname(Dot_type const& d = Dot);
  // The text s, less one trailing '/'.
  Pathname(std::string const& s);
  // dir joined with name: a copy of dir, then /= name.
  Pathname(Pathname const& dir, std::string const& name);
  // dir joined with "." or "..": a copy of dir, then /= d.
  Pathname(Pathname const& dir, Dot_type const& d);
  Pathname(Pathname const& other) = default;
  Pathname& operator=(Pathname const& other) = default;

  // Appends '/' + name, less one trailing '/'. "log" and "log/" both append
  // "/log"; "" appends nothing. No other normalisation: a name that begins
  // with '/' gives a doubled separator, inner separators are kept whole.
  Pathname& operator/=(std::string const& name);
  // Appends "/." or "/..".
  Pathname& operator/=(Dot_type const& d);

  // The text with '/' appended unless it already ends in one.
  std::string as_dir() const;
  // The text itself.
  std::string const& as_file() const;
  // The text after the last '/', or the whole text when it holds none.
  std::string basename() const;
  // basename() with suffix removed from its end when it ends with it exactly
  // (case-sensitive); may become empty.
  std::string basename(std::string const& suffix) const;
  // Everything before the last '/', as a Pathname (so one more trailing '/'
  // goes). Throws std::out_of_range when the text holds no '/'.
  Pathname dirname() const;

 private:
  std::string text_;
};

// File operations. Each takes the path as text, returns true on success and
// false otherwise; none throws or prints, and the system's error code is not
// kept.

// True when path names something other than a directory that can be opened
// for reading. A file that exists but cannot be read gives false.
VANTREL_API bool exists_file(std::string const& path);
// Copies from to to, refusing to overwrite: false (and to untouched) when to
// already exists. The copy gets the permission bits of from. A partial copy
// left by a failure is removed again.
VANTREL_API bool copy_file(std::string const& from, std::string const& to);
// Removes the file; true when it was removed.
VANTREL_API bool unlink(std::string const& path);
// Creates the directory (mode 0777 less the umask); true when it was created,
// false when it could not be (among others when it already exists).
VANTREL_API bool mkdir(std::string const& path);

// The standard input file stream of char, under the library's name.
class VANTREL_API ifstream : public std::ifstream {
 public:
  // No file open.
  ifstream();
  // Opens the file for reading; a failure shows in the stream state.
  explicit ifstream(char const* const path);
  virtual ~ifstream();
};

// Facts about the running process, gathered once when the library starts
// (by ProcessInitExit) and fixed afterwards. Holds no data: any number of
// Process values read the same process-wide facts, e.g. Process().id().
// Safe to read from any thread once the library has started.
struct VANTREL_API Process {
  // The process id taken at start.
  int id() const;
  // The last component of the first argument, less a trailing ".exe":
  //   "/usr/bin/server" => "server",  "server.exe" => "server",
  //   "SERVER.EXE" => "SERVER.EXE"
  std::string name() const;
  // The number of arguments; at least 1.
  int argc() const;
  // The arguments, read from the system when the library started; when they
  // cannot be read, the one path of the executable file; never empty (at
  // worst one empty string).
  std::vector<std::string> const& args() const;
  // Pointers to the texts of args(), followed by a null pointer. Valid while
  // the library is started.
  char** argv() const;
  // The current environment block, read at each call.
  char** envp() const;
};

// The portability layer's counted initialiser. This header places one in
// every translation unit that includes it; the first construction gathers the
// process facts, the last destruction releases them.
class VANTREL_API ProcessInitExit {
 public:
  ProcessInitExit();
  ~ProcessInitExit();
  ProcessInitExit(ProcessInitExit const&) = delete;
  ProcessInitExit& operator=(ProcessInitExit const&) = delete;

 private:
  static void init();
  static void exit();
};

static ProcessInitExit process_init_exit;

// The process id of the calling process.
VANTREL_API int getpid();

// If the environment variable name is set, assigns its text to value (an
// empty text included); otherwise leaves value unchanged. Returns value.
VANTREL_API std::string& getenv(std::string const& name, std::string& value);
// The variable's text when it is set, else default_value.
VANTREL_API std::string getenv(std::string const& name, std::string const& default_value);

// Bounded formatting with fixed results, for callers that terminate the
// buffer themselves. Writes at most size characters of the formatted text:
//   text shorter than size: text and a terminating NUL; returns its length
//   text exactly size long: the text, no NUL;           returns size
//   text longer than size:  its first size chars, no NUL; returns -1
// Also -1 for a null format or a formatting error (buffer then unspecified
// within its size).
VANTREL_API int vsnprintf(char* buffer, unsigned int size, char const* format, va_list args)
    VANTREL_VPRINTF_FORMAT(3);

}  // namespace Portable
}  // namespace ZelTools

#endif
