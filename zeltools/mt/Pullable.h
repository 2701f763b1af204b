// ZelTools::MT::Pullable<T, M>: one published value that many threads read
// without a lock, that editors change under a mutex, and that is re-read
// from its source (the derived class's reload) at most once per period.
//
// Owned by its destination (through EditableConfig), built and destroyed
// with it. Locks and orders:
//   mutex_        taken by editors and re-reads, and by a reader that caught
//                 an editor at work; serialises every write of the state.
//   edits_begun_  incremented (under mutex_) when an editor takes the mutex,
//                 before it writes any word;
//   edits_ended_  incremented with release (under mutex_) when it lets go.
//   state words   atomics, stored with release and loaded with acquire.
// A reader loads edits_ended_ (acquire), copies the words (acquire) and then
// loads edits_begun_. A word written by an editor that began after the
// first load carries that editor's edits_begun_ increment with it (release
// store, acquire load), so the reader then sees the counts differ. When they
// agree, no editor touched the words during the copy and the copy is one
// published state; otherwise the reader copies again under the mutex. This
// is a sequence lock in which every shared byte is an atomic: free of data
// races, and with no fences, so that thread checkers follow it.
//
// Beside the state, every publication stores one digest word (digest_,
// written under mutex_ after the words, read relaxed): a 32-bit summary of
// the value made by Summary::of, and the whole second before which no re-read
// can be due. A reader that needs only the summary reads that one word and,
// while pulling is on, the clock: no copy, no sequence check. A single word
// is always one publication's, so it cannot be torn; it may lag a publication
// in progress, as a snapshot taken just before it would.
#ifndef VANTREL_ZELTOOLS_MT_PULLABLE_H
#define VANTREL_ZELTOOLS_MT_PULLABLE_H

#include <SimpleTime.h>
#include <time.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "simpletime/Internal.h"

namespace ZelTools {
namespace MT {

// The default summary: nothing.
struct NoSummary {
  template <class T>
  static std::uint32_t of(const T&) {
    return 0;
  }
};

template <class T, class M, class Summary = NoSummary>
class Pullable {
 public:
  // Everything that readers see, copied whole.
  struct State {
    T value;
    bool pullable;
    SimpleTime::Duration period;
    SimpleTime::PhysicalTime last;  // reference time of the last re-read
  };
  static_assert(std::is_trivially_copyable<State>::value, "the state is copied word by word");

  // With pulling on, a re-read is due at the first pull: the last one is
  // dated a period before the clock's origin.
  Pullable(const T& value, bool pullable, SimpleTime::Duration period) {
    const State initial{value, pullable, period, SimpleTime::PhysicalTime() - period};
    write(initial);
  }
  // Fills `value` from the source; true on success. Called under the mutex.
  virtual bool reload(T& value) = 0;
  virtual ~Pullable() = default;
  Pullable(const Pullable&) = delete;
  Pullable& operator=(const Pullable&) = delete;

  // The published state, without the mutex unless an editor is at work.
  State snapshot() const;

  // The summary of the published value, from the digest alone. False when a
  // re-read may be due (the caller then pulls the whole state); near the due
  // time it answers false up to two seconds early, and pull decides exactly.
  bool quick(std::uint32_t& summary) const;

  // The summary of the published value, when no re-read can ever be due
  // (pulling is off): then it decides without the clock. False otherwise.
  bool settled(std::uint32_t& summary) const {
    const std::uint64_t digest = digest_.load(std::memory_order_relaxed);
    summary = static_cast<std::uint32_t>(digest >> 32);
    return static_cast<std::uint32_t>(digest) == never_due;
  }

  // The published state, re-read from the source first when that is due.
  // Exceptions of reload count as failure and go no further.
  State pull();

  // pull's value, copied into `value`: in the common case (no editor at
  // work, no re-read due) the shared words are copied once, straight there.
  void pull_value(T& value);

  // Applies `change(State&)` as an editor: pulling goes off first (and a
  // record that came from the source is replaced by the default T), then
  // the change is published. The change may switch pulling on again with
  // set_pulling.
  template <class Change>
  void edit(Change change) {
    Editor editor(*this);
    State state = read_locked();
    set_pulling(state, false);
    change(state);
    write(state);
  }

  // The editors' mutex, for the fork handlers only: held across fork() so
  // that no edit or re-read is half-way through in the child.
  M& fork_mutex() { return mutex_; }

  // Switches pulling to `on`: switching it on makes a re-read due at once,
  // switching it off replaces the record by the default T.
  void set_pulling(State& state, bool on) const {
    if (!state.pullable && on) state.last = now() - state.period;
    if (state.pullable && !on) state.value = T();
    state.pullable = on;
  }

 protected:
  // The clock of the period; a seam for tests. Every message asks it, so it
  // is the coarse real-time clock: a few nanoseconds instead of a full clock
  // read, and a resolution of a few milliseconds is plenty for a period of a
  // minute. Every reading of the period comes from here, so they agree.
  virtual SimpleTime::PhysicalTime now() const {
    timespec reading{};
    clock_gettime(CLOCK_REALTIME_COARSE, &reading);
    return SimpleTime::Internal::whole_milliseconds(reading);
  }

  // Called after every publication, with the mutex held (but not for the
  // constructor's: a derived object does not exist yet).
  virtual void published() {}

  // Runs `work()` with the mutex held, as an editor: snapshots taken
  // meanwhile wait for it.
  template <class Work>
  void with_editor(Work work) {
    Editor editor(*this);
    work();
  }

