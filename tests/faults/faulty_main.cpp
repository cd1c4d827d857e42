// xmlgateway_faulty: the gateway program with a fault on demand, for tests only. The variable
// HTTP_X_XG_FAULT (the header "X-XG-Fault" of a request through a web server) names the fault:
// - a fault of injected_faults.h: caused inside the request, before the gateway's action;
// - "after-response": a null write once the response has been sent (the module is freed);
// - "startup-exception": the program's own start-up step raises EInOutError "Disk full";
// - "startup-fault": that step writes to a null pointer.
#include <cstdlib>
#include <memory>
#include <string_view>

#include "faults/injected_faults.h"
#include "host/cgi_program.h"
#include "host/gateway_module.h"
#include "runtime/runtime_errors.h"

namespace xg::test {
namespace {

std::string_view RequestedFault() {
  const char* value = std::getenv("HTTP_X_XG_FAULT");
  return value ? value : "";
}

class TFaultyWM1 : public TWM1 {
 public:
  explicit TFaultyWM1(const RegionalSettings& settings) : TWM1(settings) {
    TWebActionItem& item = Actions()[0];
    item.OnAction = [this](TObject& sender, TWebRequest& request, TWebResponse& response,
                           bool& handled) {
      CauseFault(RequestedFault());
      WM1DefaultAction(sender, request, response, handled);
    };
  }
  ~TFaultyWM1() override {
    if (RequestedFault() == "after-response") CauseFault("null-write");
  }

  static const TWebModuleClass& Class() {
    static const TWebModuleClass moduleClass{
        "TWM1", [](const RegionalSettings& settings) {
          return std::unique_ptr<TWebModule>(std::make_unique<TFaultyWM1>(settings));
        }};
    return moduleClass;
  }
};

void FailingStartupStep() {
  if (RequestedFault() == "startup-exception") RaiseInOutError(101);
  if (RequestedFault() == "startup-fault") CauseFault("null-write");
}

}  // namespace
}  // namespace xg::test

int main() {
  return xg::RunCgiProgram(xg::test::TFaultyWM1::Class(), &xg::test::FailingStartupStep);
}
