// Compiles the header on its own, so a missing include shows up here first.
#include "model/DatasetEntry.h"
