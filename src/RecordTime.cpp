#include "RecordTime.h"

#include <streambuf>

namespace Vantrel {

namespace {

const SimpleTime::UtcTime::Separator printed_time{'/', ' ', ':', '.'};

// A stream buffer over a fixed array: printing into it allocates nothing.
class ArrayBuffer : public std::streambuf {
 public:
  ArrayBuffer(char* begin, std::size_t size) { setp(begin, begin + size); }
  std::size_t length() const { return static_cast<std::size_t>(pptr() - pbase()); }
};

}  // namespace

const char* RecordTimeText::text(SimpleTime::PhysicalTime time, std::size_t& length) {
  const double ms_since_epoch = (time - SimpleTime::PhysicalTime()) / SimpleTime::Millisecond;
  if (!(ms_since_epoch >= 0 && ms_since_epoch < 1e14)) return nullptr;
  const auto whole_ms = static_cast<std::int64_t>(ms_since_epoch);  // the floor, being positive
  const std::int64_t second = whole_ms / 1000;
  if (second != second_ && !print_second(time, second)) return nullptr;
  const auto ms = static_cast<int>(whole_ms - second * 1000);
  char* const digits = value_ + second_length_;
  digits[0] = static_cast<char>('0' + ms / 100);
  digits[1] = static_cast<char>('0' + ms / 10 % 10);
  digits[2] = static_cast<char>('0' + ms % 10);
  digits[3] = '\0';
  length = second_length_ + 3;
  return value_;
}

bool RecordTimeText::print_second(SimpleTime::PhysicalTime time, std::int64_t second) {
  // A fresh stream prints in the global locale of its time, as a stream the
  // record writer made for it would.
  ArrayBuffer buffer(value_, sizeof value_ - 1);
  std::ostream out(&buffer);
  SimpleTime::UtcTime(time).print(out, printed_time);
  if (!out.good() || buffer.length() < 3) {
    second_ = -1;
    return false;
  }
  second_ = second;
  second_length_ = buffer.length() - 3;
  return true;
}

void RecordTimeText::print_whole(std::ostream& out, SimpleTime::PhysicalTime time) {
  SimpleTime::UtcTime(time).print(out, printed_time);
}

}  // namespace Vantrel
