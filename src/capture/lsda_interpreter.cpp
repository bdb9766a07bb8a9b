#include "capture/lsda_interpreter.h"

namespace vl::capture {

TLsdaVerdict InterpretLsda(const TLsdaFrame& frame, TLsdaContext& context) {
  if (!frame.Table || frame.Size == 0 || (frame.PointerSize != 4 && frame.PointerSize != 8)) {
    return TLsdaVerdict::lvMalformed;
  }
  TEhReader r(frame.Table, frame.Size, frame.TableAddress, frame.PointerSize);

  // Header: landing-pad base, type table, call-site table.
  const uint8_t lpStartEncoding = r.U8();
  uint64_t lpStart = frame.RegionStart;
  if (lpStartEncoding != EhPeOmit)
    lpStart = r.Encoded(lpStartEncoding, frame.RegionStart, &context);
  const uint8_t ttypeEncoding = r.U8();
  size_t ttypeBase = 0;  // position just past the type table; 0 = no table
  if (ttypeEncoding != EhPeOmit) {
    uint64_t offset = r.Uleb128();
    if (!r.Ok() || offset > r.Size() - r.Position()) return TLsdaVerdict::lvMalformed;
    ttypeBase = r.Position() + static_cast<size_t>(offset);
  }
  const uint8_t callSiteEncoding = r.U8();
  uint64_t callSiteLength = r.Uleb128();
  if (!r.Ok() || callSiteLength > r.Size() - r.Position()) return TLsdaVerdict::lvMalformed;
  const size_t actionTable = r.Position() + static_cast<size_t>(callSiteLength);
  (void)lpStart;

  // The call-site table is sorted by start; the first entry that holds the address decides.
  uint64_t landingPad = 0;
  uint64_t action = 0;
  bool found = false;
  while (r.Ok() && r.Position() < actionTable) {
    uint64_t start = r.Encoded(callSiteEncoding, 0, nullptr);
    uint64_t length = r.Encoded(callSiteEncoding, 0, nullptr);
    uint64_t pad = r.Encoded(callSiteEncoding, 0, nullptr);
    uint64_t act = r.Uleb128();
    if (!r.Ok() || r.Position() > actionTable) return TLsdaVerdict::lvMalformed;
    const uint64_t from = frame.RegionStart + start;
    if (frame.Ip < from) break;
    if (frame.Ip - from < length) {
      landingPad = pad;
      action = act;
      found = true;
      break;
    }
  }
  if (!r.Ok()) return TLsdaVerdict::lvMalformed;
  if (!found) return TLsdaVerdict::lvTerminate;
  if (landingPad == 0) return TLsdaVerdict::lvNothing;
  if (action == 0) return TLsdaVerdict::lvCleanup;

  // Action records: (filter, displacement to the next record) pairs.
  if (action - 1 > r.Size() - actionTable) return TLsdaVerdict::lvMalformed;
  size_t record = actionTable + static_cast<size_t>(action - 1);
  const unsigned entrySize = TEhReader::FixedSize(ttypeEncoding, frame.PointerSize);
  for (unsigned visited = 0; visited < MaxLsdaActions; ++visited) {
    if (!r.Seek(record)) return TLsdaVerdict::lvMalformed;
    int64_t filter = r.Sleb128();
    const size_t dispPosition = r.Position();
    int64_t disp = r.Sleb128();
    if (!r.Ok()) return TLsdaVerdict::lvMalformed;
    if (filter > 0) {
      // Entry Filter counts backwards from the type table's end.
      if (ttypeBase == 0 || entrySize == 0) return TLsdaVerdict::lvMalformed;
      const uint64_t back = static_cast<uint64_t>(filter) * entrySize;
      if (back > ttypeBase) return TLsdaVerdict::lvMalformed;
      TEhReader entry(frame.Table, frame.Size, frame.TableAddress, frame.PointerSize);
      if (!entry.Seek(ttypeBase - static_cast<size_t>(back))) return TLsdaVerdict::lvMalformed;
      uint64_t typeInfo = entry.Encoded(ttypeEncoding, frame.RegionStart, &context);
      if (!entry.Ok()) return TLsdaVerdict::lvMalformed;
      if (typeInfo == 0) return TLsdaVerdict::lvCatchAll;
      if (context.Catches(typeInfo)) return TLsdaVerdict::lvCatchTyped;
    } else if (filter < 0) {
      // Exception specifications only occur where nothing may leave the function.
      return TLsdaVerdict::lvTerminate;
    }
    if (disp == 0) return TLsdaVerdict::lvCleanup;
    const int64_t next = static_cast<int64_t>(dispPosition) + disp;
    if (next < 0 || static_cast<uint64_t>(next) >= r.Size()) return TLsdaVerdict::lvMalformed;
    record = static_cast<size_t>(next);
  }
  return TLsdaVerdict::lvMalformed;
}

}  // namespace vl::capture
