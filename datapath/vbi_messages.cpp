#include "datapath/vbi_messages.h"

namespace ferrolan {

void takeVbiFrame(DataPathContext& ctx, FrameView frame, int32_t length) {
  switch (frame[0]) {
    case kSvMeasurementsMessage:
      ctx.data.vbi.putMeasurement(frame, length);
      ctx.data.events.signal(sentenceEvents::kSvMeasData);
      return;
    case kPvtSolutionMessage:
      ctx.data.vbi.putSolution(frame);
      ctx.data.events.signal(sentenceEvents::kSvSoluData);
      return;
    default:
      return;
  }
}

}  // namespace ferrolan
