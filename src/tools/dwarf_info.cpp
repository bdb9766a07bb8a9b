// The compilation units of .debug_info and the subprograms in them, versions 2 to 5.
#include <map>
#include <unordered_map>

#include "tools/dwarf.h"
#include "tools/dwarf_forms.h"
#include "tools/pe_image.h"

namespace vl::tools {

namespace {

using namespace dwarf;

// Tags.
enum : uint64_t {
  DW_TAG_class_type = 0x02,
  DW_TAG_structure_type = 0x13,
  DW_TAG_union_type = 0x17,
  DW_TAG_compile_unit = 0x11,
  DW_TAG_subprogram = 0x2e,
  DW_TAG_interface_type = 0x38,
  DW_TAG_namespace = 0x39,
  DW_TAG_partial_unit = 0x3c,
  DW_TAG_skeleton_unit = 0x4a,
};
// Attributes.
enum : uint64_t {
  DW_AT_name = 0x03,
  DW_AT_stmt_list = 0x10,
  DW_AT_low_pc = 0x11,
  DW_AT_high_pc = 0x12,
  DW_AT_comp_dir = 0x1b,
  DW_AT_abstract_origin = 0x31,
  DW_AT_specification = 0x47,
  DW_AT_ranges = 0x55,
  DW_AT_linkage_name = 0x6e,
  DW_AT_str_offsets_base = 0x72,
  DW_AT_addr_base = 0x73,
  DW_AT_rnglists_base = 0x74,
  DW_AT_MIPS_linkage_name = 0x2007,
  DW_AT_GNU_addr_base = 0x2133,
  DW_AT_GNU_ranges_base = 0x2132,
};
// Unit types (version 5).
enum : uint8_t {
  DW_UT_compile = 1,
  DW_UT_type = 2,
  DW_UT_partial = 3,
  DW_UT_skeleton = 4,
  DW_UT_split_compile = 5,
  DW_UT_split_type = 6,
};
// Range-list entries (version 5).
enum : uint8_t {
  DW_RLE_end_of_list = 0,
  DW_RLE_base_addressx = 1,
  DW_RLE_startx_endx = 2,
  DW_RLE_startx_length = 3,
  DW_RLE_offset_pair = 4,
  DW_RLE_base_address = 5,
  DW_RLE_start_end = 6,
  DW_RLE_start_length = 7,
};

constexpr uint64_t kNoDie = ~uint64_t{0};
constexpr int kMaxChain = 32;  // DW_AT_specification / origin / scope links followed at most

struct AttributeSpec {
  uint64_t Attribute;
  uint64_t Form;
  int64_t ImplicitConst;
};

struct Abbreviation {
  uint64_t Tag = 0;
  bool HasChildren = false;
  std::vector<AttributeSpec> Attributes;
};

using AbbreviationTable = std::unordered_map<uint64_t, Abbreviation>;

AbbreviationTable ReadAbbreviations(ByteSpan section, uint64_t offset) {
  ByteReader reader(section, ".debug_abbrev");
  reader.Seek(offset);
  AbbreviationTable table;
  for (;;) {
    uint64_t code = reader.Uleb();
    if (code == 0) break;
    Abbreviation abbreviation;
    abbreviation.Tag = reader.Uleb();
    abbreviation.HasChildren = reader.U8() != 0;
    for (;;) {
      AttributeSpec spec{reader.Uleb(), reader.Uleb(), 0};
      if (spec.Attribute == 0 && spec.Form == 0) break;
      if (spec.Form == DW_FORM_implicit_const) spec.ImplicitConst = reader.Sleb();
      abbreviation.Attributes.push_back(spec);
    }
    if (!table.emplace(code, std::move(abbreviation)).second) {
      reader.Fail("abbreviation code " + std::to_string(code) + " defined twice");
    }
  }
  return table;
}

bool IsScopeTag(uint64_t tag) {
  return tag == DW_TAG_namespace || tag == DW_TAG_class_type || tag == DW_TAG_structure_type ||
         tag == DW_TAG_union_type || tag == DW_TAG_interface_type || tag == DW_TAG_subprogram;
}

// What the reader keeps of a namespace, class or subprogram DIE.
struct Die {
  uint64_t Tag = 0;
  size_t Unit = 0;
  uint64_t Parent = kNoDie;  // nearest enclosing recorded DIE
  uint64_t DeclarationRef = kNoDie;
  uint64_t Origin = kNoDie;
  std::string Name;
  std::string LinkageName;
  FormValue LowPc, HighPc, Ranges;
};

// Per-unit state needed after the walk (range lists).
struct UnitState {
  FormContext Context;
  uint64_t BaseAddress = 0;
  uint64_t RngListsBase = 0;
  bool HasRngListsBase = false;
};

class InfoReader {
 public:
  explicit InfoReader(const DwarfSections& sections) : sections_(sections) {}

