#include "db/ib_messages.h"

namespace xg {

const ResourceString& IBClientMessageResource(int number) {
  switch (number) {
    case ibcClientLibraryNotFound:
      return SIBClientLibraryNotFound;
    case ibcFunctionNotAvailable:
      return SIBFunctionNotAvailable;
    case ibcNotPermitted:
      return SIBNotPermitted;
    case ibcDPBConstantNotSupported:
      return SIBDPBConstantNotSupported;
    case ibcDatabaseClosed:
      return SIBDatabaseClosed;
    case ibcDatabaseOpen:
      return SIBDatabaseOpen;
    case ibcDatabaseNameMissing:
      return SIBDatabaseNameMissing;
    case ibcNotInTransaction:
      return SIBNotInTransaction;
    case ibcInTransaction:
      return SIBInTransaction;
    case ibcNoDatabasesInTransaction:
      return SIBNoDatabasesInTransaction;
    case ibcDatabaseNotAssigned:
      return SIBDatabaseNotAssigned;
    case ibcTransactionNotAssigned:
      return SIBTransactionNotAssigned;
    case ibcXSQLDAIndexOutOfRange:
      return SIBXSQLDAIndexOutOfRange;
    case ibcUnknownSQLDataType:
      return SIBUnknownSQLDataType;
    case ibcInvalidDataConversion:
      return SIBInvalidDataConversion;
    case ibcSQLParseError:
      return SIBSQLParseError;
    case ibcEmptySQLStatement:
      return SIBEmptySQLStatement;
    case ibcIsASelectStatement:
      return SIBIsASelectStatement;
    case ibcEOCReached:
      return SIBEOCReached;
    case ibcEOSReached:
      return SIBEOSReached;
    case ibcParamNameExpected:
      return SIBParamNameExpected;
    case ibcDPBConstantUnknown:
      return SIBDPBConstantUnknown;
    case ibcFieldSizeMismatch:
      return SIBFieldSizeMismatch;
    case ibcDPBValueTooLong:
      return SIBDPBValueTooLong;
    case ibcDatabaseNameTooLong:
      return SIBDatabaseNameTooLong;
    case ibcNoResultSet:
      return SIBNoResultSet;
    default:
      return SIBUnknownError;
  }
}

}  // namespace xg
