// Attribute forms of DWARF 2 to 5 shared by the line-table and the .debug_info readers: every
// form is either read into a value or skipped by its size.
#pragma once

#include <cstdint>
#include <string>

#include "tools/dwarf.h"
#include "tools/format_error.h"

namespace vl::tools::dwarf {

// Forms.
enum : uint64_t {
  DW_FORM_addr = 0x01,
  DW_FORM_block2 = 0x03,
  DW_FORM_block4 = 0x04,
  DW_FORM_data2 = 0x05,
  DW_FORM_data4 = 0x06,
  DW_FORM_data8 = 0x07,
  DW_FORM_string = 0x08,
  DW_FORM_block = 0x09,
  DW_FORM_block1 = 0x0a,
  DW_FORM_data1 = 0x0b,
  DW_FORM_flag = 0x0c,
  DW_FORM_sdata = 0x0d,
  DW_FORM_strp = 0x0e,
  DW_FORM_udata = 0x0f,
  DW_FORM_ref_addr = 0x10,
  DW_FORM_ref1 = 0x11,
  DW_FORM_ref2 = 0x12,
  DW_FORM_ref4 = 0x13,
  DW_FORM_ref8 = 0x14,
  DW_FORM_ref_udata = 0x15,
  DW_FORM_indirect = 0x16,
  DW_FORM_sec_offset = 0x17,
  DW_FORM_exprloc = 0x18,
  DW_FORM_flag_present = 0x19,
  DW_FORM_strx = 0x1a,
  DW_FORM_addrx = 0x1b,
  DW_FORM_ref_sup4 = 0x1c,
  DW_FORM_strp_sup = 0x1d,
  DW_FORM_data16 = 0x1e,
  DW_FORM_line_strp = 0x1f,
  DW_FORM_ref_sig8 = 0x20,
  DW_FORM_implicit_const = 0x21,
  DW_FORM_loclistx = 0x22,
  DW_FORM_rnglistx = 0x23,
  DW_FORM_ref_sup8 = 0x24,
  DW_FORM_strx1 = 0x25,
  DW_FORM_strx2 = 0x26,
  DW_FORM_strx3 = 0x27,
  DW_FORM_strx4 = 0x28,
  DW_FORM_addrx1 = 0x29,
  DW_FORM_addrx2 = 0x2a,
  DW_FORM_addrx3 = 0x2b,
  DW_FORM_addrx4 = 0x2c,
  DW_FORM_GNU_addr_index = 0x1f01,
  DW_FORM_GNU_str_index = 0x1f02,
  DW_FORM_GNU_ref_alt = 0x1f20,
  DW_FORM_GNU_strp_alt = 0x1f21,
};

// What the reader of one unit knows when it reads a form.
struct FormContext {
  const DwarfSections* Sections = nullptr;
  uint16_t Version = 0;
  unsigned AddressSize = 4;
  unsigned OffsetSize = 4;      // 4 for 32-bit DWARF, 8 for 64-bit DWARF
  uint64_t UnitOffset = 0;      // of the unit header in .debug_info, for unit-relative refs
  uint64_t StrOffsetsBase = 0;  // DW_AT_str_offsets_base, 0 when absent
  uint64_t AddrBase = 0;        // DW_AT_addr_base
  bool HasAddrBase = false;
  bool HasStrOffsetsBase = false;
};

struct FormValue {
  enum Kind {
    kNone,       // skipped: blocks, expressions, references to other files
    kUnsigned,   // constants, flags
    kSigned,     // sdata, implicit_const
    kString,     // resolved string
    kAddress,    // addr, or addrx resolved through .debug_addr
    kReference,  // offset in .debug_info
    kSecOffset,  // offset in another section
    kRnglistx,   // index into the unit's range-list offsets
    kStrIndex,   // strx that the unit could not yet resolve (no base yet)
    kAddrIndex,  // addrx that the unit could not yet resolve
  };
  Kind Type = kNone;
  uint64_t Unsigned = 0;
  int64_t Signed = 0;
  std::string String;

  bool IsConstant() const { return Type == kUnsigned || Type == kSigned; }
};

// Reads one value of Form. ImplicitConst is the value an abbreviation gives for
// DW_FORM_implicit_const. Unknown forms raise (their size is unknown).
FormValue ReadForm(ByteReader& reader, uint64_t form, const FormContext& context,
                   int64_t implicitConst);

// Resolves a kStrIndex / kAddrIndex value once the unit's bases are known; other values are
// returned unchanged.
FormValue ResolveIndex(const FormValue& value, const FormContext& context);

}  // namespace vl::tools::dwarf
