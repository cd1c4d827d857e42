// The web module of the gateway, TWM1: one action item "Default" (the default item, any method,
// path pattern "/Default") whose handler WM1DefaultAction answers every request with an XML
// document taken from the services of the gateway.
#pragma once

#include "host/cgi_application.h"
#include "host/web_dispatcher.h"

namespace xg {

class TWM1 : public TWebModule {
 public:
  // The answers are written with the settings.
  explicit TWM1(const RegionalSettings& settings);

  // The class the program records with SetModuleClass.
  static const TWebModuleClass& Class();

  // Takes SENDDATA from the form fields, decodes and parses it, checks the root element and
  // sets the response content to the answer of the service the request names. Every Exception
  // on the way (running out of memory included) becomes an ERROR document with the failure's
  // message, two CR bytes and the decoded request text. Handled is left as it is.
  void WM1DefaultAction(TObject& Sender, TWebRequest& Request, TWebResponse& Response,
                        bool& Handled);

 private:
  const RegionalSettings& settings_;
};

}  // namespace xg
