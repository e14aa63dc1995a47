#include "plugin/module_objects.h"

#include "gif/decode_worker.h"

KelRenderEvents* renderEvents = nullptr;
KelEvents* events = nullptr;
AsiPlugin* plugin = nullptr;

namespace {
DecodeWorker* worker = nullptr;
}

DecodeWorker& decodeWorker() {
  if (worker == nullptr) worker = new DecodeWorker();
  return *worker;
}

void endDecodeWorker(bool processEnding) {
  if (worker == nullptr || processEnding) return;
  worker->stop(DecodeWorker::Ending::Leave);
  delete worker;
  worker = nullptr;
}
