#include "export/export_program.h"

#include "core/command_line.h"
#include "core/text.h"
#include "export/track_export.h"
#include "export/track_writers.h"
#include "platform/output_file.h"
#include "platform/regular_file.h"

namespace ferrolan {

namespace {

constexpr const char* kProgram = "ferrolan-export";
// Far above what the tool writes (a VBI log is a few hundred KiB, a day of
// NMEA text some tens of MB), low enough not to exhaust memory.
constexpr size_t kLogLimit = size_t{1} << 30;
constexpr int kNoPoint = 1;

struct Options {
  std::string log, gpx, csv;
};

const char* readProblem(FileRead r) {
  switch (r) {
    case FileRead::Missing: return "cannot be read";
    case FileRead::NotRegular: return "is not a regular file";
    case FileRead::TooBig: return "is larger than 1 GiB";
    case FileRead::Ok: break;
  }
  return "";
}

// "-" is standard output.
bool writeOut(const std::string& path, const std::string& text, ExportRun& run) {
  if (path == "-") {
    run.out += text;
    return true;
  }
  OpenResult result;
  auto file = OutputFile::open(path, CreateMode::Truncate, result);
  if (file && file->write(text.data(), text.size())) return true;
  run.err += format("%s: %s: cannot be written\n", kProgram, path.c_str());
  return false;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string summary(const std::string& log, const track::Track& t) {
  const bool text = t.kind == track::LogKind::Nmea;
  const track::Skipped& s = t.skipped;
  return format("%s: %s log: %zu points with a fix in %zu epochs; skipped %zu (%zu garbage, %zu bad checksum, "
                "%zu cut short or out of range); %zu other %s not used\n",
                log.c_str(), text ? "NMEA" : "VBI", t.fixes(), t.points.size(), s.total(), s.garbage, s.checksum,
                s.fields, s.ignored, text ? "sentences" : "frames");
}

}  // namespace

ExportRun runExport(const std::vector<std::string>& args) {
  Options o;
  CLI::App app(
      "ferrolan-export LOG [--gpx FILE] [--csv FILE]\n"
      "\n"
      "Turns LOG, a log that ferrolan wrote, the NMEA text log (.txt) or the\n"
      "binary VBI log (.vbi), into a GPX 1.1 track (one point per fix: time,\n"
      "elevation, fix type, satellites used, HDOP) and a CSV of every epoch\n"
      "(time, latitude, longitude, altitude, fix, used, hdop; epochs without\n"
      "a fix have fix \"none\" and no position). The kind of log is told from\n"
      "its bytes.",
      kProgram);
  setUpCommandLine(app, 20);
  app.footer(
      "With neither --gpx nor --csv the CSV goes to standard output. A file\n"
      "named \"-\" is standard output. What could not be read (garbage, bad\n"
      "checksums, sentences or frames cut short) is skipped and counted on\n"
      "standard error. Exit code 0 when a point with a fix came out, 1 when\n"
      "none did or a file could not be read or written, 2 for a bad command\n"
      "line.");
  app.add_option("LOG", o.log, "the log to read")->required()->check(nonEmpty());
  app.add_option("--gpx", o.gpx, "write the GPX track to FILE")->type_name("FILE")->check(nonEmpty());
  app.add_option("--csv", o.csv, "write the CSV to FILE")->type_name("FILE")->check(nonEmpty());
  ExportRun run;
  if (auto exit = parseCommandLine(app, args, std::string(kProgram) + " " + FERROLAN_VERSION)) {
    run.code = exit->code;
    (exit->code == 0 ? run.out : run.err) = exit->text;
    return run;
  }
  if (o.gpx.empty() && o.csv.empty()) o.csv = "-";
  if (o.gpx == "-" && o.csv == "-") {
    auto e = commandLineError(kProgram, "--gpx and --csv cannot both be standard output");
    return {e.code, {}, e.text};
  }

  std::string bytes;
  if (const FileRead r = readRegularFile(o.log, kLogLimit, bytes); r != FileRead::Ok) {
    run.code = kNoPoint;
    run.err = format("%s: %s: %s\n", kProgram, o.log.c_str(), readProblem(r));
    return run;
  }
  const track::Track t =
      track::readLog(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  run.err += format("%s: ", kProgram) + summary(o.log, t);
  bool written = true;
  if (!o.gpx.empty()) written = writeOut(o.gpx, track::gpxDocument(t, baseName(o.log)), run) && written;
  if (!o.csv.empty()) written = writeOut(o.csv, track::csvDocument(t), run) && written;
  run.code = written && t.fixes() > 0 ? 0 : kNoPoint;
  if (t.fixes() == 0) run.err += format("%s: %s: no point with a fix\n", kProgram, o.log.c_str());
  return run;
}

}  // namespace ferrolan
