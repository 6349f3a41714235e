// The shared-port driver on real pseudo-terminals: bytes per second from
// the receiver to the debug port and back, VBI frames turned into NMEA
// sentences per second, and the latency the driver adds to a debug-port
// round trip (a byte to the receiver and its echo back), against the same
// round trip on a bare pty.
//
//   build/bench/portd_throughput [MEGABYTES] [ROUND_TRIPS]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "driver/port_driver.h"
#include "platform/pseudo_terminal.h"
#include "platform/tty_port.h"
#include "sim/vbi_output.h"

using namespace ferrolan;
using Steady = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

double seconds(Steady::time_point since) { return std::chrono::duration<double>(Steady::now() - since).count(); }

void sendAll(PseudoTerminal& line, const Bytes& b) {
  for (size_t done = 0; done < b.size();) {
    const size_t w = line.write(b.data() + done, b.size() - done);
    done += w;
    if (w == 0) std::this_thread::yield();
  }
}

// Reads `want` bytes (or until the line is quiet for a second).
size_t drain(Port& p, size_t want) {
  size_t got = 0;
  uint8_t buf[65536];
  int idle = 0;
  while (got < want && idle < 20) {
    const size_t n = p.read(buf, sizeof buf);
    got += n;
    idle = n == 0 ? idle + 1 : 0;
  }
  return got;
}

std::shared_ptr<TtyPort> openFast(const std::string& path) {
  auto p = TtyPort::open(path);
  if (p) p->setTimeouts({0, 0, 50, 10, 1000});
  return p;
}

// Round trips of one byte through `tool`, echoed by whoever holds `echo`.
std::vector<double> roundTrips(Port& tool, PseudoTerminal& echo, int count) {
  std::atomic<bool> done{false};
  std::thread echoer([&] {
    uint8_t b[64];
    while (!done) {
      const int fd = echo.lineFd();
      bool ready = false;
      waitForInput(&fd, &ready, 1, 50);
      if (const size_t n = echo.read(b, sizeof b)) sendAll(echo, Bytes(b, b + n));
    }
  });
  std::vector<double> us;
  for (int i = 0; i < count; ++i) {
    const uint8_t out = static_cast<uint8_t>(i);
    uint8_t in = 0;
    const auto start = Steady::now();
    if (!tool.write(&out, 1) || !tool.readByte(in) || in != out) continue;
    us.push_back(seconds(start) * 1e6);
  }
  done = true;
  echoer.join();
  std::sort(us.begin(), us.end());
  return us;
}

double at(const std::vector<double>& v, double q) {
  return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;
  const int trips = argc > 2 ? std::max(10, std::atoi(argv[2])) : 1000;
  std::string error;
  auto line = PseudoTerminal::create(error);
  auto port = line ? TtyPort::open(line->path()) : nullptr;
  auto driver = port ? PortDriver::create(port, 115200, error) : nullptr;
  if (!driver) {
    std::fprintf(stderr, "portd_throughput: %s\n", error.c_str());
    return 1;
  }
  CancelToken stop;
  auto running = std::async(std::launch::async, [&] { return driver->run(stop); });
  auto tool = openFast(driver->debugPath());
  auto gps = openFast(driver->nmeaPath());
  if (!tool || !gps) {
    std::fprintf(stderr, "portd_throughput: cannot open the driver's ports\n");
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the driver sees its readers open

  // Receiver to debug port.
  Bytes noise(megabytes << 20);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  auto start = Steady::now();
  std::thread sender([&] { sendAll(*line, noise); });
  const size_t got = drain(*tool, noise.size());
  sender.join();
  const double upSeconds = seconds(start);
  drain(*gps, SIZE_MAX);

  // Debug port to receiver.
  start = Steady::now();
  const Bytes down(noise.begin(), noise.begin() + static_cast<long>(noise.size() / 4));
  std::thread writer([&] { tool->write(down.data(), down.size()); });
  size_t arrived = 0;
  for (uint8_t buf[65536]; arrived < down.size();) {
    const int fd = line->lineFd();
    bool ready = false;
    if (waitForInput(&fd, &ready, 1, 1000) == 0) break;
    arrived += line->read(buf, sizeof buf);
  }
  writer.join();
  const double downSeconds = seconds(start);

  // VBI epochs in, NMEA sentences out, as fast as the ptys go.
  sim::Epoch e;
  e.fix = sim::FixKind::Fix3D;
  for (int k = 0; k < 12; ++k) e.sky.push_back({k + 1, 20 + k, 30 * k, 40, k < 8});
  Bytes epochs;
  for (int i = 0; i < 2000; ++i)
    for (const auto& f : sim::vbiEpoch(e, 1'450'000'000u + static_cast<uint32_t>(i), static_cast<uint32_t>(i)))
      epochs.insert(epochs.end(), f.begin(), f.end());
  const uint64_t before = driver->stats().nmeaSentences;
  start = Steady::now();
  std::thread vbi([&] { sendAll(*line, epochs); });
  std::atomic<bool> vbiDone{false};
  std::thread toolReader([&] { drain(*tool, epochs.size()); vbiDone = true; });
  size_t nmeaBytes = 0;
  while (!vbiDone) nmeaBytes += drain(*gps, 1 << 16);
  vbi.join();
  toolReader.join();
  const double vbiSeconds = seconds(start);
  const uint64_t sentences = driver->stats().nmeaSentences - before;

  const auto through = roundTrips(*tool, *line, trips);
  stop.cancel();
  running.wait();
  tool->close();

  // The same round trip on a bare pty, without the driver between.
  auto bare = PseudoTerminal::create(error);
  auto direct = bare ? openFast(bare->path()) : nullptr;
  std::vector<double> baseline;
  if (direct) baseline = roundTrips(*direct, *bare, trips);

  const double mb = 1024.0 * 1024.0;
  std::printf("receiver -> debug port: %zu of %zu bytes, %.1f MB/s\n", got, noise.size(), got / mb / upSeconds);
  std::printf("debug port -> receiver: %zu of %zu bytes, %.1f MB/s\n", arrived, down.size(), arrived / mb / downSeconds);
  std::printf("VBI -> NMEA: %zu epochs (%.1f MB) in %.2f s: %.0f epochs/s, %llu sentences (%zu bytes read) on the NMEA port\n",
              size_t{2000}, epochs.size() / mb, vbiSeconds, 2000 / vbiSeconds, static_cast<unsigned long long>(sentences),
              nmeaBytes);
  std::printf("debug round trip us (%zu): median %.1f  p99 %.1f  max %.1f\n", through.size(), at(through, 0.5),
              at(through, 0.99), through.empty() ? 0 : through.back());
  std::printf("bare pty round trip us (%zu): median %.1f  p99 %.1f\n", baseline.size(), at(baseline, 0.5),
              at(baseline, 0.99));
  std::printf("added by the driver: median %.1f us\n", at(through, 0.5) - at(baseline, 0.5));
  return 0;
}
