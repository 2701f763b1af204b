// The message path: Logger, Printf and the default activity rule.
//
// Nothing here throws to the host: a failure of the log file while a record
// is opened or ended drops the record and releases the destination.
#include <Vantrel.h>

#include <ZelTools/Portable.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "ContextInternal.h"
#include "DebugTrace.h"
#include "DeferredUnlink.h"
#include "ErrnoKeeper.h"
#include "Library.h"
#include "Logos.h"

namespace Vantrel {
namespace {

// Printf's fixed buffer; a longer text is cut to its first size - 1 characters.
constexpr unsigned printf_buffer_size = 1024;

// What the record writers read of a logger.
RecordInputs inputs_of(const Logger& logger) {
  RecordInputs inputs;
  inputs.importance = &logger.importance();
  inputs.tag = logger.tag();
  inputs.config = &logger.config();
  inputs.data = logger.data();
  return inputs;
}

}  // namespace

Logger::Logger(const Importance& importance, Tag tag)
    : Logger(importance, tag, Opening::now, nullptr) {}

Logger::Logger(const Importance& importance, Tag tag, Opening opening, const Found* found)
    : importance_(&importance), tag_(tag) {
  const ErrnoKeeper keep_errno;
  try {
    Logos* logos = nullptr;
    if (found != nullptr) {
      data_ = found->data;
      logos = found->logos;
    } else {
      data_ = Context::get_data();
      logos = Context::get_logos(data_);
    }
    chosen_ = active_logos(logos, found != nullptr);
  } catch (...) {
    // A broken rule costs this message only.
    chosen_ = nullptr;
  }
  if (opening == Opening::now) open();
}

void Logger::open() {
  logos_ = chosen_;
  chosen_ = nullptr;
  if (logos_ == nullptr) return;
  try {
    if (!open_record()) release();
  } catch (...) {
    // A broken log file costs this message only.
    if (logos_ != nullptr) release();
    stream_ = nullptr;
  }
}

// Copies the destination's settings into config_ and asks its activity rule;
// returns the destination when the message is to be written. Most messages
// are dropped on the settings' digest alone (Logos::surely_inactive, which
// Printf has already asked when `quick_checked`); only a message that may be
// written copies the whole record.
Logos* Logger::active_logos(Logos* logos, bool quick_checked) {
  VANTREL_DEBUG("active_logos");
  if (logos != nullptr && (quick_checked || !logos->surely_inactive(*importance_, tag_))) {
    logos->pull_config(config_);
    if (logos->is_active(*importance_, tag_, config_, data_)) {
      VANTREL_DEBUG("active_logos, returning logos=" << static_cast<const void*>(logos));
      return logos;
    }
  }
  VANTREL_DEBUG("active_logos, returning nil");
  return nullptr;
}

Logger::Logger(Logger& other)
    : importance_(other.importance_),
      tag_(other.tag_),
      config_(other.config_),
      data_(other.data_),
      logos_(other.logos_),
      stream_(other.stream_) {
  other.logos_ = nullptr;
  other.stream_ = nullptr;
}

Logger::~Logger() { reset(); }

void Logger::reset() {
  if (logos_ == nullptr) return;
  const ErrnoKeeper keep_errno;
  try {
    end_record();
  } catch (...) {
    // The record is lost; the destination must still be released.
  }
  release();
  LogFileSteps::unlink_kept();  // a rotation's, outside the lock
}

// Takes one level of the message lock; a nested message of this thread
// (depth > 1) is dropped and marks the enclosing record instead. The level
// stays taken until release(), beyond what the thread-safety analysis follows
// within one function, so open_record and release are not analysed and
// end_record asserts the lock.
VANTREL_NO_THREAD_SAFETY_ANALYSIS bool Logger::open_record() {
  if (logos_->message_lock.lock() > 1) return false;
  const unsigned rank = ++logos_->rank;
  stream_ = logos_->log_file->begin_record(inputs_of(*this), rank);
  return stream_ != nullptr;
}

void Logger::end_record() {
  logos_->message_lock.assert_held();
  LogFile& log_file = *logos_->log_file;
  log_file.nested_lost(logos_->message_lock.max_depth() > 1);
  log_file.end_record(inputs_of(*this), logos_->rank);
}

VANTREL_NO_THREAD_SAFETY_ANALYSIS void Logger::release() {
  stream_ = nullptr;
  Logos* logos = logos_;
  logos_ = nullptr;
  logos->message_lock.unlock();
}

namespace {

// Formats into `buffer`; returns the text's length. A text of 1024
// characters or more is cut to its first 1023. The buffer is a C string: a
// NUL that the format produced ("%c" of 0) ends the text there.
std::size_t format_text(char (&buffer)[printf_buffer_size], const char* format, va_list args) {
  buffer[0] = '\0';  // a formatting error may leave the buffer untouched
  const int written = ZelTools::Portable::vsnprintf(buffer, sizeof buffer, format, args);
  std::size_t length = sizeof buffer - 1;
  if (written >= 0 && written < static_cast<int>(sizeof buffer)) {
    length = static_cast<std::size_t>(written);
  } else {
    buffer[length] = '\0';
  }
  const void* nul = std::memchr(buffer, '\0', length);
  return nul == nullptr ? length : static_cast<std::size_t>(static_cast<const char*>(nul) - buffer);
}

// Unformatted, straight into the stream's buffer: what write() does, without
// its sentry (the record's streams are tied to nothing).
void put_text(std::ostream& stream, const char* text, std::size_t length) {
  try {
    const auto count = static_cast<std::streamsize>(length);
    if (stream.good() && stream.rdbuf()->sputn(text, count) != count) {
      stream.setstate(std::ios_base::badbit);
    }
  } catch (...) {
    // A stream set to throw must not reach the host.
  }
}

}  // namespace

bool Logger::may_write(const Importance& importance, Found& found, bool& use_found) {
  use_found = !Debug::echo_on();
  if (!use_found) return true;
  try {
    found.data = Context::get_data();
    found.logos = Context::get_logos(found.data);
    return found.logos != nullptr && !found.logos->surely_inactive(importance, Plain);
  } catch (...) {
    return false;  // the context lookup failed: as the Logger would, drop it
  }
}

void Printf::write(const char* format, va_list args) const {
  const ErrnoKeeper keep_errno;
  // The quick verdict, before a Logger (and its copy of the settings) is
  // built: most filtered messages end here. The Logger reuses the look-up.
  // With the debug trace on, the Logger looks up and decides alone, writing
  // the trace's lines.
  Logger::Found found{};
  bool quick = false;
  if (!Logger::may_write(importance_, found, quick)) return;
  Logger logger(importance_, Logger::Plain, Logger::Opening::later, quick ? &found : nullptr);
  if (logger.chosen_ == nullptr) return;
  char buffer[printf_buffer_size];
  std::size_t length = 0;
  if (format != nullptr) {
    errno = keep_errno.saved();  // "%m" names the caller's error
    length = format_text(buffer, format, args);
  }
  logger.open();
  std::ostream* stream = logger.stream();
  if (stream == nullptr || format == nullptr) return;
  put_text(*stream, buffer, length);
}

static_assert(FormatMessage::buffer_size == printf_buffer_size,
              "both front ends cut their texts at the same length");

void FormatMessage::write(const Importance& importance, Fill fill, const void* arguments) {
  const ErrnoKeeper keep_errno;
  Logger::Found found{};
  bool quick = false;
  if (!Logger::may_write(importance, found, quick)) return;
  Logger logger(importance, Logger::Plain, Logger::Opening::later, quick ? &found : nullptr);
  if (logger.chosen_ != nullptr) {
    char buffer[buffer_size];
    const std::size_t filled = fill(buffer, sizeof buffer - 1, arguments);
    const std::size_t length = strnlen(buffer, std::min<std::size_t>(filled, sizeof buffer - 1));
    logger.open();
    if (std::ostream* stream = logger.stream()) put_text(*stream, buffer, length);
  }
}

Admin::IsActive::~IsActive() = default;

// Asserts always pass; otherwise the settings must be active and the level
// at least the threshold's. The tag and the context are not consulted.
bool Admin::IsActive::operator()(const Importance& importance, Logger::Tag, const Config& config,
                                 Context::Data*) const {
  if (importance.severity >= 3) return true;
  if (!config.active) return false;
  return importance.level >= config.importance.level;
}

}  // namespace Vantrel
