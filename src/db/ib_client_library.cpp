#include "db/ib_client_library.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "db/ib_messages.h"
#include "process/module_address.h"
#include "process/stop_signals.h"

namespace xg {
namespace {

// Functions that every client library of the API has: one that is missing means the library is
// not a client library, and the load fails with the loader's own text.
constexpr const char* kRequiredFunctions[] = {
    "BLOB_get",
    "BLOB_put",
    "isc_sqlcode",
    "isc_sql_interprete",
    "isc_interprete",
    "isc_vax_integer",
    "isc_blob_info",
    "isc_open_blob2",
    "isc_create_blob2",
    "isc_close_blob",
    "isc_cancel_blob",
    "isc_get_segment",
    "isc_put_segment",
    "isc_array_lookup_bounds",
    "isc_array_get_slice",
    "isc_array_put_slice",
    "isc_event_block",
    "isc_event_counts",
    "isc_que_events",
    "isc_cancel_events",
    "isc_wait_for_event",
    "isc_decode_date",
    "isc_encode_date",
    "isc_dsql_alloc_statement2",
    "isc_dsql_describe",
    "isc_dsql_describe_bind",
    "isc_dsql_execute",
    "isc_dsql_execute2",
    "isc_dsql_execute_immediate",
    "isc_dsql_fetch",
    "isc_dsql_free_statement",
    "isc_dsql_prepare",
    "isc_dsql_set_cursor_name",
    "isc_dsql_sql_info",
    "isc_attach_database",
    "isc_detach_database",
    "isc_drop_database",
    "isc_database_info",
    "isc_start_multiple",
    "isc_commit_transaction",
    "isc_commit_retaining",
    "isc_rollback_transaction",
    "isc_prepare_transaction",
    "isc_prepare_transaction2",
    "isc_transaction_info",
    "isc_free",
    "isc_add_user",
    "isc_delete_user",
    "isc_modify_user",
};

template <class F>
void BindOptional(void* library, F& function) {
  function.Bind(dlsym(library, function.Name()));
}

// The client library runs threads of its own. Left running when the process exits, one of them
// can wake while the library's static data is being destroyed and crash the process after the
// answer has gone out. The library's orderly shutdown stops them first: the exit handler is
// registered after the library was loaded, so it runs before the library's own destructors.
using ShutdownFunction = int (*)(unsigned int, const int);
ShutdownFunction shutdown_client_library = nullptr;
// Every attachment has been detached by then; the limit only keeps a broken connection from
// holding the exit.
constexpr unsigned kShutdownTimeoutMs = 5000;

// Called at the end of the process by the termination-signal handling, and at exit for a
// process that does not finish it that way; the library is shut down once.
void ShutDownClientLibrary() {
  static bool done = false;
  if (shutdown_client_library != nullptr && !done) {
    done = true;
    shutdown_client_library(kShutdownTimeoutMs, fb_shutrsn_app_stopped);
  }
}

// The attachments of the running request, which a termination signal interrupts: the signal's
// watcher thread cancels the operation each of them runs, while the request's thread attaches
// and detaches.
using CancelFunction = ISC_STATUS (*)(ISC_STATUS*, isc_db_handle*, ISC_USHORT);
CancelFunction cancel_operation = nullptr;
std::mutex attachments_mutex;
std::vector<isc_db_handle> attachments;

void CancelOperations() {
  std::lock_guard<std::mutex> lock(attachments_mutex);
  if (cancel_operation == nullptr) return;
  for (isc_db_handle handle : attachments) {
    ISC_STATUS_ARRAY ignored{};
    cancel_operation(ignored, &handle, fb_cancel_raise);
  }
}

}  // namespace

IbClientLibrary::IbClientLibrary(const std::vector<std::string>& library_names) {
  void* library = nullptr;
  for (const std::string& name : library_names) {
    library = dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library != nullptr) break;
  }
  if (library == nullptr) ThrowClientError(ClientError::kClientLibraryNotFound);
  NoteLoadedModules();

  for (const char* name : kRequiredFunctions) {
    dlerror();
    if (dlsym(library, name) == nullptr) {
      const char* error = dlerror();
      std::string message = error != nullptr ? error : name;
      dlclose(library);
      throw EOSError(message, 0);  // the loader reports no error number, only its text
    }
  }

  BindOptional(library, isc_attach_database);
  BindOptional(library, isc_detach_database);
  BindOptional(library, isc_database_info);
  BindOptional(library, isc_start_multiple);
  BindOptional(library, isc_commit_transaction);
  BindOptional(library, isc_rollback_transaction);
  BindOptional(library, isc_dsql_alloc_statement2);
  BindOptional(library, isc_dsql_prepare);
  BindOptional(library, isc_dsql_sql_info);
  BindOptional(library, isc_dsql_describe);
  BindOptional(library, isc_dsql_describe_bind);
  BindOptional(library, isc_dsql_execute);
  BindOptional(library, isc_dsql_execute2);
  BindOptional(library, isc_dsql_fetch);
  BindOptional(library, isc_dsql_free_statement);
  BindOptional(library, isc_dsql_set_cursor_name);
  BindOptional(library, isc_open_blob2);
  BindOptional(library, isc_get_segment);
  BindOptional(library, isc_close_blob);
  BindOptional(library, isc_decode_sql_date);
  BindOptional(library, isc_decode_sql_time);
  BindOptional(library, isc_decode_timestamp);
  BindOptional(library, isc_sqlcode);
  BindOptional(library, isc_vax_integer);
  BindOptional(library, fb_interpret);
  BindOptional(library, isc_interprete);

  shutdown_client_library = reinterpret_cast<ShutdownFunction>(dlsym(library, "fb_shutdown"));
  if (shutdown_client_library != nullptr) std::atexit(ShutDownClientLibrary);
  {
    std::lock_guard<std::mutex> lock(attachments_mutex);
    cancel_operation = reinterpret_cast<CancelFunction>(dlsym(library, "fb_cancel_operation"));
  }
}

void RegisterAttachment(isc_db_handle handle) {
  std::lock_guard<std::mutex> lock(attachments_mutex);
  attachments.push_back(handle);
}

void UnregisterAttachment(isc_db_handle handle) {
  std::lock_guard<std::mutex> lock(attachments_mutex);
  const auto found = std::find(attachments.begin(), attachments.end(), handle);
  if (found != attachments.end()) attachments.erase(found);
}

void CancelAttachmentCalls() {
  CancelOperations();
}

void ClearPendingCancels() {
  std::lock_guard<std::mutex> lock(attachments_mutex);
  if (cancel_operation == nullptr) return;
  for (isc_db_handle handle : attachments) {
    // Disabling cancels drops the one that is pending; enabling them again is the default state.
    ISC_STATUS_ARRAY ignored{};
    cancel_operation(ignored, &handle, fb_cancel_disable);
    cancel_operation(ignored, &handle, fb_cancel_enable);
  }
}

const IbClientLibrary& IbClient() {
  // Never freed: the library stays loaded for the life of the process.
  static IbClientLibrary* binding = nullptr;
  if (binding == nullptr) {
    // The library installs handlers for the termination signals at its first attach; the
    // gateway's own handling takes the signals before it loads.
    TakeOverStopSignals(&CancelOperations, &ShutDownClientLibrary);
    binding = new IbClientLibrary({"libfbclient.so.2", "libfbclient.so"});
  }
  return *binding;
}

}  // namespace xg
