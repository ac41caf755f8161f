// The file and local-memory calls a loaded module makes, routed through its
// import table: CreateFileA, ReadFile, WriteFile, CloseHandle, DeleteFileA,
// LocalAlloc and LocalFree pass on unchanged, or fail once when a test asked
// for that, and what the module leaves open is counted.
#pragma once

#include <string>

#include "platform/base/win_base.h"

bool RouteFileCalls(HMODULE hModule, std::string* pError);

// Each fault strikes once, for the named file whatever its letter case: the
// nth open from now (ERROR_ACCESS_DENIED), the nth read (ERROR_READ_FAULT) or
// write (ERROR_DISK_FULL) on any of its handles, the next deletion
// (ERROR_ACCESS_DENIED); and the next LocalAlloc (ERROR_NOT_ENOUGH_MEMORY).
void FailFileOpen(const std::string& strPath, int nth);
void FailFileRead(const std::string& strPath, int nth);
void FailFileWrite(const std::string& strPath, int nth);
void FailFileDelete(const std::string& strPath);
void FailNextLocalAlloc();
// Drops the faults that have not struck.
void ClearFileFaults();

// Files the module opened and has not closed; LocalAlloc blocks not freed.
int OpenFiles();
int LocalBlocks();
