// xmlgateway_faulty: the gateway program with a fault on demand, for tests only. The variable
// HTTP_X_XG_FAULT (the header "X-XG-Fault" of a request through a web server) names the fault:
// - a fault of injected_faults.h: caused inside the request, before the gateway's action;
// - "after-response": a null write once the answer's content has been written;
// - "after-answer-began": a null write once the first line of an answer has been written (in
//   the FastCGI responder it is still held in the connection's buffer then);
// - "other-thread": a null write on a thread of its own, which the request waits for;
// - "loader-busy": a null write while another thread holds the loader's lock (it loads a library
//   whose initialization never ends);
// - "startup-exception": the program's own start-up step raises EInOutError "Disk full";
// - "startup-fault": that step writes to a null pointer;
// - "hold:PATH": no fault: the request creates PATH.held, then waits until PATH exists (a minute
//   at most) before its answer, so that a test holds a worker busy for as long as it needs.
// Started with a listening socket as standard input, or with `--fastcgi ADDRESS`, it is a
// FastCGI responder like the gateway; the request's variable names the fault then
// ("after-response" is the CGI program's only).
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "faults/injected_faults.h"
#include "host/cgi_program.h"
#include "host/fastcgi_program.h"
#include "host/process_request.h"
#include "texts/exceptions.h"

namespace xg::test {
namespace {

std::string_view RequestedFault() {
  const char* value = std::getenv("HTTP_X_XG_FAULT");
  return value ? value : "";
}

// The "hold:PATH" of the request: PATH.held made, then PATH awaited.
void HoldIfAsked(const std::string& fault) {
  if (fault.rfind("hold:", 0) != 0) return;
  const std::string path = fault.substr(5);
  std::ofstream(path + ".held").put('\n');
  for (int i = 0; i < 6000 && !std::filesystem::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// A fault on a thread of its own; the calling thread waits for it (the handler ends the process).
void FaultOnAnotherThread() {
  std::thread([] { CauseFault("null-write"); }).join();
}

// A fault while another thread holds the loader's lock: that thread loads a library whose
// initialization never returns, and says when it runs.
void FaultWhileTheLoaderIsBusy() {
  int signal_pipe[2];
  if (::pipe(signal_pipe) != 0) return;
  ::setenv("XG_LOADER_BUSY_FD", std::to_string(signal_pipe[1]).c_str(), 1);
  std::thread([] { ::dlopen(XG_BUSY_LOADER_LIBRARY, RTLD_NOW); }).detach();
  char byte = 0;
  if (::read(signal_pipe[0], &byte, 1) != 1) return;
  CauseFault("null-write");
}

Spool FaultyAction(CgiRequest& request, const GatewayContext& context,
                   const RegionalSettings& settings, RequestSummary& summary) {
  const std::string fault = request.Variable("HTTP_X_XG_FAULT");
  HoldIfAsked(fault);
  if (fault == "after-answer-began") {
    request.WriteText("Status: 200 OK\r\n");
    CauseFault("null-write");
  }
  if (fault == "other-thread") FaultOnAnotherThread();
  if (fault == "loader-busy") FaultWhileTheLoaderIsBusy();
  CauseFault(request.Variable("HTTP_X_XG_FAULT"));
  return GatewayAction(request, context, settings, summary);
}

// The process's request, faulting right after the write of the answer's content (the write
// that does not carry the header block).
class FaultyProcessRequest : public ProcessRequest {
 protected:
  bool WriteBytes(const char* data, size_t size) override {
    const bool written = ProcessRequest::WriteBytes(data, size);
    if (RequestedFault() == "after-response" &&
        std::string_view(data, size).substr(0, 8) != "Status: ")
      CauseFault("null-write");
    return written;
  }
};

void FailingStartupStep() {
  if (RequestedFault() == "startup-exception") throw EInOutError("Disk full", 101);
  if (RequestedFault() == "startup-fault") CauseFault("null-write");
}

}  // namespace
}  // namespace xg::test

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--fastcgi") == 0)
    return xg::RunFastCgiProgram(argv[2], &xg::test::FaultyAction, &xg::test::FailingStartupStep);
  if (xg::IsListeningSocket(0))
    return xg::RunFastCgiProgram(std::string(), &xg::test::FaultyAction,
                                 &xg::test::FailingStartupStep);
  xg::test::FaultyProcessRequest request;
  return xg::RunCgiProgram(request, &xg::test::FaultyAction, &xg::test::FailingStartupStep);
}
