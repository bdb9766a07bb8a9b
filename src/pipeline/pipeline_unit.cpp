#include "pipeline/pipeline_unit.h"

#include "capture/capture_state.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/activation.h"
#include "pipeline/except_notify.h"
#include "pipeline/pipeline_state.h"
#include "runtime/system.h"

int vl_pipeline_unit_link = 0;

namespace vl::pipeline {

namespace {

TVantorModuleOptionsEx* g_working = nullptr;

bool IsCurrentOptions(const TVantorModuleOptions* options) {
  if (!modules::IsVantorLogActive()) return false;
  try {
    return options == CurrentVantorLogOptions();
  } catch (...) {
    return false;
  }
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration g_unit("ExceptionLog.Notification",
                                                        rtl::UnitOrderCrashReporter + 1,
                                                        StartPipeline, StopPipeline);

bool NotifyForThread(std::exception_ptr object, void* address, CONTEXT* context,
                     uintptr_t stackPointer, uintptr_t stackBase, DWORD threadId) {
  TExceptNotifyParams params;
  params.Context = context;
  params.StackPointer = stackPointer;
  params.StackBase = stackBase;
  params.ThreadId = threadId;
  return ExceptNotifyWith(std::move(object), address, false, params);
}

}  // namespace

TVantorModuleOptionsEx* WorkingOptions() { return g_working; }

void StartPipeline() {
  if (!capture::CaptureInstalled.load()) return;
  Trace("StartPipeline", {}, 0);
  g_working = new TVantorModuleOptionsEx("", false);
  core::Seams().IsCurrentOptions = IsCurrentOptions;
  capture::Seams().ExceptNotify = ExceptNotify;
  capture::Seams().ExceptNotifyForThread = NotifyForThread;
  StartStandingWorker();
}

void StopPipeline() {
  if (!g_working) return;
  Trace("StopPipeline", {}, 0);
  StopStandingWorker();
  capture::Seams() = capture::TSeams();
  core::Seams().IsCurrentOptions = nullptr;
  delete g_working;
  g_working = nullptr;
}

}  // namespace vl::pipeline
