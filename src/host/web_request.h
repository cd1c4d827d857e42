// The request of the process, as the web layer sees it: the request variables by index, the body
// and its form fields, and the output operations the response writes through. TCGIRequest
// (cgi_request.h) is the form the program makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/form_fields.h"
#include "runtime/date_time.h"

namespace xg {

enum TMethodType : uint8_t { mtAny = 0, mtGet = 1, mtPut = 2, mtPost = 3, mtHead = 4 };

// Indexes of the request variables for GetTextVar, GetIntVar and GetDateVar.
enum class RequestVar : int {
  Method = 0,
  ProtocolVersion = 1,
  URL = 2,
  Query = 3,
  PathInfo = 4,
  PathTranslated = 5,
  CacheControl = 6,
  Date = 7,
  Accept = 8,
  From = 9,
  Host = 10,
  IfModifiedSince = 11,
  Referer = 12,
  UserAgent = 13,
  ContentEncoding = 14,
  ContentType = 15,
  ContentLength = 16,
  ContentVersion = 17,
  DerivedFrom = 18,
  Expires = 19,
  Title = 20,
  RemoteAddr = 21,
  RemoteHost = 22,
  ScriptName = 23,
  ServerPort = 24,
  Content = 25,
  Connection = 26,
  Cookie = 27,
  Authorization = 28,
};

// The method type of a method name: GET, PUT, POST and HEAD in any ASCII letter case, anything
// else mtAny.
TMethodType MethodTypeOf(const std::string& method);

class TWebRequest {
 public:
  virtual ~TWebRequest() = default;
  TWebRequest(const TWebRequest&) = delete;
  TWebRequest& operator=(const TWebRequest&) = delete;

  virtual std::string GetTextVar(int index) const = 0;
  virtual DateTime GetDateVar(int index) const = 0;
  virtual int32_t GetIntVar(int index) const = 0;
  std::string GetMatchPath() const { return PathInfo(); }
  std::string GetScriptPath() const { return Text(RequestVar::ScriptName); }
  virtual long ReadInput(char* buffer, size_t count) = 0;
  virtual std::string ReadText(int32_t count) = 0;
  virtual std::string ResolvePath(const std::string& uri) const = 0;
  virtual long WriteOutput(const char* buffer, size_t count) = 0;
  virtual bool WriteText(const std::string& text) = 0;
  virtual bool WriteHeaderBlock(int statusCode, const std::string& statusText,
                                const std::string& headers) = 0;
  virtual std::string LookupVariable(const std::string& name) const = 0;

  TMethodType MethodType() const { return methodType_; }
  std::string Method() const { return Text(RequestVar::Method); }
  std::string ProtocolVersion() const { return Text(RequestVar::ProtocolVersion); }
  std::string PathInfo() const { return Text(RequestVar::PathInfo); }
  std::string UserAgent() const { return Text(RequestVar::UserAgent); }
  std::string Query() const { return Text(RequestVar::Query); }
  int32_t ContentLength() const { return GetIntVar(static_cast<int>(RequestVar::ContentLength)); }
  std::string Content() const { return Text(RequestVar::Content); }

  // The decoded fields of the body, made on the first call and the same list afterwards. When
  // the body read at construction is shorter than ContentLength, the missing bytes are asked
  // for once more first. A decoding failure is raised from the first call and leaves the list
  // partly built.
  const FormFieldList& FormFields();

 protected:
  TWebRequest() = default;
  // Sets MethodType from Method; a derived constructor calls it once its variables are readable.
  void InitMethodType() { methodType_ = MethodTypeOf(Method()); }

 private:
  std::string Text(RequestVar var) const { return GetTextVar(static_cast<int>(var)); }

  TMethodType methodType_ = mtAny;
  std::unique_ptr<FormFieldList> formFields_;
};

}  // namespace xg
