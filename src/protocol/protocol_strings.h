// The protocol's vocabulary: element, attribute, service and kind names and the declaration line
// of every answer document, one table of named string resources.
#pragma once

#include "texts/resource_strings.h"

namespace xg {

XG_RESOURCE(SSendData, "SENDDATA");
XG_RESOURCE(SService, "SERVICE");
XG_RESOURCE(SServiceStatus, "SERVICESTATUS");
XG_RESOURCE(SServiceError, "SERVICEERROR");
XG_RESOURCE(SServiceOpenSQL, "SERVICEOPENSQL");
XG_RESOURCE(SServiceExecSQL, "SERVICEEXECSQL");
XG_RESOURCE(SDB, "DB");
XG_RESOURCE(SUser, "USER");
XG_RESOURCE(SPass, "PASS");
XG_RESOURCE(SSQL, "SQL");
XG_RESOURCE(SXMLDeclaration, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
XG_RESOURCE(SStatus, "STATUS");
XG_RESOURCE(SError, "ERROR");
XG_RESOURCE(SOpenSQL, "OPENSQL");
XG_RESOURCE(SExecSQL, "EXECSQL");
XG_RESOURCE(STimestamp, "TIMESTAMP");
XG_RESOURCE(SAgent, "AGENT");
XG_RESOURCE(SMsgData, "MSGDATA");
XG_RESOURCE(SDataTypes, "DATATYPES");
XG_RESOURCE(SDataType, "DATATYPE");
XG_RESOURCE(SDataSize, "DATASIZE");
XG_RESOURCE(SRecordCount, "RECORDCOUNT");
XG_RESOURCE(SRecord, "RECORD");
XG_RESOURCE(SKindString, "STRING");
XG_RESOURCE(SKindInteger, "INTEGER");
XG_RESOURCE(SKindFloat, "FLOAT");
XG_RESOURCE(SKindBoolean, "BOOLEAN");
XG_RESOURCE(SKindDate, "DATE");
XG_RESOURCE(SKindTime, "TIME");
XG_RESOURCE(SKindDateTime, "DATETIME");

}  // namespace xg
