#include "export/export_program.h"

#include <algorithm>
#include <memory>

#include "core/command_line.h"
#include "core/text.h"
#include "export/html_report.h"
#include "export/log_summary.h"
#include "export/track_export.h"
#include "export/track_writers.h"
#include "platform/output_file.h"
#include "platform/regular_file.h"

namespace ferrolan {

namespace {

constexpr const char* kProgram = "ferrolan-export";
constexpr int kNoPoint = 1;
// The log is read, and the files written, in pieces of this size.
constexpr size_t kPiece = 64 * 1024;

struct Options {
  std::string log, gpx, csv, report;
  bool stats = false;
};

using Sink = std::function<void(std::string_view)>;

const char* readProblem(FileRead r) {
  switch (r) {
    case FileRead::Missing: return "cannot be read";
    case FileRead::NotRegular: return "is not a regular file";
    case FileRead::TooBig: return "is too large";
    case FileRead::Ok: break;
  }
  return "";
}

// A file written as the points come: "-" is standard output. Opened at the
// first text, so that a log that cannot be read leaves the files alone.
class Output {
 public:
  Output(std::string path, const Sink& standardOutput) : path_(std::move(path)), stdout_(standardOutput) {}

  void put(std::string_view text) {
    if (failed_) return;
    pending_ += text;
    if (pending_.size() >= kPiece) flush();
  }

  // False, with the error on `err`, when not every byte reached the file.
  bool close(std::string& err) {
    flush();
    if (failed_) err += format("%s: %s: cannot be written\n", kProgram, path_.c_str());
    return !failed_;
  }

  bool failed() const { return failed_; }

 private:
  void flush() {
    if (failed_ || pending_.empty()) return;
    if (path_ == "-") {
      stdout_(pending_);
    } else {
      if (!file_) {
        OpenResult result;
        file_ = OutputFile::open(path_, CreateMode::Truncate, result);
      }
      failed_ = !file_ || !file_->write(pending_.data(), pending_.size());
    }
    pending_.clear();
  }

