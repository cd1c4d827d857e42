#include "db/ib_schema_cache.h"

#include "db/ib_database.h"
#include "db/ib_sql.h"
#include "db/ib_transaction.h"

namespace xg {
namespace {

constexpr const char* kDefaultsQuery =
    "Select F.RDB$COMPUTED_BLR, F.RDB$DEFAULT_VALUE, R.RDB$DEFAULT_VALUE, R.RDB$FIELD_NAME from "
    "RDB$RELATION_FIELDS R, RDB$FIELDS F where R.RDB$RELATION_NAME = :RELATION and "
    "R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME and ((not F.RDB$COMPUTED_BLR is NULL) or      (not "
    "(F.RDB$DEFAULT_VALUE is NULL and R.RDB$DEFAULT_VALUE is NULL))) ";

constexpr const char* kPrimaryKeyQuery =
    "SELECT RDB$FIELD_NAME, RDB$FIELD_POSITION FROM RDB$RELATION_CONSTRAINTS RR JOIN "
    "RDB$INDEX_SEGMENTS RI ON      RR.RDB$INDEX_NAME = RI.RDB$INDEX_NAME WHERE RDB$RELATION_NAME "
    "= :relation_name AND       RDB$CONSTRAINT_TYPE = 'PRIMARY KEY ' ORDER BY RDB$FIELD_POSITION ";

bool IsNull(const XSQLVAR& var) {
  return var.sqlind != nullptr && *var.sqlind == -1;
}

std::string TextOf(const XSQLVAR& var) {
  if (IsNull(var)) return {};
  std::string text;
  if ((var.sqltype & ~1) == SQL_VARYING) {
    const auto length = *reinterpret_cast<const unsigned short*>(var.sqldata);
    text.assign(var.sqldata + 2, length);
  } else {
    text.assign(var.sqldata, static_cast<unsigned short>(var.sqllen));
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

IbSchemaCache::RelationInfo& IbSchemaCache::Relation(const std::string& relation) {
  auto found = relations_.find(relation);
  if (found != relations_.end()) return found->second;
  RelationInfo info;
  ReadRelation(relation, info);
  return relations_.emplace(relation, std::move(info)).first->second;
}

void IbSchemaCache::ReadRelation(const std::string& relation, RelationInfo& info) {
  IbTransaction& transaction = database_.InternalTransaction();
  const bool was_active = transaction.Active();
  if (!was_active) transaction.StartTransaction();
  {
    IbSql defaults(transaction);
    defaults.SetSQL(kDefaultsQuery);
    defaults.Prepare();
    defaults.Params().SetText(0, relation);
    defaults.ExecQuery();
    while (defaults.Next()) {
      IbXsqlda& row = defaults.Current();
      const std::string column = TextOf(row.Var(3));
      if (!IsNull(row.Var(0))) info.computed.insert(column);
      if (!IsNull(row.Var(1)) || !IsNull(row.Var(2))) info.with_default.insert(column);
    }
  }
  {
    IbSql primary_key(transaction);
    primary_key.SetSQL(kPrimaryKeyQuery);
    primary_key.Prepare();
    primary_key.Params().SetText(0, relation);
    primary_key.ExecQuery();
    while (primary_key.Next()) info.primary_key.push_back(TextOf(primary_key.Current().Var(0)));
  }
  if (!was_active) transaction.Commit();
}

bool IbSchemaCache::IsComputed(const std::string& relation, const std::string& column) {
  return Relation(relation).computed.count(column) > 0;
}

bool IbSchemaCache::HasDefault(const std::string& relation, const std::string& column) {
  return Relation(relation).with_default.count(column) > 0;
}

const std::vector<std::string>& IbSchemaCache::PrimaryKey(const std::string& relation) {
  return Relation(relation).primary_key;
}

}  // namespace xg
