#include "process/stop_signals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace xg {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
// While a stopped request goes on, the watcher repeats its interruption at this interval: a
// cancel reaches only the database call that runs at that moment, and a write may just be
// starting.
constexpr int kInterruptIntervalMs = 50;
// A request still running this long after the signal is ended without further clean-up, so that
// the process is gone within a second; a process that defers the signals sets its own bound.
constexpr int64_t kDeadlineMs = 800;
int64_t deadlineMs = kDeadlineMs;

enum class Phase {
  kRequest,        // a signal stops the request
  kCommitting,     // the commit runs and is not interrupted
  kAnswerDecided,  // the commit returned: the answer goes out whole
  kStopping,       // the request took note of the stop and cleans up
  kFinishing,      // the request is over; the client library shuts down
};

bool installed = false;
bool takenOver = false;
// Set before the watcher starts; see DeferStopSignals.
bool deferred = false;
std::atomic<int> stopSignal{0};
std::atomic<Phase> phase{Phase::kRequest};

// Taken for every change of phase or of the writing thread, and by the watcher while it
// interrupts, so that it never interrupts a commit or a thread that has left its write.
std::mutex mutex;
bool writing = false;
pthread_t writer;
StopHook interruptHook = nullptr;
StopHook shutdownHook = nullptr;

pthread_t watcher;
int signalDescriptor = -1;
int quitDescriptor = -1;
// In a process that defers the signals: written by the watcher when a signal arrives.
int stopEventDescriptor = -1;

// Sent to the thread that writes the answer: its only effect is to end a blocking write early.
int WakeSignal() {
  return SIGRTMIN;
}

void ExitAtOnce(int signal) {
  ::_exit(128 + signal);
}

void IgnoreWake(int) {}

sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void Interrupt() {
  std::lock_guard<std::mutex> lock(mutex);
  if (phase.load() != Phase::kRequest) return;
  if (interruptHook != nullptr) interruptHook();
  if (writing) pthread_kill(writer, WakeSignal());
}

void ReadSignals() {
  signalfd_siginfo info;
  while (::read(signalDescriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, static_cast<int>(info.ssi_signo));
  }
}

// Makes the stop event readable, for the serving loop of a process that defers the signals.
void NotifyServingLoop() {
  const uint64_t one = 1;
  if (::write(stopEventDescriptor, &one, sizeof one) < 0) {
    // The counter is already readable (it cannot overflow from these few writes).
  }
}

// How long the watcher waits in poll: without a signal, until something arrives; after one, until
// the next interruption (a process that stops at once) or until the deadline (one that defers).
int WaitMs(int64_t deadline) {
  if (stopSignal.load() == 0) return -1;
  if (!deferred) return kInterruptIntervalMs;
  return deadline == 0 ? 0 : static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
}

void* Watch(void*) {
  int64_t deadline = 0;
  for (;;) {
    pollfd descriptors[2] = {{quitDescriptor, POLLIN, 0}, {signalDescriptor, POLLIN, 0}};
    if (::poll(descriptors, 2, WaitMs(deadline)) < 0 && errno != EINTR) return nullptr;
    if (descriptors[0].revents != 0) return nullptr;
    if (descriptors[1].revents != 0) ReadSignals();
    const int signal = stopSignal.load();
    if (signal == 0) continue;
    const int64_t now = NowMs();
    if (deadline == 0) {
      deadline = now + deadlineMs;
      if (deferred) NotifyServingLoop();
    }
    // The bound holds in a process that defers the signals too: a request in hand that has not
    // ended by then (a database server that never answers) does not keep the process.
    if (now >= deadline) ::_exit(128 + signal);
    if (!deferred) Interrupt();
  }
}

void CloseDescriptor(int& descriptor) {
  if (descriptor >= 0) ::close(descriptor);
  descriptor = -1;
}

}  // namespace

void InstallStopSignalHandlers() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = &ExitAtOnce;
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  // No SA_RESTART: the wake must end a write that has not written anything yet.
  action.sa_handler = &IgnoreWake;
  sigaction(WakeSignal(), &action, nullptr);
  sigset_t set = StopSignalSet();
  sigaddset(&set, WakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  installed = true;
}

void TakeOverStopSignals(StopHook interrupt, StopHook shutdown) {
  if (!installed) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    interruptHook = interrupt;
    shutdownHook = shutdown;
  }
  if (takenOver) return;
  const sigset_t set = StopSignalSet();
  // A signal that arrives from here on stays pending until the watcher reads it.
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signalDescriptor = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  quitDescriptor = eventfd(0, EFD_CLOEXEC);
  if (signalDescriptor >= 0 && quitDescriptor >= 0 &&
      pthread_create(&watcher, nullptr, &Watch, nullptr) == 0) {
    takenOver = true;
    return;
  }
  // Without a watcher the handlers go on ending the process at once.
  CloseDescriptor(signalDescriptor);
  CloseDescriptor(quitDescriptor);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void DeferStopSignals(std::chrono::milliseconds bound) {
  if (!installed || takenOver) return;
  deadlineMs = bound.count();
  stopEventDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopEventDescriptor < 0) return;
  deferred = true;
  TakeOverStopSignals(nullptr, nullptr);
  if (!takenOver) {
    deferred = false;
    CloseDescriptor(stopEventDescriptor);
  }
}

int StopEventDescriptor() {
  return stopEventDescriptor;
}

int StopSignal() {
  return stopSignal.load();
}

bool AnswerMuted() {
  return stopSignal.load() != 0 && !deferred && phase.load() != Phase::kAnswerDecided;
}

void ThrowIfStopped() {
  if (AnswerMuted()) throw RequestStopped{};
}

void AcknowledgeStop() {
  std::lock_guard<std::mutex> lock(mutex);
  if (phase.load() == Phase::kRequest) phase = Phase::kStopping;
}

CommitSection::CommitSection() {
  std::lock_guard<std::mutex> lock(mutex);
  if (stopSignal.load() != 0 && !deferred) throw RequestStopped{};
  phase = Phase::kCommitting;
}

CommitSection::~CommitSection() {
  std::lock_guard<std::mutex> lock(mutex);
  phase = committed_ ? Phase::kAnswerDecided : Phase::kRequest;
}

OutputWriteScope::OutputWriteScope() {
  std::lock_guard<std::mutex> lock(mutex);
  writing = true;
  writer = pthread_self();
}

OutputWriteScope::~OutputWriteScope() {
  std::lock_guard<std::mutex> lock(mutex);
  writing = false;
}

int FinishStopSignals() {
  StopHook shutdown;
  {
    std::lock_guard<std::mutex> lock(mutex);
    phase = Phase::kFinishing;
    shutdown = shutdownHook;
  }
  if (shutdown != nullptr) shutdown();
  if (takenOver) {
    const uint64_t one = 1;
    if (::write(quitDescriptor, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) {
      pthread_join(watcher, nullptr);
    }
    takenOver = false;
  }
  return stopSignal.load();
}

}  // namespace xg
