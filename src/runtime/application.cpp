#include "runtime/application.h"

#include "runtime/exceptions.h"
#include "runtime/file_names.h"
#include "runtime/system.h"

namespace vl::Forms {

TApplication* Application = nullptr;

namespace {

const char kWindowClass[] = "TApplication";

LRESULT CALLBACK ApplicationWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

void DoneApplication() {
  if (Application && Application->MainForm && IsWindow(Application->MainForm))
    DestroyWindow(Application->MainForm);
}

void InitForms() { Application = new TApplication(); }
void DoneForms() {
  delete Application;
  Application = nullptr;
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration kFormsUnit("Forms", rtl::UnitOrderRuntime,
                                                            InitForms, DoneForms);

}  // namespace

TApplication::TApplication() {
  FTitle = rtl::ExtractFileName(ExeName());
  size_t dot = rtl::FileExtStart(FTitle);
  if (dot != std::string::npos) FTitle.resize(dot);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ApplicationWndProc;
  wc.hInstance = instance;
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  FHandle = CreateWindowExA(0, kWindowClass, FTitle.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

TApplication::~TApplication() {
  if (FHandle) DestroyWindow(FHandle);
}

std::string TApplication::ExeName() const { return rtl::ModuleFileName(nullptr); }

void TApplication::SetTitle(const std::string& title) {
  FTitle = title;
  if (FHandle) SetWindowTextA(FHandle, FTitle.c_str());
}

void TApplication::Initialize() {
  if (rtl::InitProc) rtl::InitProc();
}

void TApplication::Run() {
  FRunning = true;
  rtl::AddExitProc(DoneApplication);
  if (MainForm) {
    MSG msg;
    while (!FTerminated && IsWindow(MainForm)) {
      try {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) break;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      VL_PASS_FORCED_UNWIND catch (...) { HandleException(this); }
    }
  }
  FRunning = false;
}

void TApplication::HandleException(void* sender) {
  std::exception_ptr error = std::current_exception();
  try {
    if (error) std::rethrow_exception(error);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  if (OnException)
    OnException(sender, error);
  else
    ShowException(error);
}

void TApplication::ShowException(std::exception_ptr error) {
  std::string message = rtl::ExceptionMessage(error);
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  MessageBoxA(FHandle, message.c_str(), FTitle.c_str(), MB_OK | MB_ICONSTOP);
}

void HandleWindowException(HWND window) {
  try {
    if (Application) {
      Application->HandleException(window);
    } else {
      rtl::ExceptProc(std::current_exception(), rtl::RaiseAddress());
    }
  } catch (...) {
    // A handler that fails itself must not unwind into the system's message dispatch.
    rtl::ExceptProc(std::current_exception(), rtl::RaiseAddress());
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  PostQuitMessage(0);
}

}  // namespace vl::Forms
