#include "tools/dwarf_forms.h"

namespace vl::tools::dwarf {

namespace {

FormValue Make(FormValue::Kind kind, uint64_t value) {
  FormValue result;
  result.Type = kind;
  result.Unsigned = value;
  return result;
}

FormValue Str(std::string text) {
  FormValue result;
  result.Type = FormValue::kString;
  result.String = std::move(text);
  return result;
}

FormValue StrIndex(uint64_t index, const FormContext& context) {
  return ResolveIndex(Make(FormValue::kStrIndex, index), context);
}

FormValue AddrIndex(uint64_t index, const FormContext& context) {
  return ResolveIndex(Make(FormValue::kAddrIndex, index), context);
}

}  // namespace

FormValue ResolveIndex(const FormValue& value, const FormContext& context) {
  if (value.Type == FormValue::kStrIndex && context.HasStrOffsetsBase) {
    ByteReader offsets(context.Sections->StrOffsets, ".debug_str_offsets");
    uint64_t size = context.OffsetSize;
    if (value.Unsigned > (UINT64_MAX - context.StrOffsetsBase) / size)
      offsets.Fail("index too big");
    offsets.Seek(context.StrOffsetsBase + value.Unsigned * size);
    return Str(StringAt(context.Sections->Str, offsets.Unsigned(context.OffsetSize), ".debug_str"));
  }
  if (value.Type == FormValue::kAddrIndex && context.HasAddrBase) {
    ByteReader addresses(context.Sections->Addr, ".debug_addr");
    uint64_t size = context.AddressSize;
    if (value.Unsigned > (UINT64_MAX - context.AddrBase) / size) addresses.Fail("index too big");
    addresses.Seek(context.AddrBase + value.Unsigned * size);
    return Make(FormValue::kAddress, addresses.Unsigned(context.AddressSize));
  }
  return value;
}

FormValue ReadForm(ByteReader& reader, uint64_t form, const FormContext& context,
                   int64_t implicitConst) {
  // An indirect form names the real one in front of the value; a chain of them is malformed.
  if (form == DW_FORM_indirect) {
    form = reader.Uleb();
    if (form == DW_FORM_indirect || form == DW_FORM_implicit_const) {
      reader.Fail("indirect form names form " + std::to_string(form));
    }
  }
  switch (form) {
    case DW_FORM_addr:
      return Make(FormValue::kAddress, reader.Unsigned(context.AddressSize));
    case DW_FORM_data1:
    case DW_FORM_flag:
      return Make(FormValue::kUnsigned, reader.U8());
    case DW_FORM_data2:
      return Make(FormValue::kUnsigned, reader.U16());
    case DW_FORM_data4:
      return Make(FormValue::kUnsigned, reader.U32());
    case DW_FORM_data8:
      return Make(FormValue::kUnsigned, reader.U64());
    case DW_FORM_udata:
      return Make(FormValue::kUnsigned, reader.Uleb());
    case DW_FORM_sdata: {
      FormValue value = Make(FormValue::kSigned, 0);
      value.Signed = reader.Sleb();
      value.Unsigned = static_cast<uint64_t>(value.Signed);
      return value;
    }
    case DW_FORM_implicit_const: {
      FormValue value = Make(FormValue::kSigned, static_cast<uint64_t>(implicitConst));
      value.Signed = implicitConst;
      return value;
    }
    case DW_FORM_flag_present:
      return Make(FormValue::kUnsigned, 1);
    case DW_FORM_data16:
      reader.Skip(16);
      return FormValue{};
    case DW_FORM_string:
      return Str(reader.CString());
    case DW_FORM_strp:
      return Str(
          StringAt(context.Sections->Str, reader.Unsigned(context.OffsetSize), ".debug_str"));
    case DW_FORM_line_strp:
      return Str(StringAt(context.Sections->LineStr, reader.Unsigned(context.OffsetSize),
                          ".debug_line_str"));
    case DW_FORM_strx:
    case DW_FORM_GNU_str_index:
      return StrIndex(reader.Uleb(), context);
    case DW_FORM_strx1:
      return StrIndex(reader.U8(), context);
    case DW_FORM_strx2:
      return StrIndex(reader.U16(), context);
    case DW_FORM_strx3:
      return StrIndex(reader.U24(), context);
    case DW_FORM_strx4:
      return StrIndex(reader.U32(), context);
    case DW_FORM_addrx:
    case DW_FORM_GNU_addr_index:
      return AddrIndex(reader.Uleb(), context);
    case DW_FORM_addrx1:
      return AddrIndex(reader.U8(), context);
    case DW_FORM_addrx2:
      return AddrIndex(reader.U16(), context);
    case DW_FORM_addrx3:
      return AddrIndex(reader.U24(), context);
    case DW_FORM_addrx4:
      return AddrIndex(reader.U32(), context);
    case DW_FORM_ref1:
      return Make(FormValue::kReference, context.UnitOffset + reader.U8());
    case DW_FORM_ref2:
      return Make(FormValue::kReference, context.UnitOffset + reader.U16());
    case DW_FORM_ref4:
      return Make(FormValue::kReference, context.UnitOffset + reader.U32());
    case DW_FORM_ref8: {
      uint64_t offset = reader.U64();
      if (offset > UINT64_MAX - context.UnitOffset) reader.Fail("reference out of range");
      return Make(FormValue::kReference, context.UnitOffset + offset);
    }
    case DW_FORM_ref_udata: {
      uint64_t offset = reader.Uleb();
      if (offset > UINT64_MAX - context.UnitOffset) reader.Fail("reference out of range");
      return Make(FormValue::kReference, context.UnitOffset + offset);
    }
    case DW_FORM_ref_addr:
      // Version 2 wrote these with the address size, later versions with the offset size.
      return Make(FormValue::kReference,
                  reader.Unsigned(context.Version <= 2 ? context.AddressSize : context.OffsetSize));
    case DW_FORM_sec_offset:
      return Make(FormValue::kSecOffset, reader.Unsigned(context.OffsetSize));
    case DW_FORM_rnglistx:
      return Make(FormValue::kRnglistx, reader.Uleb());
    case DW_FORM_loclistx:
      reader.Uleb();
      return FormValue{};
    case DW_FORM_ref_sig8:
    case DW_FORM_ref_sup8:
      reader.Skip(8);
      return FormValue{};
    case DW_FORM_ref_sup4:
      reader.Skip(4);
      return FormValue{};
    case DW_FORM_strp_sup:
    case DW_FORM_GNU_ref_alt:
    case DW_FORM_GNU_strp_alt:
      reader.Skip(context.OffsetSize);
      return FormValue{};
    case DW_FORM_block1:
      reader.Skip(reader.U8());
      return FormValue{};
    case DW_FORM_block2:
      reader.Skip(reader.U16());
      return FormValue{};
    case DW_FORM_block4:
      reader.Skip(reader.U32());
      return FormValue{};
    case DW_FORM_block:
    case DW_FORM_exprloc:
      reader.Skip(reader.Uleb());
      return FormValue{};
    default:
      reader.Fail("unknown attribute form " + std::to_string(form));
  }
}

}  // namespace vl::tools::dwarf
