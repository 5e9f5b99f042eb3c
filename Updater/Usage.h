#pragma once

// Writes the brief usage to standard error.
void printBriefUsage();
// Writes the brief usage and, when help is true, every further usage text, to standard error.
void printUsage(bool help);
