// What the program's start-up object hands the gateway for every request: the configuration it
// loaded and the attachments it keeps between requests. The gateway reads no process-wide state
// of its own; everything below the action takes what it needs from here.
#pragma once

#include "config/gateway_config.h"
#include "db/attachment_pool.h"

namespace xg {

struct GatewayContext {
  // The settings the process loaded (a configuration that could not be used never reaches the
  // gateway: the host answers its failure first).
  const GatewayConfig& config;
  // The attachments kept between requests; nullptr, or a pool not enabled, keeps none.
  AttachmentPool* pool = nullptr;
};

}  // namespace xg
