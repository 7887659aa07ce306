// vexil import and export commands; `help` is printed for -h.
#pragma once

int CmdImport(int argc, char** argv, const char* help);
int CmdExport(int argc, char** argv, const char* help);
