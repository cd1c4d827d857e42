// What the SQL services take, for tests that call them directly: the request parsed as the
// gateway's action parses it, and the scratch configuration (its databases open in the embedded
// engine) handed in as the program's start-up object hands in its own.
#pragma once

#include <string>

#include "config/gateway_config.h"
#include "db_test_support.h"
#include "gateway/gateway_context.h"
#include "gateway/request_parser.h"

namespace xg::test {

inline RequestParams ParsedRequest(const std::string& text) {
  RequestParams params;
  ParseRequest(text, params);
  return params;
}

inline const GatewayConfig& EmbeddedScratchSettings() {
  static const GatewayConfig config = ParseGatewayConfig(EmbeddedScratchConfig(), "test.conf");
  return config;
}

// The scratch configuration with no attachments kept.
inline const GatewayContext& ScratchContext() {
  static const GatewayContext context{EmbeddedScratchSettings(), nullptr};
  return context;
}

}  // namespace xg::test
