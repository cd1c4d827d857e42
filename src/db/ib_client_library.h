// The binding of the database client library: loaded with dlopen when the first database or
// transaction component is created, its functions looked up by name and shared by every
// component until the process ends. Types and constants come from the library's ibase.h.
#pragma once

#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

#include "db/ib_error.h"
#include "db/ib_messages.h"

namespace xg {

// One function of the library. Calling a function that the library does not export raises the
// client message that names it; a function that it does export is used whatever the library's
// version.
template <class Signature>
class IbFunction;

template <class R, class... A>
class IbFunction<R(A...)> {
 public:
  using Pointer = R (*)(A...);
  explicit IbFunction(const char* name) : name_(name) {}

  R operator()(A... args) const {
    if (pointer_ == nullptr)
      ThrowClientError(ClientError::kFunctionNotAvailable, {std::string(name_)});
    return pointer_(args...);
  }
  bool Available() const { return pointer_ != nullptr; }
  const char* Name() const { return name_; }
  void Bind(void* symbol) { pointer_ = reinterpret_cast<Pointer>(symbol); }
  Pointer Bound() const { return pointer_; }
  void Bind(Pointer pointer) { pointer_ = pointer; }

 private:
  Pointer pointer_ = nullptr;
  const char* name_;
};

#define XG_IB_FUNCTION(name)          \
  IbFunction<decltype(::name)> name { \
#name                             \
  }

class IbClientLibrary {
 public:
  // The names tried in order; the process-wide binding uses libfbclient.so.2, then
  // libfbclient.so. Raises EIBClientError with message 1 when none can be loaded, and EOSError
  // with the loader's text when a function every client library has is missing.
  explicit IbClientLibrary(const std::vector<std::string>& library_names);
  IbClientLibrary(const IbClientLibrary&) = delete;
  IbClientLibrary& operator=(const IbClientLibrary&) = delete;
  // The library stays loaded until the process ends: handles and callbacks of the library may
  // still be alive in other objects at exit.
  ~IbClientLibrary() = default;

  XG_IB_FUNCTION(isc_attach_database);
  XG_IB_FUNCTION(isc_detach_database);
  XG_IB_FUNCTION(isc_database_info);
  XG_IB_FUNCTION(isc_start_multiple);
  XG_IB_FUNCTION(isc_commit_transaction);
  XG_IB_FUNCTION(isc_rollback_transaction);
  XG_IB_FUNCTION(isc_dsql_alloc_statement2);
  XG_IB_FUNCTION(isc_dsql_prepare);
  XG_IB_FUNCTION(isc_dsql_sql_info);
  XG_IB_FUNCTION(isc_dsql_describe);
  XG_IB_FUNCTION(isc_dsql_describe_bind);
  XG_IB_FUNCTION(isc_dsql_execute);
  XG_IB_FUNCTION(isc_dsql_execute2);
  XG_IB_FUNCTION(isc_dsql_fetch);
  XG_IB_FUNCTION(isc_dsql_free_statement);
  XG_IB_FUNCTION(isc_dsql_set_cursor_name);
  XG_IB_FUNCTION(isc_open_blob2);
  XG_IB_FUNCTION(isc_get_segment);
  XG_IB_FUNCTION(isc_close_blob);
  XG_IB_FUNCTION(isc_decode_sql_date);
  XG_IB_FUNCTION(isc_decode_sql_time);
  XG_IB_FUNCTION(isc_decode_timestamp);
  XG_IB_FUNCTION(isc_sqlcode);
  XG_IB_FUNCTION(isc_vax_integer);
  XG_IB_FUNCTION(fb_interpret);
  // Declared by hand: the header marks it deprecated in favour of the bounded fb_interpret.
  IbFunction<ISC_LONG(ISC_SCHAR*, ISC_STATUS**)> isc_interprete{"isc_interprete"};
};

#undef XG_IB_FUNCTION

// The process-wide binding, loaded at the first call; a failed load raises and is tried again
// at the next call.
const IbClientLibrary& IbClient();

// For tests: functions of the process-wide binding replaced by the test's own while the object
// lives (a describe or a fetch that hands in columns and bytes of any shape, the rest of the
// road the library's), the library's put back when it ends. The gateway never makes one: its
// calls go through the same members, bound to the library's functions.
class IbClientOverride {
 public:
  // Loads the binding (raises as IbClient does).
  IbClientOverride();
  ~IbClientOverride();
  IbClientOverride(const IbClientOverride&) = delete;
  IbClientOverride& operator=(const IbClientOverride&) = delete;

  // e.g. Replace(&IbClientLibrary::isc_dsql_fetch, &FakeFetch).
  template <class Signature>
  void Replace(IbFunction<Signature> IbClientLibrary::*function,
               typename IbFunction<Signature>::Pointer replacement) {
    IbFunction<Signature>& member = binding_.*function;
    restores_.push_back([&member, original = member.Bound()] { member.Bind(original); });
    member.Bind(replacement);
  }

 private:
  IbClientLibrary& binding_;
  std::vector<std::function<void()>> restores_;
};

// An attachment that a request uses, whose running operation a cancel reaches (the request's
// time limit or its client gone, see call_watch.h; a termination signal, see
// process/stop_signals.h): registered once attached or taken from the attachments a process
// keeps, unregistered while it is kept for a later request and before it detaches. A process
// serves one request at a time, so the registered attachments are those of its request.
void RegisterAttachment(isc_db_handle handle);
void UnregisterAttachment(isc_db_handle handle);

// Cancels the call that each attachment of the request runs at this moment (fb_cancel_raise); safe
// from any thread. A cancel that reaches an attachment between calls is kept by the engine for
// its next call.
void CancelAttachmentCalls();
// Drops a cancel still kept for the registered attachments (one that arrived after the call it
// was meant for had returned), so that it does not fail a later call: the clean-up after a
// cancelled statement, or the next request on a kept attachment.
void ClearPendingCancels();

}  // namespace xg
