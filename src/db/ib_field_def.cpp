#include "db/ib_field_def.h"

namespace xg {

std::optional<FieldDef> MakeFieldDef(const XSQLVAR& column, int position, const std::string& name,
                                     int dialect) {
  FieldDef def;
  def.name = name;
  def.field_no = position + 1;
  def.sql_type = column.sqltype & ~1;
  def.scale = column.sqlscale;
  const int sql_len = static_cast<unsigned short>(column.sqllen);

  switch (def.sql_type) {
    case SQL_TEXT:
      def.data_type = ftString;
      def.size = sql_len;
      def.fixed = true;
      break;
    case SQL_VARYING:
      def.data_type = ftString;
      def.size = sql_len;
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (def.scale == 0) {
        def.data_type = def.sql_type == SQL_SHORT  ? ftSmallint
                        : def.sql_type == SQL_LONG ? ftInteger
                                                   : ftLargeint;
      } else if (def.scale >= -4 || def.sql_type == SQL_SHORT) {
        def.data_type = ftBCD;
        def.size = -def.scale;
      } else if (def.sql_type == SQL_LONG && dialect == 1) {
        def.data_type = ftFloat;
      } else {
        def.data_type = ftFMTBcd;
        def.size = -def.scale;
      }
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      def.data_type = ftFloat;
      break;
    case SQL_TIMESTAMP:
      def.data_type = ftDateTime;
      break;
    case SQL_TYPE_DATE:
      def.data_type = ftDate;
      break;
    case SQL_TYPE_TIME:
      def.data_type = ftTime;
      break;
    case SQL_BLOB:
      def.data_type = column.sqlsubtype == 1 ? ftMemo : ftBlob;
      def.size = 8;
      break;
    case SQL_BOOLEAN:
      def.data_type = ftBoolean;
      break;
    default:
      return std::nullopt;
  }
  return def;
}

int FieldDataSize(const FieldDef& def) {
  switch (def.data_type) {
    case ftString:
      return def.size + 1;
    case ftSmallint:
      return 2;
    case ftInteger:
      return 4;
    case ftLargeint:
      return 8;
    case ftBCD:
      return 8;
    case ftFMTBcd:
      return 34;
    case ftFloat:
      return 8;
    case ftDateTime:
      return 8;
    case ftDate:
      return 4;
    case ftTime:
      return 4;
    case ftBoolean:
      return 2;
    default:
      return 0;  // blob and memo fields
  }
}

}  // namespace xg
