#include "datapath/reconnect.h"

#include "datapath/receive_thread.h"
#include "link/serial_session.h"
#include "platform/port_watch.h"

namespace ferrolan {

namespace {

// The slow look: the name is looked at again this often even with no
// news, and tried when it leads to another device than the last try.
constexpr uint32_t kLookAgainMs = 5000;

}  // namespace

void runReconnect(DataPathContext& data, LinkContext& link, WorkerControl& ctl) {
  ReceiverSession& s = link.session;
  // The name the user connected, and the file it opens now (a device
  // root's dev/COMn, a link the system re-makes, or the device itself).
  const std::string path = link.ports.devicePath(s.portName.get());
  PortWatch watch;
  if (!path.empty()) watch.watchFolder(folderOfName(path));
  watch.watchFolder("/dev");
  std::string tried;    // the device of the last try
  bool news = true;     // it may be back already
  while (ctl.checkpoint()) {
    // An opener with no file to show is tried on every piece of news.
    const std::string device = path.empty() ? std::string() : deviceIdentity(path);
    const bool worthATry = path.empty() ? news : !device.empty() && (news || device != tried);
    // The start-up update owns the port while it runs.
    if (worthATry && s.autoUpdateRunning == 0) {
      tried = device;
      if (connectSession(link, ConnectKind::Again, &ctl.cancelToken()) == ConnectResult::Connected) {
        data.textLog.append(kLineBackText);
        if (StreamLog* log = data.data.streamLog.load()) log->lineBack();
        return;
      }
    }
    news = watch.waitForChange(kLookAgainMs, &ctl.cancelToken());
  }
}

}  // namespace ferrolan
