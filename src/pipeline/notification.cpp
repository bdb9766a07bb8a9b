// The notification's steps, run on one thread from start to end (the worker for the main
// thread, else the faulting thread itself). The step counter names the step that failed in
// the internal-bug report.
#include <windows.h>

#include <string>

#include "capture/call_stack.h"
#include "capture/capture_state.h"
#include "capture/process_memory.h"
#include "capture/raise_state.h"
#include "capture/thread_registry.h"
#include "capture/thrown_object.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/module_texts.h"
#include "core/trace.h"
#include "modules/module_info.h"
#include "modules/module_registry.h"
#include "pipeline/build_report.h"
#include "pipeline/except_notify.h"
#include "pipeline/handlers.h"
#include "pipeline/pipeline_seams.h"
#include "pipeline/pipeline_state.h"
#include "platform/module_file.h"
#include "platform/restart.h"
#include "publishing/published_data.h"
#include "report/html_page.h"
#include "report/log_file_win.h"
#include "report/minidump_win.h"
#include "report/system_info_win.h"
#include "runtime/exception_class.h"
#include "runtime/system.h"

namespace vl::pipeline {

namespace {

// The record of the running notification.
VL_UNIT_REGISTRATION TVantorExceptionRecord g_record;
VL_UNIT_REGISTRATION capture::TVantorStackList g_callStack;

TVantorModuleInfo* ModuleOf(void* address) {
  return address ? modules::GetModuleInfoByAddress(address) : nullptr;
}

// The options module: the faulting module when it carries a block, else the crash reporter's
// own module, else the main program's.
TVantorModuleInfo* ChooseOptionsModule(TVantorModuleInfo* faulting) {
  if (faulting && faulting->Options && faulting->DebugInfo) return faulting;
  TVantorModuleInfo* own = modules::GetModuleInfo(platform::CrashReporterModule());
  if (own && own->Options) return own;
  TVantorModuleInfo* main = modules::GetModuleInfo(GetModuleHandleA(nullptr));
  if (main && main->Options) return main;
  return own;
}

// True when the object's class or an ancestor is listed; Message is the entry's message.
bool FindFilter(const TVantorModuleOptions& options, const capture::TThrownObject& thrown,
                std::string& message) {
  if (!thrown.Type) return false;
  const core::TVantorStringList& classes = options.FilterClasses();
  const core::TVantorStringList& messages = options.FilterMessages();
  for (int i = 0; i < classes.Count(); ++i) {
    if (rtl::IsExceptionClass(thrown.Type, classes[i])) {
      message = i < messages.Count() ? messages[i] : std::string();
      return true;
    }
  }
  return false;
}

void WriteConsole(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) throw Exception("No standard output.");
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    if (!WriteFile(out, text.data() + done, chunk, &written, nullptr) || written == 0) {
      throw Exception("Cannot write to the standard output.");
    }
    done += written;
  }
}

void ShowException(TVantorExceptionRecord& record) {
  TPipelineState& state = State();
  const TVantorModuleOptions& options = *record.Options;
  switch (CurrentHostKind()) {
    case THostKind::WebServer: {
      const std::string page = report::BuildErrorPage(options.TextTable(core::txDialogCaption),
                                                      state.Blocks.HeaderLine, record.ReportText);
      state.StepResult =
          Seams().SendWebErrorAnswer && Seams().SendWebErrorAnswer(page, record.ThreadId);
      break;
    }
    case THostKind::Console:
      state.StepResult = true;
      try {
        WriteConsole(state.Blocks.HeaderLine + record.ReportText + "\r\n");
      } catch (...) {
        state.StepResult = false;
        ReportStepError(eeShowError, "Console");
      }
      break;
    case THostKind::Service:
      state.StepResult = true;
      Trace("InternalExceptNotify: a service shows nothing", {}, 0);
      break;
    case THostKind::Gui:
      state.StepResult = true;
      if (!Seams().ShowExceptionDialog) {
        Trace("InternalExceptNotify: no exception dialog", {}, 0);
      } else {
        try {
          // A dialog that failed records its own step error.
          if (!Seams().ShowExceptionDialog()) state.StepResult = false;
        } catch (...) {
          state.StepResult = false;
          ReportStepError(eeShowError, "GUI");
        }
      }
      break;
  }
}

