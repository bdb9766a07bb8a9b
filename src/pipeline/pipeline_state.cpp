#include "pipeline/pipeline_state.h"

#include "core/module_options.h"
#include "modules/activation.h"
#include "modules/module_registry.h"
#include "platform/module_file.h"
#include "runtime/exceptions.h"

namespace vl::pipeline {

TNotifyHandlerProc NotifyHandler = nullptr;
TActionHandlerProc ActionHandler = nullptr;
TErrorHandlerProc ErrorHandler = nullptr;

TStepClock& StepClock() {
  static TStepClock clock;
  return clock;
}

void EnterStep(TPipelineState& state, TNotifyStep step) {
  state.Step = step;
  TStepClock& clock = StepClock();
  // The waiting thread gave up on this worker: it goes no further, holding nothing here.
  if (clock.AbandonedWorker.load() == GetCurrentThreadId()) ExitThread(0);
  clock.LastStepTick.store(GetTickCount());
}

namespace {
TVantorLogEvents* g_events = nullptr;
}  // namespace

void AttachEvents(TVantorLogEvents* events) { g_events = events; }
TVantorLogEvents* AttachedEvents() { return g_events; }

bool HasNotifyHandler() { return NotifyHandler || (g_events && g_events->OnNotify); }
bool HasActionHandler() { return ActionHandler || (g_events && g_events->OnAction); }
bool HasErrorHandler() { return ErrorHandler || (g_events && g_events->OnError); }

TPipelineState& State() {
  static TPipelineState* state = new TPipelineState();
  return *state;
}

TVantorModuleOptionsEx* CurrentVantorLogOptions() {
  modules::CheckActiveForCurrentOptions();
  TVantorModuleInfo* info = modules::GetModuleInfo(platform::CrashReporterModule());
  if (!info || !info->Options) {
    throw EAssertionFailed(
        "Cannot use 'CurrentVantorLogOptions' function without VantorLog activate.");
  }
  return info->Options;
}

}  // namespace vl::pipeline
