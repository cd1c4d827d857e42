// The database's knowledge of its relations' columns: which are computed and which have a
// default (a column with a default is not required), and the primary key, read with two
// system-table queries once per relation in the database's internal transaction.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace xg {

class IbDatabase;

class IbSchemaCache {
 public:
  explicit IbSchemaCache(IbDatabase& database) : database_(database) {}

  bool IsComputed(const std::string& relation, const std::string& column);
  bool HasDefault(const std::string& relation, const std::string& column);
  const std::vector<std::string>& PrimaryKey(const std::string& relation);

 private:
  struct RelationInfo {
    std::set<std::string> computed;
    std::set<std::string> with_default;
    std::vector<std::string> primary_key;
  };
  RelationInfo& Relation(const std::string& relation);
  void ReadRelation(const std::string& relation, RelationInfo& info);

  IbDatabase& database_;
  std::map<std::string, RelationInfo> relations_;
};

}  // namespace xg