  DwarfInfo Read() {
    ByteReader section(sections_.Info, ".debug_info");
    while (!section.AtEnd()) ReadUnit(section);
    for (const auto& [offset, die] : dies_) {
      if (die.Tag == DW_TAG_subprogram) AddFunction(die);
    }
    return std::move(info_);
  }

 private:
  void ReadUnit(ByteReader& section) {
    UnitState unit;
    FormContext& context = unit.Context;
    context.Sections = &sections_;
    context.UnitOffset = section.Position();
    uint64_t length = section.U32();
    if (length == 0xffffffffu) {
      context.OffsetSize = 8;
      length = section.U64();
    } else if (length >= 0xfffffff0u) {
      section.Fail("reserved unit length");
    }
    ByteReader reader(section.Take(length), ".debug_info unit");
    // Unit-relative references count from the unit header; reads below use the unit's span,
    // so remember where that span starts in the section.
    const uint64_t bodyBase = section.Position() - length;
    context.Version = reader.U16();
    if (context.Version < 2 || context.Version > 5) {
      reader.Fail("unit version " + std::to_string(context.Version) + " is not supported");
    }
    uint8_t unitType = DW_UT_compile;
    uint64_t abbrevOffset;
    if (context.Version >= 5) {
      unitType = reader.U8();
      context.AddressSize = reader.U8();
      abbrevOffset = reader.Unsigned(context.OffsetSize);
      if (unitType == DW_UT_skeleton || unitType == DW_UT_split_compile) {
        reader.Skip(8);  // DWO id
      } else if (unitType == DW_UT_type || unitType == DW_UT_split_type) {
        return;  // type units hold no code
      } else if (unitType != DW_UT_compile && unitType != DW_UT_partial) {
        reader.Fail("unknown unit type " + std::to_string(unitType));
      }
      if (unitType == DW_UT_split_compile) return;  // lives in a separate file
    } else {
      abbrevOffset = reader.Unsigned(context.OffsetSize);
      context.AddressSize = reader.U8();
    }
    if (context.AddressSize != 4 && context.AddressSize != 8) {
      reader.Fail("address size " + std::to_string(context.AddressSize) + " is not supported");
    }
    auto cached = abbreviations_.find(abbrevOffset);
    if (cached == abbreviations_.end()) {
      cached =
          abbreviations_.emplace(abbrevOffset, ReadAbbreviations(sections_.Abbrev, abbrevOffset))
              .first;
    }
    const AbbreviationTable& abbreviations = cached->second;

    const size_t unitIndex = units_.size();
    DwarfUnit result;
    result.Offset = context.UnitOffset;
    result.Version = context.Version;
    result.AddressSize = context.AddressSize;

    std::vector<uint64_t> scopes;  // enclosing recorded DIE (or kNoDie) per open parent
    bool first = true;
    while (!reader.AtEnd()) {
      const uint64_t dieOffset = bodyBase + reader.Position();
      uint64_t code = reader.Uleb();
      if (code == 0) {
        if (!scopes.empty()) scopes.pop_back();
        continue;
      }
      auto found = abbreviations.find(code);
      if (found == abbreviations.end()) {
        reader.Fail("unknown abbreviation code " + std::to_string(code));
      }
      const Abbreviation& abbreviation = found->second;
      const bool record = IsScopeTag(abbreviation.Tag);
      Die die;
      die.Tag = abbreviation.Tag;
      die.Unit = unitIndex;
      die.Parent = scopes.empty() ? kNoDie : scopes.back();
      // Values are kept per attribute only where needed; everything else is skipped by size.
      std::map<uint64_t, FormValue> unitAttributes;
      for (const AttributeSpec& spec : abbreviation.Attributes) {
        FormValue value = ReadForm(reader, spec.Form, context, spec.ImplicitConst);
        if (first) {
          unitAttributes[spec.Attribute] = value;
          continue;
        }
        if (!record) continue;
        switch (spec.Attribute) {
          case DW_AT_name:
            if (value.Type == FormValue::kString) die.Name = value.String;
            break;
          case DW_AT_linkage_name:
          case DW_AT_MIPS_linkage_name:
            if (value.Type == FormValue::kString) die.LinkageName = value.String;
            break;
          case DW_AT_specification:
            if (value.Type == FormValue::kReference) die.DeclarationRef = value.Unsigned;
            break;
          case DW_AT_abstract_origin:
            if (value.Type == FormValue::kReference) die.Origin = value.Unsigned;
            break;
          case DW_AT_low_pc:
            die.LowPc = value;
            break;
          case DW_AT_high_pc:
            die.HighPc = value;
            break;
          case DW_AT_ranges:
            die.Ranges = value;
            break;
          default:
            break;
        }
      }
      if (first) {
        first = false;
        if (abbreviation.Tag != DW_TAG_compile_unit && abbreviation.Tag != DW_TAG_partial_unit &&
            abbreviation.Tag != DW_TAG_skeleton_unit) {
          reader.Fail("unit does not start with a unit entry");
        }
        ReadUnitEntry(unitAttributes, unit, result);
      } else if (record) {
        dies_[dieOffset] = std::move(die);
      }
      if (abbreviation.HasChildren) {
        scopes.push_back(record ? dieOffset : (scopes.empty() ? kNoDie : scopes.back()));
      }
    }
    units_.push_back(unit);
    info_.Units.push_back(std::move(result));
  }

