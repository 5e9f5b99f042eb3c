#pragma once
#include <quillmark/vExport.h>
#include <stdio.h>

// True when the C stream is attached to an interactive terminal (so progress drawing makes
// sense there); false for files, pipes and a null stream.
V_API int vConsole_IsTerminal(FILE *stream);
