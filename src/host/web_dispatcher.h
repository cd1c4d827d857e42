// Dispatching a request to a web module's actions: the action items with their method, path
// pattern and handler, and the dispatcher that chooses one, runs it and turns a failure during
// dispatch into the "Internal Application Error" page.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/path_mask.h"
#include "host/web_request.h"
#include "host/web_response.h"
#include "runtime/exceptions.h"

namespace xg {

// The common base of the objects handed to event handlers as their sender.
class TObject {
 public:
  virtual ~TObject() = default;
};

using THTTPMethodEvent = std::function<void(TObject& Sender, TWebRequest& Request,
                                            TWebResponse& Response, bool& Handled)>;
using TWebExceptionEvent = std::function<void(TObject& Sender, const Exception& E, bool& Handled)>;

class TWebActionItems;

class TWebActionItem : public TObject {
 public:
  bool Default() const { return default_; }
  // Setting it on one item clears it on the other items of the collection.
  void SetDefault(bool value);
  bool Enabled = true;
  TMethodType MethodType = mtAny;
  const std::string& Name() const { return name_; }
  // Raises EWebException "Duplicate action name" when another item has the name (any case).
  void SetName(const std::string& name);
  const std::string& PathInfo() const { return pathInfo_; }
  // A pattern not beginning with "/" gets one; back-slashes become forward slashes.
  void SetPathInfo(const std::string& pattern);
  THTTPMethodEvent OnAction;

  // Runs the handler when the item applies to the request (enabled, method, path) or when it is
  // the default item asked as such. The result is whether the request was handled.
  bool DispatchAction(TWebRequest& request, TWebResponse& response, bool asDefault);

 private:
  friend class TWebActionItems;
  explicit TWebActionItem(TWebActionItems& collection) : collection_(collection) {}

  TWebActionItems& collection_;
  bool default_ = false;
  std::string name_;
  std::string pathInfo_;
  PathMask mask_{""};
};

class TWebActionItems {
 public:
  // A new item named "WebActionItem<n>" with the first free n.
  TWebActionItem& Add();
  size_t Count() const { return items_.size(); }
  TWebActionItem& operator[](size_t index) { return *items_[index]; }

 private:
  friend class TWebActionItem;
  std::vector<std::unique_ptr<TWebActionItem>> items_;
};

class TCustomWebDispatcher : public TObject {
 public:
  TWebActionItems& Actions() { return actions_; }
  THTTPMethodEvent BeforeDispatch;
  THTTPMethodEvent AfterDispatch;
  TWebExceptionEvent OnException;

  // Chooses and runs the action for the request: BeforeDispatch, the items that apply in order,
  // then the default item, then AfterDispatch. The result is whether the request was handled.
  bool DispatchAction(TWebRequest& request, TWebResponse& response);
  // Turns a failure during dispatch into a page: OnException when assigned, otherwise the
  // "Internal Application Error" page sent with status 500, whose message and path are
  // escaped for HTML ("&", "<", ">", the quotation mark).
  void HandleException(const Exception& E, bool& Handled);

  TWebRequest* Request() const { return request_; }
  TWebResponse* Response() const { return response_; }

 private:
  TWebActionItems actions_;
  TWebRequest* request_ = nullptr;
  TWebResponse* response_ = nullptr;
};

// A web module: a dispatcher with its actions, made for one request and freed after it.
class TWebModule : public TCustomWebDispatcher {};

}  // namespace xg
