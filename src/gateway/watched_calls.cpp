#include "gateway/watched_calls.h"

#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SQueryTimeLimit, "A consulta passou do limite de %d segundos (max-query-seconds)");

}  // namespace

void ThrowQueryTimeLimit(int seconds) {
  throw Exception(Format(LoadResString(SQueryTimeLimit), {seconds}));
}

}  // namespace xg