  void ReadUnitEntry(std::map<uint64_t, FormValue>& attributes, UnitState& unit,
                     DwarfUnit& result) {
    FormContext& context = unit.Context;
    auto get = [&](uint64_t attribute) -> const FormValue* {
      auto it = attributes.find(attribute);
      return it == attributes.end() ? nullptr : &it->second;
    };
    if (const FormValue* value = get(DW_AT_str_offsets_base);
        value && value->Type != FormValue::kNone) {
      context.StrOffsetsBase = value->Unsigned;
      context.HasStrOffsetsBase = true;
    }
    const FormValue* addrBase = get(DW_AT_addr_base);
    if (!addrBase) addrBase = get(DW_AT_GNU_addr_base);
    if (addrBase && addrBase->Type != FormValue::kNone) {
      context.AddrBase = addrBase->Unsigned;
      context.HasAddrBase = true;
    }
    const FormValue* rngBase = get(DW_AT_rnglists_base);
    if (!rngBase) rngBase = get(DW_AT_GNU_ranges_base);
    if (rngBase && rngBase->Type != FormValue::kNone) {
      unit.RngListsBase = rngBase->Unsigned;
      unit.HasRngListsBase = true;
    }
    if (const FormValue* name = get(DW_AT_name)) {
      FormValue value = ResolveIndex(*name, context);
      if (value.Type == FormValue::kString) result.Name = value.String;
    }
    if (const FormValue* dir = get(DW_AT_comp_dir)) {
      FormValue value = ResolveIndex(*dir, context);
      if (value.Type == FormValue::kString) result.CompDir = value.String;
    }
    if (const FormValue* low = get(DW_AT_low_pc)) {
      FormValue value = ResolveIndex(*low, context);
      if (value.Type == FormValue::kAddress) unit.BaseAddress = value.Unsigned;
    }
    if (const FormValue* lines = get(DW_AT_stmt_list);
        lines && (lines->Type == FormValue::kSecOffset || lines->Type == FormValue::kUnsigned)) {
      result.HasLineTable = true;
      result.LineOffset = lines->Unsigned;
    }
  }

