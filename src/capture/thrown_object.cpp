#include "capture/thrown_object.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>

#include "runtime/class_names.h"
#include "runtime/exceptions.h"

namespace vl::capture {

namespace {

// libstdc++'s exception headers (unwind-cxx.h), in front of the unwinder's record.
struct TCxaException {
  std::type_info* exceptionType;
  void (*exceptionDestructor)(void*);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  TCxaException* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};
struct TCxaRefcounted {
  int referenceCount;
  TCxaException exc;
};
struct TCxaDependent {
  void* primaryException;
  void (*padding)(void*);
  void (*unexpectedHandler)();
  void (*terminateHandler)();
  TCxaException* nextException;
  int handlerCount;
  int handlerSwitchValue;
  const unsigned char* actionRecord;
  const unsigned char* languageSpecificData;
  _Unwind_Ptr catchTemp;
  void* adjustedPtr;
  _Unwind_Exception unwindHeader;
};

constexpr uint64_t ClassOf(const char (&name)[9]) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | static_cast<uint8_t>(name[i]);
  return v;
}
constexpr uint64_t PrimaryClass = ClassOf("GNUCC++\0");
constexpr uint64_t DependentClass = ClassOf("GNUCC++\1");

TCxaException* HeaderOfObject(void* object) { return static_cast<TCxaException*>(object) - 1; }

CRITICAL_SECTION* FactsLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    return cs;
  }();
  return lock;
}

constexpr ptrdiff_t NoPart = PTRDIFF_MIN;

// What the capture needs of one thrown type; made once, never changed or freed afterwards.
struct TTypeFacts {
  const std::type_info* Type = nullptr;
  std::string Name;
  bool Abort = false;
  // Where the object's Exception / std::exception part sits, from the object's start (the
  // thrown type is the object's complete type, so this is the same for every object of it).
  ptrdiff_t ExceptionPart = NoPart;
  ptrdiff_t StdExceptionPart = NoPart;
};

ptrdiff_t PartOffset(const std::type_info& base, const TThrownObject& thrown) {
  if (thrown.Type->__is_pointer_p()) return NoPart;
  void* adjusted = thrown.Object;
  if (!base.__do_catch(thrown.Type, &adjusted, 1)) return NoPart;
  return static_cast<char*>(adjusted) - static_cast<char*>(thrown.Object);
}

// A lock-free front of recently seen types over a map that only grows.
constexpr size_t FrontSlots = 64;
std::atomic<const TTypeFacts*> g_front[FrontSlots];

size_t SlotOf(const std::type_info* type) {
  return (reinterpret_cast<uintptr_t>(type) >> 4) % FrontSlots;
}

// The facts' lock, left on every path (an allocation that fails inside raises).
struct TFactsLocked {
  TFactsLocked() { EnterCriticalSection(FactsLock()); }
  ~TFactsLocked() { LeaveCriticalSection(FactsLock()); }
  TFactsLocked(const TFactsLocked&) = delete;
  TFactsLocked& operator=(const TFactsLocked&) = delete;
};

// Null when the facts cannot be had (no memory): the callers then read the type alone.
const TTypeFacts* FactsOf(const TThrownObject& thrown) {
  if (!thrown.Type || !thrown.Object) return nullptr;
  std::atomic<const TTypeFacts*>& slot = g_front[SlotOf(thrown.Type)];
  const TTypeFacts* facts = slot.load(std::memory_order_acquire);
  if (facts && facts->Type == thrown.Type) return facts;
  static std::map<const std::type_info*, const TTypeFacts*>* known =
      new std::map<const std::type_info*, const TTypeFacts*>();
  {
    TFactsLocked lock;
    auto it = known->find(thrown.Type);
    facts = it != known->end() ? it->second : nullptr;
  }
  if (!facts) {
    TTypeFacts* fresh = nullptr;
    try {
      fresh = new TTypeFacts();
      fresh->Type = thrown.Type;
      fresh->Name = rtl::ClassName(*thrown.Type);
      fresh->Abort = CatchesThrown(typeid(EAbort), thrown);
      fresh->ExceptionPart = PartOffset(typeid(Exception), thrown);
      fresh->StdExceptionPart = PartOffset(typeid(std::exception), thrown);
      TFactsLocked lock;
      auto placed = known->emplace(thrown.Type, fresh);
      if (!placed.second) delete fresh;  // another thread was first: one record per type
      facts = placed.first->second;
    } catch (...) {
      delete fresh;
      return nullptr;
    }
  }
  slot.store(facts, std::memory_order_release);
  return facts;
}

}  // namespace

_Unwind_Exception* UnwindHeaderOf(void* object) { return &HeaderOfObject(object)->unwindHeader; }

