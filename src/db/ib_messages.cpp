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
    case ClientError::kDescriptorIndexOutOfRange:
      return SIBDescriptorIndexOutOfRange;
    case ClientError::kUnknownSqlDataType:
      return SIBUnknownSQLDataType;
    case ClientError::kInvalidDataConversion:
      return SIBInvalidDataConversion;
    case ClientError::kSqlParseError:
      return SIBSQLParseError;
    case ClientError::kEmptySqlStatement:
      return SIBEmptySQLStatement;
    case ClientError::kIsASelectStatement:
      return SIBIsASelectStatement;
    case ClientError::kEocReached:
      return SIBEOCReached;
    case ClientError::kEosReached:
      return SIBEOSReached;
    case ClientError::kParamNameExpected:
      return SIBParamNameExpected;
    case ClientError::kFieldSizeMismatch:
      return SIBFieldSizeMismatch;
    case ClientError::kDpbValueTooLong:
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
