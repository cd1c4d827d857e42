// The messages of the web layer: the request cycle, the dispatcher and the form decoding.
#pragma once

#include "runtime/resource_strings.h"

namespace xg {

XG_RESOURCE(SOnlyOneDataModule, "Only one data module per application");
XG_RESOURCE(SNoDataModulesRegistered, "No data modules registered");
XG_RESOURCE(SNoDataModulesCreated, "No automatically activated data modules");
XG_RESOURCE(SDuplicateActionName, "Duplicate action name");
XG_RESOURCE(SInternalApplicationError,
            "<html><body><h1>Internal Application Error</h1>\r\n<p>%0:s\r\n"
            "<p><hr width=\"100%%\"><i>%1:s</i></body></html>");
XG_RESOURCE(SErrorDecodingURLText, "Error decoding URL style (%%XX) encoded string at position %d");
XG_RESOURCE(SInvalidURLEncodedChar, "Invalid URL encoded character (%s) at position %d");

}  // namespace xg
