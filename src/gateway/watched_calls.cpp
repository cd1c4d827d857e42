#include "gateway/watched_calls.h"

#include "config/config_file.h"
#include "config/gateway_config.h"
#include "runtime/format.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SQueryTimeLimit, "A consulta passou do limite de %d segundos (max-query-seconds)");

}  // namespace

int QueryTimeLimitSeconds() {
  try {
    return CurrentGatewayConfig().maxQuerySeconds;
  } catch (const EConfigError&) {
    return 0;
  }
}

void ThrowQueryTimeLimit(int seconds) {
  throw Exception(Format(LoadResString(SQueryTimeLimit), {seconds}));
}

}  // namespace xg
