#pragma once
// Raw logging of the receiver's stream to the storage card: NMEA sentences
// as text, VBI bytes through a buffer that is written out when logging
// stops, when it is full (a new file then starts) and at exit.

#include <atomic>
#include <string>

#include "control/log_buffer.h"
#include "control/storage_folders.h"
#include "datapath/stream_log.h"
#include "link/serial_session.h"
#include "platform/clock.h"
#include "ui/ui_model.h"

namespace ferrolan {

inline constexpr const char* kLogFailedText = "We can't create the log file.";
inline constexpr const char* kLoggingText = "Logging";
inline constexpr const char* kNotLoggingText = "    ";
// The VBI buffer when no size was chosen: the smallest the dialog offers.
inline constexpr uint32_t kDefaultLogCapacity = 655360;

struct LogContext {
  Clock& clock;
  UiModel& ui;
  StorageContext& storage;
  const std::string& root;
  const std::atomic<ProtocolMode>& protocolMode;
  LogBuffer& log;
};

// The three places a log is tried, in order.
enum class LogPlace { Card, Flash, Root };

// "\<folder>\Vexil_Log_<seq>_<hh>_<mm>.txt" (or .vbi); hour and minute
// padded with a blank to two characters, except the hour of a VBI log in
// the root folder.
std::string logFileName(LogPlace place, const std::string& folder, uint32_t sequence, int hour, int minute,
                        bool binary);

// The Start and Stop log commands; either also ends a log's waiting to go
// on after a lost line.
void startLogging(LogContext& ctx);
void stopLogging(LogContext& ctx);
void closeLogAtExit(LogContext& ctx);

// What the receive thread feeds: lines to the text log, bytes to the VBI
// buffer with its rotation.
class DataLog final : public StreamLog {
 public:
  explicit DataLog(LogContext& ctx) : ctx_(ctx) {}
  bool writeLine(std::string_view line) override;
  bool feedByte(uint8_t byte) override;
  int fillPercent() override;
  void lineLost() override;
  void lineBack() override;

 private:
  LogContext& ctx_;
};

}  // namespace ferrolan
