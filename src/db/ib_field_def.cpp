#include "db/ib_field_def.h"

namespace xg {

std::optional<FieldDef> MakeFieldDef(const BoundColumn& column, int position,
                                     const std::string& name, int dialect) {
  FieldDef def;
  def.name = name;
  def.field_no = position + 1;
  def.sql_type = column.type;
  def.scale = column.scale;
  const int sql_len = column.length;

  switch (def.sql_type) {
    case SQL_TEXT:
      def.data_type = FieldType::kString;
      def.size = sql_len;
      def.fixed = true;
      break;
    case SQL_VARYING:
      def.data_type = FieldType::kString;
      def.size = sql_len;
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (def.scale == 0) {
        def.data_type = def.sql_type == SQL_SHORT  ? FieldType::kSmallint
                        : def.sql_type == SQL_LONG ? FieldType::kInteger
                                                   : FieldType::kLargeint;
      } else if (def.scale >= -4 || def.sql_type == SQL_SHORT) {
        def.data_type = FieldType::kBcd;
        def.size = -def.scale;
      } else if (def.sql_type == SQL_LONG && dialect == 1) {
        def.data_type = FieldType::kFloat;
      } else {
        def.data_type = FieldType::kFmtBcd;
        def.size = -def.scale;
      }
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      def.data_type = FieldType::kFloat;
      break;
    case SQL_TIMESTAMP:
      def.data_type = FieldType::kDateTime;
      break;
    case SQL_TYPE_DATE:
      def.data_type = FieldType::kDate;
      break;
    case SQL_TYPE_TIME:
      def.data_type = FieldType::kTime;
      break;
    case SQL_BLOB:
      def.data_type = column.subtype == 1 ? FieldType::kMemo : FieldType::kBlob;
      def.size = 8;
      break;
    case SQL_BOOLEAN:
      def.data_type = FieldType::kBoolean;
      break;
    default:
      return std::nullopt;
  }
  return def;
}

}  // namespace xg
