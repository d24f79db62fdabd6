// Placeholder until the library state lands.
#include "mod_gcode/export/Quillet.h"
QUILLET_API void Code_ResetProg(void*) {}
