// A recording notification for the capture's tests: every call of ExceptNotify is kept with the
// class and message read from the thread's raise state (no rethrow), the thread, the context
// flags and how many notifications ran at once.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/raise_state.h"
#include "capture/thrown_object.h"
#include "runtime/system.h"

using namespace vl;

namespace capturetest {

struct Note {
  std::string ClassName;
  std::string Message;
  DWORD ThreadId = 0;
  DWORD ContextFlags = 0;
  uintptr_t StackPointer = 0;
  void* Address = nullptr;
  bool FromRaise = false;
  CONTEXT Context;
};

class Recorder {
 public:
  static Recorder& Instance() {
    static Recorder* r = new Recorder();
    return *r;
  }
  // What the recorder does besides recording: 0 nothing, 1 throw inside (caught inside),
  // 2 throw out of the notification.
  std::atomic<int> Mode{0};
  // What the notification answers ("run the program's own handling too").
  std::atomic<bool> Answer{false};
  std::atomic<int> Running{0};
  std::atomic<int> MostAtOnce{0};

  std::vector<Note> Take() {
    std::lock_guard<std::mutex> lock(FLock);
    std::vector<Note> out;
    out.swap(FNotes);
    return out;
  }

  static bool Notify(std::exception_ptr object, void* address, bool fromRaise, CONTEXT*, uintptr_t,
                     uintptr_t) {
    Recorder& self = Instance();
    const int now = ++self.Running;
    int most = self.MostAtOnce.load();
    while (now > most && !self.MostAtOnce.compare_exchange_weak(most, now)) {
    }
    Note note;
    capture::TThreadRaiseState& state = capture::CurrentRaiseState();
    if (state.ThrownType) {
      capture::TThrownObject thrown{state.ThrownObject, state.ThrownType};
      note.ClassName = capture::ThrownClassName(thrown);
      note.Message = capture::ThrownMessage(thrown);
    } else {
      note.ClassName = rtl::ExceptionClassName(object);
      note.Message = rtl::ExceptionMessage(object);
    }
    note.ThreadId = GetCurrentThreadId();
    note.ContextFlags = state.Context.ContextFlags;
    note.StackPointer = state.StackPointer;
    note.Address = address;
    note.FromRaise = fromRaise;
    note.Context = state.Context;
    Sleep(2);  // widen the window in which an overlap would show
    {
      std::lock_guard<std::mutex> lock(self.FLock);
      self.FNotes.push_back(note);
    }
    --self.Running;
    if (self.Mode == 1) {
      try {
        throw std::runtime_error("inside the notification");
      } catch (const std::exception&) {
      }
    } else if (self.Mode == 2) {
      throw std::runtime_error("out of the notification");
    }
    return self.Answer.load();
  }

 private:
  std::mutex FLock;
  std::vector<Note> FNotes;
};

}  // namespace capturetest
