#pragma once
// A file the program writes: the raw logs. Every write goes straight to the
// file, so what was logged survives whatever happens to the program next.

#include <cstddef>
#include <memory>
#include <string>

namespace ferrolan {

enum class CreateMode {
  Truncate,    // created, or emptied when it exists
  CreateNew,   // created only when the name is free
  OpenAlways,  // created, or opened for appending when it exists
};

enum class OpenResult { Ok, Exists, Failed };

class OutputFile {
 public:
  static std::unique_ptr<OutputFile> open(const std::string& path, CreateMode mode, OpenResult& result);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // False when not every byte reached the file.
  bool write(const void* data, size_t n);

 private:
  explicit OutputFile(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace ferrolan