  const Die* Find(uint64_t offset) const {
    auto it = dies_.find(offset);
    return it == dies_.end() ? nullptr : &it->second;
  }

  // Follows DW_AT_specification and DW_AT_abstract_origin links to the DIE that declares the
  // entity.
  const Die* Declaration(const Die* die, std::string* name, std::string* linkage) const {
    for (int i = 0; i < kMaxChain; ++i) {
      if (name && name->empty()) *name = die->Name;
      if (linkage && linkage->empty()) *linkage = die->LinkageName;
      uint64_t next = die->DeclarationRef != kNoDie ? die->DeclarationRef : die->Origin;
      const Die* target = next == kNoDie ? nullptr : Find(next);
      if (!target) return die;
      die = target;
    }
    return die;
  }

  std::vector<std::string> ScopesOf(const Die* die) const {
    std::vector<std::string> scopes;
    uint64_t parent = die->Parent;
    for (int i = 0; i < kMaxChain && parent != kNoDie; ++i) {
      const Die* scope = Find(parent);
      if (!scope) break;
      std::string name;
      scope = Declaration(scope, &name, nullptr);
      if (name.empty()) {
        name = scope->Tag == DW_TAG_namespace ? "(anonymous namespace)" : "(anonymous)";
      }
      scopes.insert(scopes.begin(), name);
      parent = scope->Parent;
    }
    return scopes;
  }

  uint64_t Address(const FormValue& value, const FormContext& context) const {
    FormValue resolved = ResolveIndex(value, context);
    return resolved.Type == FormValue::kAddress ? resolved.Unsigned : 0;
  }

  void ReadRangesV4(uint64_t offset, const UnitState& unit, std::vector<AddressRange>& out) const {
    ByteReader reader(sections_.Ranges, ".debug_ranges");
    reader.Seek(offset);
    const unsigned size = unit.Context.AddressSize;
    const uint64_t selector = size == 4 ? 0xffffffffu : ~uint64_t{0};
    uint64_t base = unit.BaseAddress;
    for (;;) {
      uint64_t begin = reader.Unsigned(size);
      uint64_t end = reader.Unsigned(size);
      if (begin == 0 && end == 0) return;
      if (begin == selector) {
        base = end;
      } else if (end > begin) {
        out.push_back({base + begin, base + end});
      }
    }
  }

