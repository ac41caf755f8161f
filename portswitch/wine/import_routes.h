// Routes a loaded module's imports of chosen functions from one DLL through
// functions of ours, by rewriting its import address table: the module's
// own calls reach them, nobody else's do.
#pragma once

#include <string>

#include "platform/base/win_base.h"

struct ImportRoute {
    const char* pszFunction;
    void* pRoute;
};

// True when at least one of the routes applied; false with *pError when the
// module imports none of them from pszDll or its table cannot be rewritten.
bool RouteImports(HMODULE hModule, const char* pszDll, const ImportRoute* pRoutes, int nRoutes,
                  std::string* pError);
