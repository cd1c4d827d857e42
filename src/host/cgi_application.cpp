#include "host/cgi_application.h"

#include "host/failure.h"
#include "host/failure_page.h"
#include "host/web_messages.h"

namespace xg {

void TCGIApplication::SetModuleClass(const TWebModuleClass& moduleClass) {
  if (moduleClass_ && moduleClass_ != &moduleClass)
    throw Exception(LoadResString(SOnlyOneDataModule));
  moduleClass_ = &moduleClass;
}

void TCGIApplication::Run() {
  try {
    std::unique_ptr<TWebRequest> request = MakeRequest();
    std::unique_ptr<TWebResponse> response = MakeResponse(*request);
    HandleRequest(*request, *response);
    // Leaving the scope frees the response, then the request, on every path.
  } catch (...) {
    WriteFailurePage(std::current_exception(), env_);
  }
}

bool TCGIApplication::HandleRequest(TWebRequest& request, TWebResponse& response) {
  if (!moduleClass_) throw EWebException(LoadResString(SNoDataModulesRegistered));
  std::unique_ptr<TWebModule> module = moduleClass_->Create(settings_);
  if (!module) throw EWebException(LoadResString(SNoDataModulesCreated));
  bool result = false;
  try {
    TCustomWebDispatcher& dispatcher = *module;
    try {
      result = dispatcher.DispatchAction(request, response);
    } catch (...) {
      RouteFailure(&dispatcher, std::current_exception());
    }
    if (result && !response.Sent()) response.SendResponse();
  } catch (...) {
    RouteFailure(nullptr, std::current_exception());
  }
  return result;
  // The module is freed when it goes out of scope, on every path.
}

void TCGIApplication::RouteFailure(TCustomWebDispatcher* sender,
                                   const std::exception_ptr& failure) {
  bool handled = false;
  const Exception* exception = AsException(failure);
  if (exception && sender) sender->HandleException(*exception, handled);
  if (!handled) std::rethrow_exception(failure);
}

}  // namespace xg
