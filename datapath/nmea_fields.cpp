#include "datapath/nmea_fields.h"

namespace ferrolan {

namespace {
constexpr size_t kFirstField = 7;
}

std::string_view lineBody(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string_view nmeaField(std::string_view line, int n) {
  if (n < 1 || line.size() < kFirstField) return {};
  size_t start = kFirstField;
  for (int i = 1; i < n; ++i) {
    const size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  const size_t end = line.find(',', start);
  return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

FieldCursor::Field FieldCursor::next() {
  if (pos_ >= line_.size()) return {{}, 0};
  const size_t end = line_.find_first_of(",*", pos_);
  if (end == std::string_view::npos) {
    Field f{line_.substr(pos_), 0};
    pos_ = line_.size();
    return f;
  }
  Field f{line_.substr(pos_, end - pos_), line_[end]};
  pos_ = end + 1;
  return f;
}

}  // namespace ferrolan