  void ReadRangesV5(uint64_t offset, const UnitState& unit, std::vector<AddressRange>& out) const {
    const FormContext& context = unit.Context;
    ByteReader reader(sections_.RngLists, ".debug_rnglists");
    reader.Seek(offset);
    const unsigned size = context.AddressSize;
    auto indexed = [&](uint64_t index) {
      FormValue value;
      value.Type = FormValue::kAddrIndex;
      value.Unsigned = index;
      value = ResolveIndex(value, context);
      if (value.Type != FormValue::kAddress) reader.Fail("indexed address without .debug_addr");
      return value.Unsigned;
    };
    auto add = [&](uint64_t begin, uint64_t end) {
      if (end > begin) out.push_back({begin, end});
    };
    uint64_t base = unit.BaseAddress;
    for (;;) {
      uint8_t kind = reader.U8();
      switch (kind) {
        case DW_RLE_end_of_list:
          return;
        case DW_RLE_base_addressx:
          base = indexed(reader.Uleb());
          break;
        case DW_RLE_startx_endx: {
          uint64_t begin = indexed(reader.Uleb());
          add(begin, indexed(reader.Uleb()));
          break;
        }
        case DW_RLE_startx_length: {
          uint64_t begin = indexed(reader.Uleb());
          add(begin, begin + reader.Uleb());
          break;
        }
        case DW_RLE_offset_pair: {
          uint64_t begin = reader.Uleb();
          add(base + begin, base + reader.Uleb());
          break;
        }
        case DW_RLE_base_address:
          base = reader.Unsigned(size);
          break;
        case DW_RLE_start_end: {
          uint64_t begin = reader.Unsigned(size);
          add(begin, reader.Unsigned(size));
          break;
        }
        case DW_RLE_start_length: {
          uint64_t begin = reader.Unsigned(size);
          add(begin, begin + reader.Uleb());
          break;
        }
        default:
          reader.Fail("unknown range-list entry " + std::to_string(kind));
      }
    }
  }

  void AddFunction(const Die& die) {
    const UnitState& unit = units_[die.Unit];
    const FormContext& context = unit.Context;
    DwarfFunction function;
    if (die.LowPc.Type != FormValue::kNone && die.HighPc.Type != FormValue::kNone) {
      uint64_t low = Address(die.LowPc, context);
      uint64_t high =
          die.HighPc.IsConstant() ? low + die.HighPc.Unsigned : Address(die.HighPc, context);
      if (high > low) function.Ranges.push_back({low, high});
    } else if (die.Ranges.Type == FormValue::kRnglistx) {
      if (!unit.HasRngListsBase) return;
      ByteReader offsets(sections_.RngLists, ".debug_rnglists offsets");
      uint64_t size = context.OffsetSize;
      if (die.Ranges.Unsigned > (UINT64_MAX - unit.RngListsBase) / size)
        offsets.Fail("index too big");
      offsets.Seek(unit.RngListsBase + die.Ranges.Unsigned * size);
      uint64_t relative = offsets.Unsigned(context.OffsetSize);
      if (relative > UINT64_MAX - unit.RngListsBase) offsets.Fail("offset too big");
      ReadRangesV5(unit.RngListsBase + relative, unit, function.Ranges);
    } else if (die.Ranges.Type == FormValue::kSecOffset ||
               die.Ranges.Type == FormValue::kUnsigned) {
      if (context.Version >= 5) {
        ReadRangesV5(die.Ranges.Unsigned, unit, function.Ranges);
      } else {
        ReadRangesV4(die.Ranges.Unsigned, unit, function.Ranges);
      }
    }
    if (function.Ranges.empty()) return;
    const Die* declaration = Declaration(&die, &function.Name, &function.LinkageName);
    function.Scopes = ScopesOf(declaration);
    info_.Functions.push_back(std::move(function));
  }

  const DwarfSections& sections_;
  std::unordered_map<uint64_t, AbbreviationTable> abbreviations_;
  std::map<uint64_t, Die> dies_;
  std::vector<UnitState> units_;
  DwarfInfo info_;
};

}  // namespace

DwarfSections DwarfSections::FromPe(const PeImage& image) {
  DwarfSections sections;
  sections.Info = image.Data(".debug_info");
  sections.Abbrev = image.Data(".debug_abbrev");
  sections.Line = image.Data(".debug_line");
  sections.Str = image.Data(".debug_str");
  sections.LineStr = image.Data(".debug_line_str");
  sections.Ranges = image.Data(".debug_ranges");
  sections.RngLists = image.Data(".debug_rnglists");
  sections.Addr = image.Data(".debug_addr");
  sections.StrOffsets = image.Data(".debug_str_offsets");
  return sections;
}

DwarfInfo ReadDwarfInfo(const DwarfSections& sections) { return InfoReader(sections).Read(); }

}  // namespace vl::tools
