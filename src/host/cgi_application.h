// The application object of the CGI process: records the web module class, builds the request
// and response of the process, dispatches the request to a fresh module and writes the server
// failure page when the request cannot be served.
#pragma once

#include <exception>
#include <memory>

#include "host/cgi_request.h"
#include "host/cgi_response.h"
#include "host/env.h"
#include "host/web_dispatcher.h"
#include "runtime/regional_settings.h"

namespace xg {

// A web module class: its name and how to make an instance of it, which writes its answers with
// the regional settings it is given.
struct TWebModuleClass {
  const char* Name;
  std::unique_ptr<TWebModule> (*Create)(const RegionalSettings& settings);
};

class TCGIApplication {
 public:
  // The regional settings are read once at start-up; the application hands them to the
  // response and the module of each request.
  TCGIApplication(Env& env, const RegionalSettings& settings) : env_(env), settings_(settings) {}
  virtual ~TCGIApplication() = default;

  // Records the module class and creates nothing. Recording the same class again does nothing;
  // a different one raises Exception "Only one data module per application".
  void SetModuleClass(const TWebModuleClass& moduleClass);
  const TWebModuleClass* ModuleClass() const { return moduleClass_; }

  // Serves the request of this process: builds the request (reading the body) and the response,
  // handles the request, frees both, and writes the server failure page for any failure that
  // escaped. Returns normally in every case.
  void Run();

  // Makes one module, dispatches to it, sends the response once it is handled, frees the
  // module. A failure the dispatcher does not turn into a page leaves as it was raised.
  bool HandleRequest(TWebRequest& request, TWebResponse& response);

  // Called while `failure` is being handled: offers an Exception to the sender's
  // HandleException and raises the failure again unless that handled it.
  void RouteFailure(TCustomWebDispatcher* sender, const std::exception_ptr& failure);

  virtual std::unique_ptr<TWebRequest> MakeRequest() { return std::make_unique<TCGIRequest>(env_); }
  virtual std::unique_ptr<TWebResponse> MakeResponse(TWebRequest& request) {
    return std::make_unique<TCGIResponse>(request, settings_);
  }

 private:
  Env& env_;
  const RegionalSettings& settings_;
  const TWebModuleClass* moduleClass_ = nullptr;
};

}  // namespace xg