 private:
  static constexpr std::size_t word_count = (sizeof(State) + 7) / 8;
  // The digest's due second: pulling is off, or unknown (always pull).
  static constexpr std::uint32_t never_due = 0xffffffffu;
  static constexpr std::uint32_t unknown_due = 0;

  // Holds the mutex as an editor for its lifetime.
  class Editor {
   public:
    explicit Editor(Pullable& owner) : owner_(owner) {
      owner_.mutex_.lock();
      // Sequenced before the release stores of the words written next.
      owner_.edits_begun_.fetch_add(1, std::memory_order_relaxed);
    }
    ~Editor() {
      owner_.edits_ended_.fetch_add(1, std::memory_order_release);
      owner_.mutex_.unlock();
    }
    Editor(const Editor&) = delete;
    Editor& operator=(const Editor&) = delete;

   private:
    Pullable& owner_;
  };

  bool due(const State& state) const { return due(state.pullable, state.period, state.last); }
  bool due(bool pullable, SimpleTime::Duration period, SimpleTime::PhysicalTime last) const {
    return pullable && !(now() - last < period);
  }

  // Copies the words; consistent only when no editor writes meanwhile.
  State read_words() const {
    std::uint64_t buffer[word_count];
    for (std::size_t i = 0; i < word_count; ++i) {
      buffer[i] = words_[i].load(std::memory_order_acquire);
    }
    State state;
    std::memcpy(static_cast<void*>(&state), buffer, sizeof(State));
    return state;
  }

  // Caller holds mutex_.
  State read_locked() const { return read_words(); }

  // Caller holds mutex_ as an editor (or is the constructor).
  void write(const State& state) {
    std::uint64_t buffer[word_count] = {};
    std::memcpy(buffer, static_cast<const void*>(&state), sizeof(State));
    for (std::size_t i = 0; i < word_count; ++i) {
      words_[i].store(buffer[i], std::memory_order_release);
    }
    const std::uint64_t summary = Summary::of(state.value);
    digest_.store(summary << 32 | due_second(state), std::memory_order_relaxed);
    published();
  }

  // Seconds since the epoch on the period's clock.
  static double seconds(SimpleTime::PhysicalTime time) {
    return (time - SimpleTime::PhysicalTime()) / SimpleTime::Second;
  }

  // A whole second at least one second before the next re-read is due, so
  // that "now is before it" proves the re-read is not due whatever the
  // rounding; unknown_due when the due time is not a representable second.
  static std::uint32_t due_second(const State& state) {
    if (!state.pullable) return never_due;
    const double early = std::floor(seconds(state.last + state.period)) - 1;
    if (!(early >= 1)) return unknown_due;  // also NaN
    if (early >= never_due - 1) return never_due - 1;
    return static_cast<std::uint32_t>(early);
  }

  mutable M mutex_;
  std::atomic<std::uint32_t> edits_begun_{0};
  std::atomic<std::uint32_t> edits_ended_{0};
  std::atomic<std::uint64_t> words_[word_count] = {};
  // Summary (high half) and due second (low half); see the header comment.
  std::atomic<std::uint64_t> digest_{0};
};

template <class T, class M, class Summary>
typename Pullable<T, M, Summary>::State Pullable<T, M, Summary>::snapshot() const {
  const std::uint32_t ended = edits_ended_.load(std::memory_order_acquire);
  State state = read_words();
  if (edits_begun_.load(std::memory_order_relaxed) == ended) return state;
  // An editor is at work: wait for it. A plain read is not an edit.
  std::lock_guard<M> lock(mutex_);
  return read_locked();
}

template <class T, class M, class Summary>
bool Pullable<T, M, Summary>::quick(std::uint32_t& summary) const {
  // Relaxed: the word is the whole answer; nothing else is read through it.
  const std::uint64_t digest = digest_.load(std::memory_order_relaxed);
  const auto due = static_cast<std::uint32_t>(digest);
  if (due != never_due && !(due != unknown_due && seconds(now()) < due)) return false;
  summary = static_cast<std::uint32_t>(digest >> 32);
  return true;
}

template <class T, class M, class Summary>
void Pullable<T, M, Summary>::pull_value(T& value) {
  std::uint64_t buffer[word_count];
  const std::uint32_t ended = edits_ended_.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < word_count; ++i)
    buffer[i] = words_[i].load(std::memory_order_acquire);
  if (edits_begun_.load(std::memory_order_relaxed) == ended) {
    const char* words = reinterpret_cast<const char*>(buffer);
    bool pullable = false;
    SimpleTime::Duration period;
    SimpleTime::PhysicalTime last;
    std::memcpy(&pullable, words + offsetof(State, pullable), sizeof pullable);
    std::memcpy(static_cast<void*>(&period), words + offsetof(State, period), sizeof period);
    std::memcpy(static_cast<void*>(&last), words + offsetof(State, last), sizeof last);
    if (!due(pullable, period, last)) {
      std::memcpy(static_cast<void*>(&value), buffer, sizeof(T));
      return;
    }
  }
  value = pull().value;  // an editor at work, or a re-read due
}

template <class T, class M, class Summary>
typename Pullable<T, M, Summary>::State Pullable<T, M, Summary>::pull() {
  State state = snapshot();
  if (!due(state)) return state;
  Editor editor(*this);
  state = read_locked();
  if (!due(state)) return state;  // another thread re-read meanwhile
  try {
    reload(state.value);
  } catch (...) {
    // A source that throws counts as a failed re-read.
  }
  state.last = now();
  write(state);
  return state;
}

}  // namespace MT
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_MT_PULLABLE_H