  std::string path_;
  const Sink& stdout_;
  std::unique_ptr<OutputFile> file_;
  std::string pending_;
  bool failed_ = false;
};

std::string baseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string summary(const std::string& log, track::LogKind kind, size_t fixes, size_t epochs,
                    const track::Skipped& s) {
  const bool text = kind == track::LogKind::Nmea;
  std::string line = format("%s: %s log: %zu points with a fix in %zu epochs; skipped %zu (%zu garbage, %zu bad checksum, "
                            "%zu cut short or out of range); %zu other %s not used",
                            log.c_str(), text ? "NMEA" : "VBI", fixes, epochs, s.total(), s.garbage, s.checksum,
                            s.fields, s.ignored, text ? "sentences" : "frames");
  if (s.cut) line += format("; %zu epochs cut by the log's start or end", s.cut);
  return line + "\n";
}

// Reads the log once, writing each point to the files as it comes.
// `countsSaid`: the figures' pass has already told the counts.
ExportRun exportTrack(const Options& o, const Sink& standardOutput, bool countsSaid = false) {
  ExportRun run;
  std::unique_ptr<Output> gpx, csv;
  if (!o.gpx.empty()) gpx = std::make_unique<Output>(o.gpx, standardOutput);
  if (!o.csv.empty()) csv = std::make_unique<Output>(o.csv, standardOutput);
  size_t fixes = 0, epochs = 0;
  track::LogReader reader([&](const track::Point& p, std::span<const track::Signal>) {
    ++epochs;
    fixes += p.fix != track::Fix::None && p.latitude ? 1 : 0;
    if (gpx) gpx->put(track::gpxPoint(p));
    if (csv) csv->put(track::csvRow(p));
  });
  bool opened = false;
  const auto open = [&] {
    if (opened) return;
    opened = true;
    if (gpx) gpx->put(track::gpxBegin(baseName(o.log)));
    if (csv) csv->put(track::csvHeader());
  };
  const FileRead r = readRegularFileInPieces(o.log, SIZE_MAX, kPiece, [&](std::span<const uint8_t> piece) {
    open();
    reader.feed(piece);
    // A file that cannot be written ends the run.
    return !(gpx && gpx->failed()) && !(csv && csv->failed());
  });
  if (r != FileRead::Ok) {
    run.code = kNoPoint;
    run.err = format("%s: %s: %s\n", kProgram, o.log.c_str(), readProblem(r));
    return run;
  }
  open();
  reader.finish();
  if (gpx) gpx->put(track::gpxEnd());
  if (!countsSaid) run.err += format("%s: ", kProgram) + summary(o.log, reader.kind(), fixes, epochs, reader.skipped());
  bool written = true;
  if (gpx) written = gpx->close(run.err) && written;
  if (csv) written = csv->close(run.err) && written;
  run.code = written && fixes > 0 ? 0 : kNoPoint;
  if (fixes == 0 && !countsSaid) run.err += format("%s: %s: no point with a fix\n", kProgram, o.log.c_str());
  return run;
}

// --stats and --report: one summary of the log for both.
ExportRun printSummary(const Options& o, const Sink& standardOutput, bool& readable) {
  ExportRun run;
  track::Summary s;
  std::string error;
  readable = track::summarizeLogFile(o.log, s, error);
  if (!readable) {
    run.code = kNoPoint;
    run.err = format("%s: %s: %s\n", kProgram, o.log.c_str(), error.c_str());
    return run;
  }
  if (o.stats) standardOutput(track::statsJson(s.figures));
  run.err = format("%s: ", kProgram) + summary(o.log, s.kind, s.figures.fixes, s.figures.epochs, s.skipped);
  bool written = true;
  if (!o.report.empty()) {
    // A log with no fix still has a report: its counts and empty plots say so.
    Output report(o.report, standardOutput);
    report.put(track::htmlReport(s, baseName(o.log)));
    written = report.close(run.err);
  }
  run.code = written && s.figures.fixes > 0 ? 0 : kNoPoint;
  if (s.figures.fixes == 0) run.err += format("%s: %s: no point with a fix\n", kProgram, o.log.c_str());
  return run;
}

}  // namespace

ExportRun runExport(const std::vector<std::string>& args) {
  std::string out;
  ExportRun run = runExport(args, [&](std::string_view text) { out += text; });
  run.out = out + run.out;
  return run;
}

ExportRun runExport(const std::vector<std::string>& args, const std::function<void(std::string_view)>& standardOutput) {
  Options o;
  CLI::App app(
      "ferrolan-export LOG [--gpx FILE] [--csv FILE] [--stats] [--report FILE]\n"
      "\n"
      "Turns LOG, a log that ferrolan wrote, the NMEA text log (.txt) or the\n"
      "binary VBI log (.vbi), into a GPX 1.1 track (one point per fix: time,\n"
      "elevation, fix type, satellites used, HDOP) and a CSV of every epoch\n"
      "(time, latitude, longitude, altitude, fix, used, hdop; epochs without\n"
      "a fix have fix \"none\" and no position), or into its figures (--stats)\n"
      "and a report of them with plots (--report). The kind of log is told\n"
      "from its bytes.",
      kProgram);
  setUpCommandLine(app, 20);
  app.footer(
      "With none of --gpx, --csv, --stats and --report the CSV goes to\n"
      "standard output. A file named \"-\" is standard output. --stats prints one JSON\n"
      "object: fixes, epochs, duration_s, fix_rate, mean lat and lon, cep50_m,\n"
      "cep95_m and drms2_m (horizontal distances from the mean), alt_mean_m,\n"
      "alt_sd_m, hdop_mean, sats_used_mean, cn0_mean_dbhz and ttff_s, null\n"
      "where the log has none. --report writes one HTML page that needs no\n"
      "network: those figures, the fixes around their mean with the CEP\n"
      "circles, altitude, satellites used and HDOP, each satellite's signal\n"
      "and the fix mode over time. What could not be read (garbage, bad\n"
      "checksums, sentences or frames cut short) is skipped and counted on\n"
      "standard error. Exit code 0 when a point with a fix came out, 1 when\n"
      "none did or a file could not be read or written, 2 for a bad command\n"
      "line.");
  app.add_option("LOG", o.log, "the log to read")->required()->check(nonEmpty());
  app.add_option("--gpx", o.gpx, "write the GPX track to FILE")->type_name("FILE")->check(nonEmpty());
  app.add_option("--csv", o.csv, "write the CSV to FILE")->type_name("FILE")->check(nonEmpty());
  app.add_flag("--stats", o.stats, "print the log's figures as JSON on standard output");
  app.add_option("--report", o.report, "write the figures and plots as an HTML page to FILE")
      ->type_name("FILE")
      ->check(nonEmpty());
  ExportRun run;
  if (auto exit = parseCommandLine(app, args, std::string(kProgram) + " " + FERROLAN_VERSION)) {
    run.code = exit->code;
    (exit->code == 0 ? run.out : run.err) = exit->text;
    return run;
  }
  if (o.gpx.empty() && o.csv.empty() && !o.stats && o.report.empty()) o.csv = "-";
  const bool fileToStdout = o.gpx == "-" || o.csv == "-";
  const char* clash = o.gpx == "-" && o.csv == "-" ? "--gpx and --csv cannot both be standard output"
                      : o.stats && fileToStdout ? "--stats and a file \"-\" cannot both be standard output"
                      : o.report == "-" && (o.stats || fileToStdout)
                          ? "--report - and another output cannot both be standard output"
                          : nullptr;
  if (clash) {
    auto e = commandLineError(kProgram, clash);
    return {e.code, {}, e.text};
  }
  if (!o.stats && o.report.empty()) return exportTrack(o, standardOutput);
  bool readable = false;
  ExportRun stats = printSummary(o, standardOutput, readable);
  if (!readable || (o.gpx.empty() && o.csv.empty())) return stats;
  // The files too: a pass of their own, whose counts the figures' pass has
  // already given (both find the same fixes).
  ExportRun files = exportTrack(o, standardOutput, true);
  files.err = stats.err + files.err;
  // A report that could not be written fails the run as a file does.
  files.code = std::max(files.code, stats.code);
  return files;
}

}  // namespace ferrolan