void SaveLog(TVantorExceptionRecord& record) {
  TPipelineState& state = State();
  const TVantorModuleOptions& options = *record.Options;
  report::TLogSaveStep step;
  step.FileName = options.OutputLogFile();
  step.Capacity = options.LogCapacity();
  step.IsDuplicate = state.IsDuplicate;
  step.AskSteps = (options.HandlingFlags() & hfAskSteps) != 0;
  step.ReproductionText = state.ReproductionText;
  step.ReproductionCaption = options.TextTable(core::txReproduceCaption);
  step.SendWholeLog = options.SendWholeLog();
  step.Report = record.ReportText;
  step.SendText = state.Blocks.SendText;
  if (HasActionHandler()) {
    step.ActionHandler = [&record](int action, bool& result) {
      CallActionHandler(record, action, result);
    };
  }
  if (HasErrorHandler()) {
    step.ErrorHandler = [&record](int action, bool& retry) {
      CallErrorHandler(record, action, retry);
    };
  }
  state.StepResult = report::SaveReportToLog(step);
  state.Blocks.SendText = step.SendText;
}

// The minidump, when the options keep one or the upload needs one; a temporary file for the
// upload alone. A failure is traced: the report goes on without it.
void WriteReportMinidump(const TVantorExceptionRecord& record, const TExceptNotifyParams& params,
                         const TVantorModuleOptions& options) {
  TPipelineState& state = State();
  const bool keep = options.AttachMinidump();
  const bool upload = !options.UploadUrl().empty() && state.SendRequested;
  if (state.IsDuplicate || (!keep && !upload)) return;
  report::TMinidumpFacts facts;
  facts.ThreadId = record.ThreadId;
  if (params.Context && params.Context->ContextFlags != 0) {
    facts.HasException = true;
    facts.Context = *params.Context;
    if (params.FaultRecord) {
      facts.Record = *params.FaultRecord;
      facts.Record.ExceptionRecord = nullptr;
    } else {
      // A C++ raise: the registers captured at the raise, a record that names its address.
      facts.Record.ExceptionCode = report::CxxRaiseExceptionCode;
      facts.Record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
      facts.Record.ExceptionAddress = record.ExceptionAddress;
    }
  }
  std::string file;
  if (keep) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    file = report::KeptMinidumpName(options.OutputLogFile(), now);
  } else {
    char folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return;
    file = std::string(folder, n) + "VantorLog-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + ".dmp";
  }
  std::string why;
  if (report::WriteMinidump(file, facts, why)) {
    state.MinidumpFile = file;
    state.MinidumpKept = keep;
  } else {
    Trace("InternalExceptNotify: no minidump", {why}, 0);
  }
}

}  // namespace

