#pragma once
// The module-wide objects, one per process: made by the start-up callback, deleted at unload.
class AsiPlugin;
class DecodeWorker;
class KelEvents;
class KelRenderEvents;

extern KelRenderEvents* renderEvents;  // owned
extern KelEvents* events;              // the events hub's own instance
extern AsiPlugin* plugin;              // owned

// The thread that decodes animations that were not preloaded; made at its first use.
DecodeWorker& decodeWorker();
// At unload: waits for the file in hand and lets the thread end outside this module. When the
// process is ending its threads are gone already, maybe inside a lock: nothing is touched.
void endDecodeWorker(bool processEnding);