TThrownObject ThrownObjectOf(_Unwind_Exception* exception) {
  TThrownObject result;
  if (!exception) return result;
  const uint64_t kind = exception->exception_class;
  if (kind == PrimaryClass) {
    auto* header = reinterpret_cast<TCxaException*>(reinterpret_cast<char*>(exception) -
                                                    offsetof(TCxaException, unwindHeader));
    result.Object = header + 1;
    result.Type = header->exceptionType;
    result.Rethrow = header->handlerCount != 0;  // `throw;` marks it rethrown (negative count)
  } else if (kind == DependentClass) {
    auto* dependent = reinterpret_cast<TCxaDependent*>(reinterpret_cast<char*>(exception) -
                                                       offsetof(TCxaDependent, unwindHeader));
    result.Object = dependent->primaryException;
    if (result.Object) result.Type = HeaderOfObject(result.Object)->exceptionType;
    result.Rethrow = true;  // an exception_ptr raised again: its primary object is alive
  }
  return result;
}

TThrownObject ThrownObjectOf(const std::exception_ptr& object) {
  TThrownObject result;
  if (!object) return result;
  // libstdc++'s exception_ptr is one pointer to the primary object.
  static_assert(sizeof(std::exception_ptr) == sizeof(void*), "libstdc++'s exception_ptr");
  std::memcpy(&result.Object, &object, sizeof(void*));
  result.Type = object.__cxa_exception_type();
  return result;
}

bool HasOwnMessage(const TThrownObject& thrown) {
  return CatchesThrown(typeid(Exception), thrown) || CatchesThrown(typeid(std::exception), thrown);
}

std::exception_ptr ExceptionPtrOf(const TThrownObject& thrown) {
  std::exception_ptr result;
  if (!thrown.Object) return result;
  static_assert(sizeof(std::exception_ptr) == sizeof(void*), "libstdc++'s exception_ptr");
  auto* counted = reinterpret_cast<TCxaRefcounted*>(
      reinterpret_cast<char*>(HeaderOfObject(thrown.Object)) - offsetof(TCxaRefcounted, exc));
  __atomic_add_fetch(&counted->referenceCount, 1, __ATOMIC_ACQ_REL);
  // The pointer now owns the reference just taken (its destructor gives it back).
  void* object = thrown.Object;
  std::memcpy(static_cast<void*>(&result), &object, sizeof object);
  return result;
}

TThrownObject ThrownObjectOfPointer(const std::exception_ptr& object) {
  TThrownObject result;
  if (!object) return result;
  std::memcpy(&result.Object, static_cast<const void*>(&object), sizeof result.Object);
  if (result.Object) result.Type = HeaderOfObject(result.Object)->exceptionType;
  return result;
}

bool CatchesThrown(const std::type_info& catchType, const TThrownObject& thrown) {
  if (!thrown.Type || !thrown.Object) return false;
  void* adjusted = thrown.Object;
  if (thrown.Type->__is_pointer_p()) adjusted = *static_cast<void**>(adjusted);
  return catchType.__do_catch(thrown.Type, &adjusted, 1);
}

const std::string& ThrownClassName(const TThrownObject& thrown) {
  static const std::string* foreign = new std::string("Unknown exception type.");
  if (!thrown.Type) return *foreign;
  if (!thrown.Object) {
    // No object to read the parts from: the name alone, kept per type all the same.
    static std::map<const std::type_info*, std::string>* names =
        new std::map<const std::type_info*, std::string>();
    try {
      TFactsLocked lock;
      auto it = names->find(thrown.Type);
      if (it == names->end()) it = names->emplace(thrown.Type, rtl::ClassName(*thrown.Type)).first;
      return it->second;
    } catch (...) {
      return *foreign;  // no memory for the name: the report goes on without it
    }
  }
  const TTypeFacts* facts = FactsOf(thrown);
  return facts ? facts->Name : *foreign;
}

std::string_view ThrownMessageView(const TThrownObject& thrown) {
  const TTypeFacts* facts = FactsOf(thrown);
  if (!facts) return {};
  char* object = static_cast<char*>(thrown.Object);
  if (facts->ExceptionPart != NoPart) {
    return reinterpret_cast<const Exception*>(object + facts->ExceptionPart)->Message;
  }
  if (facts->StdExceptionPart != NoPart) {
    return reinterpret_cast<const std::exception*>(object + facts->StdExceptionPart)->what();
  }
  return {};
}

std::string ThrownMessage(const TThrownObject& thrown) {
  return std::string(ThrownMessageView(thrown));
}

bool IsAbort(const TThrownObject& thrown) {
  const TTypeFacts* facts = FactsOf(thrown);
  return facts && facts->Abort;
}

bool IsAbort(std::exception_ptr object) {
  if (!object) return false;
  try {
    std::rethrow_exception(object);
  } catch (const EAbort&) {
    return true;
  } catch (...) {
  }
  return false;
}

}  // namespace vl::capture
