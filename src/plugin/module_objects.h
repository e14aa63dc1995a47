#pragma once
// The module-wide objects, one per process: made by the start-up callback, deleted at unload.
class AsiPlugin;
class KelEvents;
class KelRenderEvents;

extern KelRenderEvents* renderEvents;  // owned
extern KelEvents* events;              // the events hub's own instance
extern AsiPlugin* plugin;              // owned
