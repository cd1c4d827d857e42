#include "db/field_def.h"

namespace xg {

int FieldDataSize(const FieldDef& def) {
  switch (def.data_type) {
    case FieldType::kString:
      return def.size + 1;
    case FieldType::kSmallint:
      return 2;
    case FieldType::kInteger:
      return 4;
    case FieldType::kLargeint:
      return 8;
    case FieldType::kBcd:
      return 8;
    case FieldType::kFmtBcd:
      return 34;
    case FieldType::kFloat:
      return 8;
    case FieldType::kDateTime:
      return 8;
    case FieldType::kDate:
      return 4;
    case FieldType::kTime:
      return 4;
    case FieldType::kBoolean:
      return 2;
    default:
      return 0;  // blob and memo fields
  }
}

}  // namespace xg
