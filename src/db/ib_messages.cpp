#include "db/ib_messages.h"

namespace xg {

const ResourceString& ClientErrorResource(ClientError error) {
  switch (error) {
    case ClientError::kClientLibraryNotFound:
      return SIBClientLibraryNotFound;
    case ClientError::kFunctionNotAvailable:
      return SIBFunctionNotAvailable;
    case ClientError::kNotPermitted:
      return SIBNotPermitted;
    case ClientError::kDPBConstantNotSupported:
      return SIBDPBConstantNotSupported;
    case ClientError::kDatabaseClosed:
      return SIBDatabaseClosed;
    case ClientError::kDatabaseOpen:
      return SIBDatabaseOpen;
    case ClientError::kDatabaseNameMissing:
      return SIBDatabaseNameMissing;
    case ClientError::kNotInTransaction:
      return SIBNotInTransaction;
    case ClientError::kInTransaction:
      return SIBInTransaction;
    case ClientError::kNoDatabasesInTransaction:
      return SIBNoDatabasesInTransaction;
    case ClientError::kDatabaseNotAssigned:
      return SIBDatabaseNotAssigned;
    case ClientError::kTransactionNotAssigned:
      return SIBTransactionNotAssigned;
    case ClientError::kXSQLDAIndexOutOfRange:
      return SIBXSQLDAIndexOutOfRange;
    case ClientError::kUnknownSQLDataType:
      return SIBUnknownSQLDataType;
    case ClientError::kInvalidDataConversion:
      return SIBInvalidDataConversion;
    case ClientError::kSQLParseError:
      return SIBSQLParseError;
    case ClientError::kEmptySQLStatement:
      return SIBEmptySQLStatement;
    case ClientError::kIsASelectStatement:
      return SIBIsASelectStatement;
    case ClientError::kEOCReached:
      return SIBEOCReached;
    case ClientError::kEOSReached:
      return SIBEOSReached;
    case ClientError::kParamNameExpected:
      return SIBParamNameExpected;
    case ClientError::kDPBConstantUnknown:
      return SIBDPBConstantUnknown;
    case ClientError::kFieldSizeMismatch:
      return SIBFieldSizeMismatch;
    case ClientError::kDPBValueTooLong:
      return SIBDPBValueTooLong;
    case ClientError::kDatabaseNameTooLong:
      return SIBDatabaseNameTooLong;
    case ClientError::kNoResultSet:
      return SIBNoResultSet;
    default:
      return SIBUnknownError;
  }
}

}  // namespace xg