bool InternalExceptNotify(std::exception_ptr object, void* address, bool fromRaise,
                          TExceptNotifyParams params) {
  Trace("InternalExceptNotify",
        {reinterpret_cast<uintptr_t>(address), fromRaise, static_cast<uint32_t>(params.ThreadId)},
        2);
  TPipelineState& state = State();
  TVantorExceptionRecord& record = g_record;
  bool result = false;
  EnterStep(state, TNotifyStep::Options);
  try {
    // The options in force.
    SaveTraceLogIfRequested();
    state.ReproductionText.clear();
    state.ScreenshotFile.clear();
    state.MinidumpFile.clear();
    state.MinidumpKept = false;
    if (fromRaise && address) address = static_cast<uint8_t*>(address) - 5;
    state.RemoteTypeName.clear();
    state.RemoteMessage.clear();
    record = TVantorExceptionRecord();
    record.ExceptionObject = object;
    record.ExceptionAddress = address;
    record.ThreadId = params.ThreadId ? params.ThreadId : GetCurrentThreadId();
    const capture::TThrownObject thrown = capture::ThrownObjectOf(object);
    record.ClassName = capture::ThrownClassName(thrown);
    record.Message = capture::ThrownMessage(thrown);
    TVantorModuleInfo* faulting = ModuleOf(address);
    if (faulting) ReadCrossModuleData(faulting->Handle);
    TVantorModuleInfo* chosen = ChooseOptionsModule(faulting);
    TVantorModuleOptionsEx* options = WorkingOptions();
    if (!options) throw EAssertionFailed("No working options.");
    if (chosen && chosen->Options) options->Assign(chosen->Options);
    if (IsRunningInIDE()) options->SetPaintedDialogs(false);
    options->SetModuleName(chosen ? chosen->FileName : std::string());
    record.Options = options;
    // The dialog's "send" box covers the mail and the upload alike.
    state.SendRequested = options->MailMode() != mmNone || !options->UploadUrl().empty();
    state.ScreenshotRequested = options->AddScreenshot();
    state.CopyToClipboardRequested = false;

    EnterStep(state, TNotifyStep::Filters);
    bool filtered = false;
    if (options->FiltersOn()) {
      std::string message;
      if (FindFilter(*options, thrown, message)) {
        filtered = true;
        if (!message.empty()) {
          TCallOut out;
          MessageBoxA(nullptr, message.c_str(),
                      options->TextTable(core::txCaptionInformation).c_str(), 0x00242040);
        }
      }
    }

    EnterStep(state, TNotifyStep::RaiseState);
    if (!filtered) {
      capture::TThreadRaiseState& raise = capture::CurrentRaiseState();
      if (params.StackBase == 0) {
        uintptr_t low = 0;
        capture::CurrentStackBounds(low, params.StackBase);
      }
      if (params.StackPointer == 0) params.StackPointer = raise.StackPointer;
      if (!params.Context && raise.Context.ContextFlags != 0) params.Context = &raise.Context;

      EnterStep(state, TNotifyStep::CallStack);
      const uintptr_t errorAddress = reinterpret_cast<uintptr_t>(address);
      if (params.StackCopy) {
        g_callStack =
            capture::GetCallStackOfCopy(errorAddress, params.StackCopy, params.StackCopySize);
      } else if (params.StackPointer != 0 && params.StackBase > params.StackPointer) {
        g_callStack = capture::GetCallStack(errorAddress, params.StackPointer, params.StackBase);
      } else {
        g_callStack = capture::GetCallStack(errorAddress, 0, 0);
      }

      EnterStep(state, TNotifyStep::CreatorStack);
      if (capture::TVantorThreadsList* threads = capture::ThreadRegistry()) {
        threads->Lock();
        try {
          const int index = threads->IndexOfThreadId(record.ThreadId);
          if (index >= 0) {
            const capture::TThreadEntry* entry = threads->Items(index);
            if (entry->CreatorStack && entry->CreatorStackSize > 0 &&
                !dynamic_cast<TExceptionThread*>(entry->ThreadObject)) {
              capture::TVantorStackList creator =
                  capture::GetCallStackOfCopy(0, entry->CreatorStack, entry->CreatorStackSize);
              for (int i = 0; i < creator.Count(); ++i) g_callStack.Add(creator.Items(i));
            }
          }
        } catch (...) {
          threads->Unlock();
          throw;
        }
        threads->Unlock();
      }

      // The first entry twice.
      EnterStep(state, TNotifyStep::FirstEntryTwice);
      if (g_callStack.Count() > 1 && g_callStack.Items(0).Addr == g_callStack.Items(1).Addr) {
        g_callStack.Delete(0);
      } else if (fromRaise && g_callStack.Count() > 0) {
        for (int i = 1; i < g_callStack.Count(); ++i) {
          if (g_callStack.Items(i).Addr == g_callStack.Items(0).Addr) {
            g_callStack.Delete(0);
            break;
          }
        }
      }

      // The report.
      EnterStep(state, TNotifyStep::Report);
      state.HandleFlag = true;
      std::vector<report::TStackEntryFacts> stackFacts = StackFacts(g_callStack);
      modules::RefreshModulesList();
      DropStaleModuleRecords(g_callStack);
      record.CallStack = &g_callStack;
      TFaultFacts fault;
      fault.Address = address;
      fault.Context = params.Context;
      fault.StackPointer = params.StackPointer;
      fault.StackCopy = params.StackCopy;
      fault.StackCopySize = params.StackCopySize;
      fault.ActiveControlClass = params.ActiveControlClass;
      fault.ActiveControlText = params.ActiveControlText;
      const THostKind host = CurrentHostKind();
      BuildReport(record, fault, std::move(stackFacts), host != THostKind::Gui);
      record.Modules = modules::ModulesList();
      state.CurrentExceptionRecord = &record;
      state.IsDuplicate = report::IsDuplicateInLog(options->OutputLogFile(),
                                                   (options->HandlingFlags() & hfSkipRepeats) != 0,
                                                   state.Blocks.Duplicate);
      ClearStepError();
      if (HasNotifyHandler()) {
        TCallOut out;
        CallNotifyHandler(record, state.HandleFlag);
        if (faulting) ReadCrossModuleData(faulting->Handle);
      }

      EnterStep(state, TNotifyStep::NotifyVerdict);
      if (!state.HandleFlag) {
        result = true;
      } else {
        EnterStep(state, TNotifyStep::Count);
        ++state.ErrorCount;

        // The screenshot, taken before anything is shown.
        EnterStep(state, TNotifyStep::Screenshot);
        if (Seams().ScreenshotFileName && Seams().CaptureScreenshot) {
          state.ScreenshotFile = Seams().ScreenshotFileName();
          if (!state.ScreenshotFile.empty()) {
            try {
              Seams().CaptureScreenshot(state.ScreenshotFile);
            } catch (...) {
              Trace("InternalExceptNotify: the screenshot failed", {}, 0);
              DeleteFileA(state.ScreenshotFile.c_str());
              state.ScreenshotFile.clear();
            }
          }
        }

        // Whatever happens below, the screenshot and a temporary minidump go.
        EnterStep(state, TNotifyStep::Minidump);
        struct TScreenshotRemover {
          ~TScreenshotRemover() {
            std::string& file = State().ScreenshotFile;
            if (!file.empty()) DeleteFileA(file.c_str());
            file.clear();
            std::string& dump = State().MinidumpFile;
            if (!dump.empty() && !State().MinidumpKept) DeleteFileA(dump.c_str());
            dump.clear();
          }
        } remover;
        // The minidump, before anything is shown: the other threads as the error found them.
        WriteReportMinidump(record, params, *options);

        // From here on the steps show things and deliver.
        EnterStep(state, TNotifyStep::ActionBeforeShowing);
        TCallOut out;
        bool showing = false;
        if (options->TellUser()) {
          state.StepResult = true;
          ClearStepError();
          if (HasActionHandler()) {
            CallActionHandler(record, atShowingException, state.StepResult);
            if (faulting) ReadCrossModuleData(faulting->Handle);
          }
          EnterStep(state, TNotifyStep::Showing);
          if (state.StepResult) {
            showing = true;
            ShowException(record);
          }
        }

        EnterStep(state, TNotifyStep::AfterShowing);
        if (showing && HasActionHandler()) {
          CallActionHandler(record, atShowedException, state.StepResult);
          if (faulting) ReadCrossModuleData(faulting->Handle);
        }
        if (Seams().AskReproduction && host == THostKind::Gui &&
            (options->HandlingFlags() & hfAskSteps) != 0 && !state.IsDuplicate &&
            (options->MailMode() != mmNone || options->AppendToLog())) {
          Seams().AskReproduction();
        }

        EnterStep(state, TNotifyStep::LogAndClipboard);
        if (options->AppendToLog()) SaveLog(record);
        if (state.CopyToClipboardRequested) {
          const std::string& reproduction = State().ReproductionText;
          report::CopyReportToClipboard(
              reproduction.empty()
                  ? record.ReportText
                  : report::WithReproductionBlock(record.ReportText,
                                                  options->TextTable(core::txReproduceCaption),
                                                  reproduction));
        }

        EnterStep(state, TNotifyStep::Delivery);
        if (options->MailMode() != mmNone && !state.IsDuplicate && state.SendRequested) {
          if (Seams().SendReportByEmail) {
            Seams().SendReportByEmail();
          } else {
            Trace("InternalExceptNotify: no mail delivery", {}, 0);
          }
        }
        // The upload to the crash-collection server, after the mail.
        if (!options->UploadUrl().empty() && !state.IsDuplicate && state.SendRequested) {
          if (Seams().UploadReport) {
            Seams().UploadReport();
          } else {
            Trace("InternalExceptNotify: no upload delivery", {}, 0);
          }
        }
      }
    }

    EnterStep(state, TNotifyStep::ClearCallStack);
    g_callStack.Clear();

    EnterStep(state, TNotifyStep::TerminateCheck);
    if (state.TerminateRequested) {
      EnterStep(state, TNotifyStep::Terminating);
      Trace("InternalExceptNotify: terminating", {}, 0);
      SaveTraceLogIfRequested();
      platform::RestartOrTerminate(options->ThirdButtonAction() == tbRestart);
    }
  } catch (...) {
    ReportInternalBug("InternalExceptNotify." + std::to_string(static_cast<int>(state.Step)));
    result = false;
    g_callStack.Clear();
  }
  Trace("InternalExceptNotify=", {result}, -2);
  return result;
}

}  // namespace vl::pipeline
