#include "update/update_file.h"

#include <fstream>
#include <system_error>

namespace ferrolan {

std::shared_ptr<UpdateFile> UpdateFile::open(const std::string& path) {
  std::error_code ec;
  // A folder opens as a stream on Linux but is not a file to send.
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return nullptr;
  const auto modified = std::filesystem::last_write_time(path, ec);
  if (ec) return nullptr;
  auto in = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!in->is_open()) return nullptr;
  auto file = std::make_shared<UpdateFile>(std::move(in), static_cast<uint64_t>(size));
  file->path_ = path;
  file->modified_ = modified;
  return file;
}

UpdateFile::UpdateFile(std::unique_ptr<std::istream> in, uint64_t size) : in_(std::move(in)), size_(size) {}

long UpdateFile::read(uint8_t* buf, size_t max) {
  if (!in_ || in_->bad()) return -1;
  if (in_->eof() || max == 0) return 0;
  in_->read(reinterpret_cast<char*>(buf), static_cast<std::streamsize>(max));
  if (in_->bad()) return -1;
  return static_cast<long>(in_->gcount());
}

bool UpdateFile::unchanged() const {
  if (path_.empty()) return true;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path_, ec);
  if (ec || size != size_) return false;
  const auto modified = std::filesystem::last_write_time(path_, ec);
  return !ec && modified == modified_;
}

}  // namespace ferrolan
