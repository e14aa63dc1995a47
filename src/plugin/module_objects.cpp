#include "plugin/module_objects.h"

KelRenderEvents* renderEvents = nullptr;
KelEvents* events = nullptr;
AsiPlugin* plugin = nullptr;
