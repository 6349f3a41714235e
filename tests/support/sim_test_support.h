#pragma once
// Helpers for the simulator's tests: an independent NMEA and VBI reader, so
// the receiver's output is judged by code that does not share its builders.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "sim/receiver.h"

namespace ferrolan::simtest {

using sim::Bytes;

struct Sentence {
  std::string text;                 // "$...*hh\r\n" as it came
  std::vector<std::string> fields;  // split at "," between "$" and "*"
  bool checksumOk = false;
};

inline int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits text into sentences; anything that is not a whole sentence fails.
inline std::vector<Sentence> sentencesOf(const std::string& s) {
  std::vector<Sentence> out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t end = s.find("\r\n", i);
    EXPECT_NE(end, std::string::npos) << "unterminated: " << s.substr(i);
    if (end == std::string::npos) break;
    Sentence st;
    st.text = s.substr(i, end + 2 - i);
    EXPECT_EQ(st.text[0], '$') << st.text;
    const size_t star = st.text.find('*');
    EXPECT_EQ(star, st.text.size() - 5) << st.text;
    if (star != std::string::npos && star + 2 < st.text.size()) {
      uint8_t x = 0;
      for (size_t k = 1; k < star; ++k) x = static_cast<uint8_t>(x ^ static_cast<uint8_t>(st.text[k]));
      const int hi = hexDigit(st.text[star + 1]), lo = hexDigit(st.text[star + 2]);
      st.checksumOk = hi >= 0 && lo >= 0 && x == hi * 16 + lo;
      std::string body = st.text.substr(1, star - 1);
      size_t p = 0;
      for (;;) {
        const size_t c = body.find(',', p);
        st.fields.push_back(body.substr(p, c == std::string::npos ? std::string::npos : c - p));
        if (c == std::string::npos) break;
        p = c + 1;
      }
    }
    out.push_back(std::move(st));
    i = end + 2;
  }
  return out;
}

struct Frame {
  uint16_t id = 0;
  Bytes payload;
  bool checksumOk = false;
};

// Splits a byte stream into VBI frames by their length fields.
inline std::vector<Frame> framesOf(const Bytes& b) {
  std::vector<Frame> out;
  size_t i = 0;
  while (i < b.size()) {
    EXPECT_GE(b.size() - i, 8u);
    if (b.size() - i < 8) break;
    EXPECT_EQ(b[i], 0x81);
    EXPECT_EQ(b[i + 1], 0xFF);
    Frame f;
    f.id = static_cast<uint16_t>(b[i + 2] | (b[i + 3] << 8));
    const size_t len = static_cast<size_t>(b[i + 4] | (b[i + 5] << 8));
    const uint16_t given = static_cast<uint16_t>(b[i + 6] | (b[i + 7] << 8));
    EXPECT_LE(i + 8 + len, b.size());
    if (i + 8 + len > b.size()) break;
    f.payload.assign(b.begin() + static_cast<long>(i + 8), b.begin() + static_cast<long>(i + 8 + len));
    uint32_t sum = b[i + 2] + b[i + 3] + b[i + 4] + b[i + 5];
    for (uint8_t x : f.payload) sum += x;
    f.checksumOk = ((sum + given) & 0xFFFF) == 0;
    out.push_back(std::move(f));
    i += 8 + len;
  }
  return out;
}

inline std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// Runs the receiver for `ms`, in 10 ms steps, and gathers its output.
inline Bytes run(sim::Receiver& rx, uint32_t& now, uint32_t ms) {
  Bytes all;
  for (uint32_t t = 0; t < ms; t += 10) {
    now += 10;
    rx.advance(now);
    Bytes b = rx.takeOutput();
    all.insert(all.end(), b.begin(), b.end());
  }
  return all;
}

// What the receiver has said already, then all it says within `ms`.
inline Bytes collect(sim::Receiver& rx, uint32_t& now, uint32_t ms) {
  Bytes out = rx.takeOutput();
  const Bytes more = run(rx, now, ms);
  out.insert(out.end(), more.begin(), more.end());
  return out;
}

// Sends a "$PKRV" command the way the program does: each copy padded with
// zero bytes to 23, twice.
inline void sendTwice(sim::Receiver& rx, uint32_t now, const std::string& sentence) {
  for (int copy = 0; copy < 2; ++copy) {
    std::string padded = sentence;
    padded.resize(23, '\0');
    for (char c : padded) rx.receive(static_cast<uint8_t>(c), now);
  }
}

inline void sendBytesTwice(sim::Receiver& rx, uint32_t now, const Bytes& frame) {
  for (int copy = 0; copy < 2; ++copy)
    for (uint8_t c : frame) rx.receive(c, now);
}

// "PKRV09,8,4" -> "$PKRV09,8,4*hh\r\n".
inline std::string withChecksum(const std::string& body) {
  uint8_t x = 0;
  for (char c : body) x = static_cast<uint8_t>(x ^ static_cast<uint8_t>(c));
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return "$" + body + tail;
}

inline size_t count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

}  // namespace ferrolan::simtest
