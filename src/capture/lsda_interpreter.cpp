#include "capture/lsda_interpreter.h"

namespace vl::capture {

namespace {

// The type table: entries counted backwards from its end (Base, a position in the table),
// and the throw lists that follow that end.
struct TTypeTable {
  const TLsdaFrame& Frame;
  size_t Base;  // 0: the table has no type table
  uint8_t Encoding;
  TLsdaContext& Context;

  // Entry Index (1 = the last): the std::type_info address, 0 for catch (...). False when the
  // entry lies outside the table or cannot be read.
  bool Entry(uint64_t index, uint64_t& typeInfo) const {
    const unsigned size = TEhReader::FixedSize(Encoding, Frame.PointerSize);
    if (Base == 0 || size == 0 || index > Base / size) return false;
    TEhReader entry(Frame.Table, Frame.Size, Frame.TableAddress, Frame.PointerSize);
    if (!entry.Seek(Base - static_cast<size_t>(index) * size)) return false;
    typeInfo = entry.Encoded(Encoding, Frame.RegionStart, &Context);
    return entry.Ok();
  }

  enum TList { tlAllows, tlViolated, tlMalformed };
  // The throw list of negative Filter: entry indexes (ULEB128, ended by 0) that start -Filter - 1
  // bytes past the type table's end. The raise passes when a listed type catches it, as in the
  // runtime's check_exception_spec; the empty list throw() passes nothing.
  TList ListAllows(int64_t filter) const {
    const uint64_t offset = static_cast<uint64_t>(-(filter + 1));
    TEhReader list(Frame.Table, Frame.Size, Frame.TableAddress, Frame.PointerSize);
    if (Base == 0 || offset > Frame.Size - Base || !list.Seek(Base + static_cast<size_t>(offset)))
      return tlMalformed;
    for (unsigned n = 0; n < MaxLsdaActions; ++n) {
      const uint64_t index = list.Uleb128();
      uint64_t typeInfo = 0;
      if (!list.Ok()) return tlMalformed;
      if (index == 0) return tlViolated;
      // A null entry is no type: the compiler never lists catch (...).
      if (!Entry(index, typeInfo) || typeInfo == 0) return tlMalformed;
      if (Context.Catches(typeInfo)) return tlAllows;
    }
    return tlMalformed;
  }
};

}  // namespace

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
  const TTypeTable types{frame, ttypeBase, ttypeEncoding, context};
  for (unsigned visited = 0; visited < MaxLsdaActions; ++visited) {
    if (!r.Seek(record)) return TLsdaVerdict::lvMalformed;
    int64_t filter = r.Sleb128();
    const size_t dispPosition = r.Position();
    int64_t disp = r.Sleb128();
    if (!r.Ok()) return TLsdaVerdict::lvMalformed;
    if (filter > 0) {
      uint64_t typeInfo = 0;
      if (!types.Entry(static_cast<uint64_t>(filter), typeInfo)) return TLsdaVerdict::lvMalformed;
      if (typeInfo == 0) return TLsdaVerdict::lvCatchAll;
      if (context.Catches(typeInfo)) return TLsdaVerdict::lvCatchTyped;
    } else if (filter < 0) {
      // A throw list: a listed type passes on to the next record, any other raise ends in
      // std::unexpected, that is std::terminate.
      const TTypeTable::TList list = types.ListAllows(filter);
      if (list == TTypeTable::tlMalformed) return TLsdaVerdict::lvMalformed;
      if (list == TTypeTable::tlViolated) return TLsdaVerdict::lvTerminate;
    }
    if (disp == 0) return TLsdaVerdict::lvCleanup;
    // The next record lies Disp bytes from the displacement's own first byte, inside the table.
    const uint64_t distance =
        disp < 0 ? 0 - static_cast<uint64_t>(disp) : static_cast<uint64_t>(disp);
    if (disp < 0 ? distance > dispPosition : distance >= r.Size() - dispPosition)
      return TLsdaVerdict::lvMalformed;
    record = disp < 0 ? dispPosition - static_cast<size_t>(distance)
                      : dispPosition + static_cast<size_t>(distance);
  }
  return TLsdaVerdict::lvMalformed;
}

}  // namespace vl::capture
