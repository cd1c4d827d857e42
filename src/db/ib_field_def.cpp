#include "db/ib_field_def.h"

#include <algorithm>

namespace xg {
namespace {

// The precision a version-1 area implies for a column.
int ColumnPrecision(int sqlType) {
  switch (sqlType) {
    case SQL_LONG:
      return 9;
    case SQL_SHORT:
      return 4;
    case SQL_INT64:
      return 18;
    default:
      return 0;
  }
}

std::string CountedName(const ISC_SCHAR* text, ISC_SHORT length, size_t room) {
  const size_t n = std::min(static_cast<size_t>(std::max<ISC_SHORT>(length, 0)), room - 1);
  std::string name(text, n);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

}  // namespace

std::optional<TFieldDef> MakeFieldDef(const XSQLVAR& column, int position, const std::string& name,
                                      int dialect) {
  TFieldDef def;
  def.Name = name;
  def.FieldNo = position + 1;
  def.SQLType = column.sqltype & ~1;
  def.Scale = column.sqlscale;
  def.SubType = column.sqlsubtype;
  def.SQLLen = static_cast<unsigned short>(column.sqllen);
  def.RelationName = CountedName(column.relname, column.relname_length, sizeof(column.relname));
  def.ColumnName = CountedName(column.sqlname, column.sqlname_length, sizeof(column.sqlname));
  def.Precision = ColumnPrecision(def.SQLType);
  const bool mayBeNull = (column.sqltype & 1) != 0;
  def.Required = !mayBeNull && !def.RelationName.empty();

  // Decimal precision: raised by one when it equals the number of decimals (so 0.xx fits).
  auto decimalPrecision = [&](bool raise) {
    int precision = def.Precision;
    if (raise && precision == def.Size) ++precision;
    return precision;
  };

  switch (def.SQLType) {
    case SQL_TEXT:
      def.DataType = ftString;
      def.Size = def.SQLLen;
      def.Fixed = true;
      break;
    case SQL_VARYING:
      def.DataType = ftString;
      def.Size = def.SQLLen;
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      if (def.Scale == 0) {
        def.DataType = def.SQLType == SQL_SHORT  ? ftSmallint
                       : def.SQLType == SQL_LONG ? ftInteger
                                                 : ftLargeint;
      } else if (def.Scale >= -4 || def.SQLType == SQL_SHORT) {
        def.DataType = ftBCD;
        def.Size = -def.Scale;
        def.Precision = decimalPrecision(def.SQLType != SQL_INT64);
      } else if (def.SQLType == SQL_LONG && dialect == 1) {
        def.DataType = ftFloat;
      } else {
        def.DataType = ftFMTBcd;
        def.Size = -def.Scale;
        def.Precision = decimalPrecision(true);
      }
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      def.DataType = ftFloat;
      break;
    case SQL_TIMESTAMP:
      def.DataType = ftDateTime;
      break;
    case SQL_TYPE_DATE:
      def.DataType = ftDate;
      break;
    case SQL_TYPE_TIME:
      def.DataType = ftTime;
      break;
    case SQL_BLOB:
      def.DataType = def.SubType == 1 ? ftMemo : ftBlob;
      def.Size = 8;
      break;
    case SQL_BOOLEAN:
      def.DataType = ftBoolean;
      break;
    default:
      return std::nullopt;
  }
  return def;
}

int FieldDataSize(const TFieldDef& def) {
  switch (def.DataType) {
    case ftString:
      return def.Size + 1;
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
