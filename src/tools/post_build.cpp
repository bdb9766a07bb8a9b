#include "tools/post_build.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/module_options.h"
#include "datablock/data_block_reader.h"
#include "datablock/data_block_writer.h"
#include "debuginfo/debug_table.h"
#include "debuginfo/name_rules.h"
#include "tools/options_ini.h"
#include "tools/pe_resource.h"

namespace vl::tools {

namespace {

constexpr uint16_t kVersion = datablock::kLibraryDataVersion;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

size_t DwarfSectionBytes(const PeImage& image) {
  size_t total = 0;
  for (const PeSection& section : image.Sections()) {
    if (section.Name.compare(0, 7, ".debug_") == 0) total += image.Data(section).Size;
  }
  return total;
}

// The options stream and the options extension, from the INI file.
void OptionsBytes(const std::string& iniPath, std::vector<uint8_t>& stream,
                  std::vector<uint8_t>& extension) {
  TVantorModuleOptions options("", false);
  if (!iniPath.empty()) {
    std::vector<uint8_t> bytes = ReadFileBytes(iniPath);
    ApplyOptionsIni(std::string(bytes.begin(), bytes.end()), iniPath, options);
  }
  core::TMemoryStream s, x;
  options.SaveToStream(s);
  options.SaveExtension(x);
  stream = s.Data();
  extension = x.Data();
}

struct Region {
  size_t Begin;
  size_t End;
};

// The same headers, sections and bytes in [0, Size) except within the regions given.
void CheckUnmoved(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                  size_t size, const std::vector<Region>& changed) {
  PeImage a(before), b(after);
  bool same = a.ImageBase() == b.ImageBase() && a.EntryPoint() == b.EntryPoint() &&
              a.SizeOfImage() == b.SizeOfImage() && a.Sections().size() == b.Sections().size();
  for (size_t i = 0; same && i < a.Sections().size(); ++i) {
    const PeSection& x = a.Sections()[i];
    const PeSection& y = b.Sections()[i];
    same = x.Name == y.Name && x.VirtualAddress == y.VirtualAddress &&
           x.VirtualSize == y.VirtualSize && x.RawOffset == y.RawOffset && x.RawSize == y.RawSize &&
           x.Characteristics == y.Characteristics;
  }
  same = same && after.size() >= size;
  for (size_t i = 0; same && i < size; ++i) {
    if (before[i] == after[i]) continue;
    bool allowed = false;
    for (const Region& region : changed) allowed |= i >= region.Begin && i < region.End;
    same = allowed;
  }
  if (!same) throw EPostBuildError("placing the block would change the module's layout");
}

// Where the file's own bytes end: before a trailer it already carries.
size_t SizeWithoutTrailer(const std::vector<uint8_t>& bytes) {
  datablock::TMemoryBlockSource source(bytes.data(), bytes.size());
  if (!datablock::HasTrailerMagic(source) || bytes.size() < 8) return bytes.size();
  int32_t b;
  std::memcpy(&b, bytes.data() + bytes.size() - 8, 4);
  if (b < 0 || static_cast<uint64_t>(b) + 8 > bytes.size()) return bytes.size();
  return bytes.size() - 8 - static_cast<size_t>(b);
}

size_t ReadOptions(TVantorModuleOptions& options, const uint8_t* data, size_t size,
                   uint16_t version) {
  core::TMemoryStream stream(data, size);
  options.LoadFromStream(stream, version);
  return stream.Position();
}

void DumpUnits(const std::vector<uint8_t>& debugInfo, uint16_t version, bool lines,
               std::string& out) {
  TDebugTable table;
  if (!ReadDebugTable(debugInfo.data(), debugInfo.size(), version, table)) {
    out += "; the debug information is damaged\n";
    return;
  }
  out += "\n[Units]\n; " + std::to_string(table.Units.size()) + " units (RVA ranges), " +
         std::to_string(table.Index.size()) + " names in the index\n";
  // By address; the table lists code inlined from other files before the units around it.
  std::vector<const TDebugUnit*> units;
  for (const TDebugUnit& unit : table.Units) units.push_back(&unit);
  std::stable_sort(units.begin(), units.end(), [](const TDebugUnit* a, const TDebugUnit* b) {
    return a->StartOffset < b->StartOffset;
  });
  for (const TDebugUnit* each : units) {
    const TDebugUnit& unit = *each;
    const uint64_t begin = uint64_t{4096} + static_cast<uint32_t>(unit.StartOffset);
    out += Hex(begin) + "-" + Hex(begin + static_cast<uint32_t>(unit.CodeSize)) + " " + unit.Name +
           "\n";
    if (!lines) continue;
    // The records as the lookup reads them.
    uint64_t address = begin;
    uint32_t line = static_cast<uint32_t>(unit.FirstLine);
    TNameState names;
    std::string procedure;
    for (const TLineRecord& record : unit.Records) {
      if (record.Step.HasName) {
        ApplyRecordName(record.Name, names);
        if (procedure.empty()) procedure = names.ProcedureName;
      }
      if (record.Step.AddrStep > 0) {
        out += "  " + Hex(address) + " line " + std::to_string(line) + " " + names.ClassName +
               (names.ClassName.empty() ? "" : ".") + procedure + "\n";
      }
      procedure = names.ProcedureName;
      line += static_cast<uint32_t>(record.Step.LineStep);
      address += record.Step.AddrStep;
    }
    out += "  " + Hex(address) + " line " + std::to_string(line) + " " + names.ClassName +
           (names.ClassName.empty() ? "" : ".") + procedure + "\n";
  }
}

}  // namespace

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EPostBuildError("cannot open \"" + path + "\"");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) throw EPostBuildError("cannot read \"" + path + "\"");
  return bytes;
}

