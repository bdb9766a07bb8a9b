// The line-number program of .debug_line, versions 2 to 5.
#include <limits>

#include "tools/dwarf.h"
#include "tools/dwarf_forms.h"

namespace vl::tools {

namespace {

using namespace dwarf;

// Standard opcodes.
enum : uint8_t {
  DW_LNS_copy = 1,
  DW_LNS_advance_pc = 2,
  DW_LNS_advance_line = 3,
  DW_LNS_set_file = 4,
  DW_LNS_set_column = 5,
  DW_LNS_negate_stmt = 6,
  DW_LNS_set_basic_block = 7,
  DW_LNS_const_add_pc = 8,
  DW_LNS_fixed_advance_pc = 9,
  DW_LNS_set_prologue_end = 10,
  DW_LNS_set_epilogue_begin = 11,
  DW_LNS_set_isa = 12,
};
// Extended opcodes.
enum : uint8_t {
  DW_LNE_end_sequence = 1,
  DW_LNE_set_address = 2,
  DW_LNE_define_file = 3,
  DW_LNE_set_discriminator = 4,
};
// Content types of version 5 directory and file entries.
enum : uint64_t {
  DW_LNCT_path = 1,
  DW_LNCT_directory_index = 2,
};

bool IsAbsolute(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

struct Entry {
  std::string Path;
  uint64_t Directory = 0;
};

// Version 5: a list of entries described by (content type, form) pairs.
std::vector<Entry> ReadEntries(ByteReader& reader, const FormContext& context) {
  uint8_t formatCount = reader.U8();
  std::vector<std::pair<uint64_t, uint64_t>> format;
  for (uint8_t i = 0; i < formatCount; ++i) {
    uint64_t type = reader.Uleb();
    uint64_t form = reader.Uleb();
    format.emplace_back(type, form);
  }
  uint64_t count = reader.Uleb();
  // Every real entry takes at least one byte; this also stops a count over empty formats.
  if (count > reader.Remaining()) reader.Fail("entry count exceeds the table");
  std::vector<Entry> entries;
  for (uint64_t i = 0; i < count; ++i) {
    Entry entry;
    for (const auto& [type, form] : format) {
      if (form == DW_FORM_implicit_const) reader.Fail("implicit constant in a line-table entry");
      FormValue value = ReadForm(reader, form, context, 0);
      if (type == DW_LNCT_path) {
        if (value.Type != FormValue::kString) reader.Fail("file path is not a string");
        entry.Path = value.String;
      } else if (type == DW_LNCT_directory_index) {
        if (value.Type != FormValue::kUnsigned) reader.Fail("directory index is not a constant");
        entry.Directory = value.Unsigned;
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

std::string NormalizePath(const std::string& path) {
  std::string prefix;
  size_t start = 0;
  if (path.size() >= 2 && path[1] == ':' && IsAbsolute(path)) {
    prefix = path.substr(0, 2);
    start = 2;
  }
  bool rooted = start < path.size() && (path[start] == '/' || path[start] == '\\');
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/' || path[i] == '\\') {
      if (part == "..") {
        if (!parts.empty() && parts.back() != "..") {
          parts.pop_back();
        } else if (!rooted) {
          parts.push_back(part);
        }
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part += path[i];
    }
  }
  std::string result = prefix + (rooted ? "/" : "");
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) result += '/';
    result += parts[i];
  }
  return result;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || IsAbsolute(name)) return name;
  return dir + "/" + name;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

LineTable ReadLineTable(const DwarfSections& sections, uint64_t offset, const std::string& compDir,
                        unsigned addressSize) {
  LineTable table;
  table.Offset = offset;
  ByteReader section(sections.Line, ".debug_line");
  section.Seek(offset);

  FormContext context;
  context.Sections = &sections;
  context.AddressSize = addressSize;
  uint64_t length = section.U32();
  if (length == 0xffffffffu) {
    context.OffsetSize = 8;
    length = section.U64();
  } else if (length >= 0xfffffff0u) {
    section.Fail("reserved unit length");
  }
  ByteReader reader(section.Take(length), ".debug_line unit");
  table.Version = reader.U16();
  context.Version = table.Version;
  if (table.Version < 2 || table.Version > 5) {
    reader.Fail("line table version " + std::to_string(table.Version) + " is not supported");
  }
  if (table.Version >= 5) {
    context.AddressSize = reader.U8();
    reader.U8();  // segment selector size
  }
  if (context.AddressSize != 4 && context.AddressSize != 8) {
    reader.Fail("address size " + std::to_string(context.AddressSize) + " is not supported");
  }
  uint64_t headerLength = reader.Unsigned(context.OffsetSize);
  ByteReader header(reader.Take(headerLength), ".debug_line header");
  ByteReader program(reader.Take(reader.Remaining()), ".debug_line program");

  uint8_t minInstLength = header.U8();
  if (table.Version >= 4) header.U8();  // maximum operations per instruction: 1 on x86
  bool defaultIsStmt = header.U8() != 0;
  (void)defaultIsStmt;
  int8_t lineBase = header.S8();
  uint8_t lineRange = header.U8();
  uint8_t opcodeBase = header.U8();
  if (lineRange == 0) header.Fail("line range 0");
  if (opcodeBase == 0) header.Fail("opcode base 0");
  std::vector<uint8_t> opcodeLengths(opcodeBase, 0);
  for (unsigned i = 1; i < opcodeBase; ++i) opcodeLengths[i] = header.U8();

  // Directory and file names; Files is indexed by the file register (minus 1 before version 5,
  // whose file numbers start at 1).
  std::vector<std::string> directories;
  std::vector<Entry> files;
  if (table.Version >= 5) {
    for (Entry& dir : ReadEntries(header, context)) directories.push_back(dir.Path);
    if (directories.empty()) directories.push_back(compDir);
    if (directories[0].empty()) directories[0] = compDir;
    files = ReadEntries(header, context);
    for (size_t i = 1; i < directories.size(); ++i) {
      directories[i] = JoinPath(directories[0], directories[i]);
    }
  } else {
    directories.push_back(compDir);
    for (;;) {
      std::string dir = header.CString();
      if (dir.empty()) break;
      directories.push_back(JoinPath(compDir, dir));
    }
    for (;;) {
      Entry file;
      file.Path = header.CString();
      if (file.Path.empty()) break;
      file.Directory = header.Uleb();
      header.Uleb();  // modification time
      header.Uleb();  // length
      files.push_back(std::move(file));
    }
  }
  auto addFile = [&](const Entry& file) {
    std::string dir = file.Directory < directories.size() ? directories[file.Directory] : "";
    table.Files.push_back(NormalizePath(JoinPath(dir, file.Path)));
  };
  for (const Entry& file : files) addFile(file);
  const uint64_t fileBase = table.Version >= 5 ? 0 : 1;

  // The state machine.
  uint64_t address = 0;
  uint64_t file = 1;
  int64_t line = 1;
  auto reset = [&] {
    address = 0;
    file = 1;
    line = 1;
  };
  auto emit = [&](bool endSequence) {
    if (line < 0 || line > std::numeric_limits<uint32_t>::max()) {
      program.Fail("line " + std::to_string(line) + " out of range");
    }
    LineRow row;
    row.Address = address;
    row.Line = static_cast<uint32_t>(line);
    row.EndSequence = endSequence;
    if (file >= fileBase && file - fileBase < table.Files.size()) {
      row.File = static_cast<uint32_t>(file - fileBase);
    }
    table.Rows.push_back(row);
  };
  auto advanceLine = [&](int64_t delta) {
    if ((delta > 0 && line > std::numeric_limits<int64_t>::max() - delta) ||
        (delta < 0 && line < std::numeric_limits<int64_t>::min() - delta)) {
      program.Fail("line advance overflows");
    }
    line += delta;
  };
  const uint64_t addressMask = context.AddressSize == 4 ? 0xffffffffu : ~uint64_t{0};
  auto advanceAddress = [&](uint64_t operations) {
    address = (address + operations * minInstLength) & addressMask;
  };

  while (!program.AtEnd()) {
    uint8_t opcode = program.U8();
    if (opcode >= opcodeBase) {
      unsigned adjusted = opcode - opcodeBase;
      advanceAddress(adjusted / lineRange);
      advanceLine(lineBase + static_cast<int>(adjusted % lineRange));
      emit(false);
      continue;
    }
    switch (opcode) {
      case 0: {
        uint64_t size = program.Uleb();
        ByteReader extended(program.Take(size), ".debug_line extended opcode");
        if (size == 0) break;
        uint8_t code = extended.U8();
        if (code == DW_LNE_end_sequence) {
          emit(true);
          reset();
        } else if (code == DW_LNE_set_address) {
          size_t operand = extended.Remaining();
          if (operand == 0 || operand > 8) extended.Fail("address operand size");
          address = extended.Unsigned(static_cast<unsigned>(operand));
        } else if (code == DW_LNE_define_file && table.Version < 5) {
          Entry entry;
          entry.Path = extended.CString();
          entry.Directory = extended.Uleb();
          addFile(entry);
        }
        // Other extended opcodes (discriminators, vendor extensions) are skipped by size.
        break;
      }
      case DW_LNS_copy:
        emit(false);
        break;
      case DW_LNS_advance_pc:
        advanceAddress(program.Uleb());
        break;
      case DW_LNS_advance_line:
        advanceLine(program.Sleb());
        break;
      case DW_LNS_set_file:
        file = program.Uleb();
        break;
      case DW_LNS_const_add_pc:
        advanceAddress((255u - opcodeBase) / lineRange);
        break;
      case DW_LNS_fixed_advance_pc:
        address = (address + program.U16()) & addressMask;
        break;
      case DW_LNS_negate_stmt:
      case DW_LNS_set_basic_block:
      case DW_LNS_set_prologue_end:
      case DW_LNS_set_epilogue_begin:
        if (opcodeLengths[opcode] == 0) break;
        [[fallthrough]];
      default:
        // Column, ISA and unknown standard opcodes: skip their LEB128 operands.
        for (unsigned i = 0; i < opcodeLengths[opcode]; ++i) program.Uleb();
        break;
    }
  }
  return table;
}

}  // namespace vl::tools
