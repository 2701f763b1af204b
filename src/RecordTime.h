// RecordTimeText: the printed time of a record, "2007/10/18 21:21:07.045",
// as UtcTime::print writes it with the separators '/', ' ', ':' and '.' (the
// time column of the text record, the Time attribute of the XML record).
//
// Records come many to a second, and a full print costs a calendar
// conversion and seven formatted numbers, so the text of the last second is
// kept: a record of the same second only rewrites its three millisecond
// digits. Each record writer owns its instance (per thread for the text
// record, per log file under the message lock for the XML record); an
// instance takes no lock.
#ifndef VANTREL_SRC_RECORDTIME_H
#define VANTREL_SRC_RECORDTIME_H

#include <SimpleTime.h>

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace Vantrel {

class RecordTimeText {
 public:
  // The null-terminated text of `time` and its length; null for a time
  // outside the ordinary range (before 1970, or so late that the text has
  // no 3-digit milliseconds), which the caller prints whole (print_whole).
  const char* text(SimpleTime::PhysicalTime time, std::size_t& length);

  // The full print of any time, for the times text() declines.
  static void print_whole(std::ostream& out, SimpleTime::PhysicalTime time);

 private:
  // Prints `time`'s text into value_; false when it does not fit the
  // ordinary form (nothing is then kept).
  bool print_second(SimpleTime::PhysicalTime time, std::int64_t second);

  std::int64_t second_ = -1;       // whole seconds since the epoch of value_, -1 for none
  std::size_t second_length_ = 0;  // the text's length up to the milliseconds
  char value_[64] = {};
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_RECORDTIME_H
