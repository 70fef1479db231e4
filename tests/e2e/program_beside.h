// Where the end-to-end tests find the programs they start: beside themselves.
#pragma once

#include <windows.h>

#include <string>

constexpr DWORD kDeadlineMs = 60000;

inline std::string ProgramBeside(const char* name) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}
