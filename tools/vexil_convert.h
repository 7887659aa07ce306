// vexil import, export and objects commands; `help` is printed for -h.
#pragma once

int CmdImport(int argc, char** argv, const char* help);
int CmdExport(int argc, char** argv, const char* help);
int CmdObjects(int argc, char** argv, const char* help);
