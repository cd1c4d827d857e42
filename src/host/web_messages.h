// The messages of the host: the page of a failure that escapes the gateway's action.
#pragma once

#include "texts/resource_strings.h"

namespace xg {

XG_RESOURCE(SInternalApplicationError,
            "<html><body><h1>Internal Application Error</h1>\r\n<p>%0:s\r\n"
            "<p><hr width=\"100%%\"><i>%1:s</i></body></html>");

}  // namespace xg
