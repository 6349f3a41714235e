#pragma once
// Field access in a stored NMEA line. Reads never leave the line: a field
// that the line does not reach is empty.

#include <cstddef>
#include <string_view>

namespace ferrolan {

// The line without the LF (and a CR) that ends it.
std::string_view lineBody(std::string_view line);

// Field n of a line, n from 1: field 1 begins at index 7, just after the
// comma that follows the sentence id; each field runs to the next comma.
std::string_view nmeaField(std::string_view line, int n);

// Reads fields one after another from a position; a field ends at a comma,
// at the checksum marker "*", or where the line ends.
class FieldCursor {
 public:
  FieldCursor(std::string_view line, size_t from) : line_(line), pos_(from) {}
  struct Field {
    std::string_view text;
    char end = 0;  // ',', '*', or 0 at the end of the line
  };
  Field next();

 private:
  std::string_view line_;
  size_t pos_;
};

}  // namespace ferrolan
