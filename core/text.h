#pragma once
// Small text helpers with the platform's conversion rules.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace ferrolan {

// Decimal text to integer the way the platform's conversion does it:
// leading blanks, an optional sign, the leading digits; 0 when there are
// none. Saturates instead of overflowing.
int decimalValue(std::string_view text);

// Text cut to a buffer of `capacity` characters including the terminator.
// A character is a UTF-8 sequence, which is never cut apart; a byte that
// starts no valid sequence counts as one character.
std::string bounded(std::string_view text, size_t capacity);

// The length of the well-formed UTF-8 sequence that starts at `at` (no
// overlong forms, surrogates or code points past U+10FFFF), 0 when none does.
size_t utf8SequenceLength(std::string_view text, size_t at);

// 8-bit text whose every byte is one Latin-1 character, as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// A process-wide text of fixed capacity, read and written under a short lock.
template <size_t Capacity>
class SharedText {
 public:
  static constexpr size_t kCapacity = Capacity;
  SharedText() = default;
  explicit SharedText(std::string_view initial) : text_(bounded(initial, Capacity)) {}
  std::string get() const {
    std::lock_guard l(m_);
    return text_;
  }
  void set(std::string_view text) {
    std::string t = bounded(text, Capacity);
    std::lock_guard l(m_);
    text_ = std::move(t);
  }

 private:
  mutable std::mutex m_;
  std::string text_;
};

}  // namespace ferrolan
