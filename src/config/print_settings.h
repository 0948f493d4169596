// --print-settings: the settings a drawing run would use, read the same way (defaults
// resource, then the stored values), one "Name=value" line per field.
#pragma once

#include <cstdio>

// Writes the lines to out; returns the process exit code.
int PrintSettings(std::FILE* out);
