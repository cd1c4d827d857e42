// The life of the CGI process from start to exit code, in the order the request relies on:
// 1. the language module search, before the first string resource is read (the run-time error
//    texts and the default names of the regional settings are resources);
// 2. the run-time error texts and the pre-built exception objects;
// 3. the regional settings, read once;
// 4. the application object, its start-up hook, the module class;
// 5. the request.
// Exit codes: 0 after every request that reaches the request cycle (failure pages included);
// 1 after an unhandled failure of start-up or shutdown, whose text goes to standard error.
#pragma once

#include "host/cgi_application.h"

namespace xg {

int RunCgiProgram(const TWebModuleClass& moduleClass);

}  // namespace xg