std::vector<uint8_t> MakePayload(const PeImage& image, const std::string& iniPath,
                                 AttachResult& result) {
  std::vector<uint8_t> options, extension;
  OptionsBytes(iniPath, options, extension);
  TDebugTable table = BuildDebugTable(BuildDebugModel(image), &result.Table);
  std::vector<uint8_t> debugInfo = WriteDebugTable(table, kVersion);
  result.DebugInfoSize = debugInfo.size();
  result.DwarfSize = DwarfSectionBytes(image);
  return datablock::BuildPayload(options, debugInfo, extension);
}

std::vector<uint8_t> AttachBlock(const std::vector<uint8_t>& bytes, const std::string& iniPath,
                                 BlockForm form, AttachResult& result) {
  result.Form = form;
  const size_t ownSize = SizeWithoutTrailer(bytes);
  std::vector<uint8_t> own(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(ownSize));
  PeImage image(own);
  std::vector<uint8_t> payload = MakePayload(image, iniPath, result);
  std::vector<uint8_t> out = own;
  ResourceLocation placeholder;
  const bool hasPlaceholder = FindRcData(image, datablock::kResourceName, placeholder);
  if (form == BlockForm::Trailer) {
    std::vector<uint8_t> trailer = datablock::BuildTrailer(payload, kVersion);
    result.BlockSize = trailer.size();
    std::vector<Region> changed;
    // A block already in the placeholder would win over the trailer at run time: clear it.
    if (hasPlaceholder &&
        datablock::HasResourceMagic(own.data() + placeholder.DataOffset, placeholder.Size)) {
      std::memset(out.data() + placeholder.DataOffset, 0, placeholder.Size);
      changed.push_back({placeholder.DataOffset, placeholder.DataOffset + placeholder.Size});
    }
    out.insert(out.end(), trailer.begin(), trailer.end());
    CheckUnmoved(own, out, own.size(), changed);
    return out;
  }
  if (!hasPlaceholder) {
    throw EPostBuildError(
        "the module has no placeholder resource RCDATA \"VLDATA\" (link one in, or use the "
        "trailer form)");
  }
  std::vector<uint8_t> block = datablock::BuildResourceBlock(payload, kVersion);
  result.BlockSize = block.size();
  result.PlaceholderSize = placeholder.Size;
  if (block.size() > placeholder.Size) {
    throw EPostBuildError("the block needs " + std::to_string(block.size()) +
                          " bytes, the placeholder resource holds " +
                          std::to_string(placeholder.Size) + ": make the placeholder larger");
  }
  // The block over the placeholder's start, zeros after it; the resource's size becomes the
  // block's. Nothing else moves.
  std::memcpy(out.data() + placeholder.DataOffset, block.data(), block.size());
  std::memset(out.data() + placeholder.DataOffset + block.size(), 0,
              placeholder.Size - block.size());
  uint32_t size = static_cast<uint32_t>(block.size());
  std::memcpy(out.data() + placeholder.DataEntryOffset + 4, &size, 4);
  CheckUnmoved(own, out, own.size(),
               {{placeholder.DataEntryOffset + 4, placeholder.DataEntryOffset + 8},
                {placeholder.DataOffset, placeholder.DataOffset + placeholder.Size}});
  return out;
}

AttachResult AttachBlockToFile(const std::string& modulePath, const std::string& iniPath,
                               BlockForm form) {
  AttachResult result;
  std::vector<uint8_t> out = AttachBlock(ReadFileBytes(modulePath), iniPath, form, result);
  // Written beside the module and renamed over it: a failure leaves the module as it was.
  const std::string temporary = modulePath + ".vlnew";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    file.close();
    if (file.fail()) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw EPostBuildError("cannot write \"" + temporary + "\"");
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, modulePath, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw EPostBuildError("cannot replace \"" + modulePath + "\": " + error.message());
  }
  return result;
}

std::string DumpBlock(const std::vector<uint8_t>& bytes, bool lines) {
  TVantorModuleOptions options("", false);
  auto reader = [&options](const uint8_t* data, size_t size, uint16_t version) {
    return ReadOptions(options, data, size, version);
  };
  datablock::TBlockResult found;
  std::string form;
  datablock::TMemoryBlockSource source(bytes.data(), bytes.size());
  PeImage image(bytes);
  ResourceLocation resource;
  // A damaged resource directory does not hide a trailer.
  bool hasResource = false;
  std::string resourceError;
  try {
    hasResource = FindRcData(image, datablock::kResourceName, resource);
  } catch (const EDebugFormatError& e) {
    resourceError = std::string("; its resources are unreadable: ") + e.what();
  }
  if (hasResource &&
      datablock::HasResourceMagic(bytes.data() + resource.DataOffset, resource.Size)) {
    form = "resource";
    found = datablock::ReadResourceBlock(bytes.data() + resource.DataOffset, resource.Size, reader);
  } else if (datablock::HasTrailerMagic(source)) {
    form = "trailer";
    found = datablock::ReadTrailerBlock(source, reader);
  } else {
    throw EPostBuildError("the module carries no data block" + resourceError);
  }
  if (!found.Found)
    throw EPostBuildError("the module's " + form + " block is damaged: " + found.Reason);
  try {
    options.LoadExtension(found.Block.Extension.data(), found.Block.Extension.size());
  } catch (const std::exception& e) {
    throw EPostBuildError("the module's " + form + " block is damaged: " + e.what());
  }
  std::string out = "; data block: " + form + " form, version " +
                    std::to_string(found.Block.DataVersion) + ", " +
                    std::to_string(found.Block.DebugInfo.size()) + " bytes of debug information\n";
  out += WriteOptionsIni(options);
  DumpUnits(found.Block.DebugInfo, found.Block.DataVersion, lines, out);
  return out;
}

}  // namespace vl::tools
