#include "host/web_dispatcher.h"

#include <algorithm>

#include "host/web_messages.h"
#include "runtime/ascii_text.h"
#include "runtime/format.h"

namespace xg {
namespace {

// The text as page text: "&", "<", ">" and the quotation mark as their character entities.
std::string EscapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace

void TWebActionItem::SetDefault(bool value) {
  if (value)
    for (auto& item : collection_.items_) item->default_ = false;
  default_ = value;
}

void TWebActionItem::SetName(const std::string& name) {
  for (auto& item : collection_.items_)
    if (item.get() != this && EqualsIgnoringAsciiCase(item->name_, name))
      throw EWebException(LoadResString(SDuplicateActionName));
  name_ = name;
}

void TWebActionItem::SetPathInfo(const std::string& pattern) {
  std::string path = pattern;
  std::replace(path.begin(), path.end(), '\\', '/');
  if (!path.empty() && path[0] != '/') path.insert(0, "/");
  pathInfo_ = path;
  mask_ = PathMask(pathInfo_);
}

bool TWebActionItem::DispatchAction(TWebRequest& request, TWebResponse& response, bool asDefault) {
  if (!(default_ && asDefault)) {
    if (!Enabled) return false;
    if (MethodType != mtAny && MethodType != request.MethodType()) return false;
    if (!mask_.Matches(request.GetMatchPath())) return false;
  }
  bool result = false;
  if (OnAction) {
    result = true;
    OnAction(*this, request, response, result);
  }
  return result;
}

TWebActionItem& TWebActionItems::Add() {
  std::unique_ptr<TWebActionItem> item(new TWebActionItem(*this));
  for (int n = 1;; ++n) {
    const std::string name = "WebActionItem" + std::to_string(n);
    bool taken = std::any_of(items_.begin(), items_.end(), [&](const auto& other) {
      return EqualsIgnoringAsciiCase(other->Name(), name);
    });
    if (!taken) {
      item->name_ = name;
      break;
    }
  }
  items_.push_back(std::move(item));
  return *items_.back();
}

bool TCustomWebDispatcher::DispatchAction(TWebRequest& request, TWebResponse& response) {
  request_ = &request;
  response_ = &response;
  if (response.Sent()) return true;
  bool result = false;
  if (BeforeDispatch) {
    BeforeDispatch(*this, request, response, result);
    result = result || response.Sent();
  }
  TWebActionItem* defaultItem = nullptr;
  for (size_t i = 0; !result && i < actions_.Count(); ++i) {
    TWebActionItem& item = actions_[i];
    result = item.DispatchAction(request, response, false);
    if (item.Default()) defaultItem = &item;
  }
  if (!result && defaultItem) result = defaultItem->DispatchAction(request, response, true);
  if (result && !response.Sent() && AfterDispatch) AfterDispatch(*this, request, response, result);
  return result;
}

void TCustomWebDispatcher::HandleException(const Exception& E, bool& Handled) {
  Handled = false;
  if (OnException) {
    Handled = true;
    if (response_) response_->SetStatusCode(500);
    OnException(*this, E, Handled);
    if (Handled && response_) response_->SendResponse();
  }
  if (!Handled && response_) {
    const std::string pathInfo = request_ ? request_->PathInfo() : std::string();
    response_->SetContent(Format(LoadResString(SInternalApplicationError),
                                 {EscapeHtml(E.Message()), EscapeHtml(pathInfo)}));
    if (!response_->Sent()) {
      response_->SetStatusCode(500);
      response_->SendResponse();
    }
    Handled = true;
  }
}

}  // namespace xg
