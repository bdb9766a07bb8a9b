#include "tools/pe_resource.h"

namespace vl::tools {

namespace {

constexpr size_t kResourceDirectory = 2;
constexpr uint32_t kRcDataType = 10;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr uint32_t kNamedFlag = 0x80000000u;

struct Entry {
  uint32_t Name;
  uint32_t Target;
};

class ResourceReader {
 public:
  ResourceReader(ByteSpan root) : root_(root) {}

  // The entries of the directory at Offset (from the root).
  std::vector<Entry> Entries(uint32_t offset) const {
    ByteReader reader(SpanFrom(root_, offset, "resource directory"), "resource directory");
    reader.Skip(12);
    uint32_t count = uint32_t{reader.U16()} + reader.U16();
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < count; ++i) {
      Entry entry;
      entry.Name = reader.U32();
      entry.Target = reader.U32();
      entries.push_back(entry);
    }
    return entries;
  }

  // The UTF-16 name at Offset, narrowed (resource names here are ASCII).
  std::string Name(uint32_t offset) const {
    ByteReader reader(SpanFrom(root_, offset, "resource name"), "resource name");
    uint16_t length = reader.U16();
    std::string name;
    for (uint16_t i = 0; i < length; ++i) {
      uint16_t c = reader.U16();
      name += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return name;
  }

 private:
  ByteSpan root_;
};

bool SameName(std::string a, std::string b) {
  for (char& c : a) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  for (char& c : b) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return a == b;
}

}  // namespace

bool FindRcData(const PeImage& image, const std::string& name, ResourceLocation& location) {
  DataDirectory directory = image.Directory(kResourceDirectory);
  if (directory.VirtualAddress == 0 || directory.Size == 0) return false;
  uint32_t rootOffset;
  if (!image.FileOffsetOf(directory.VirtualAddress, 16, rootOffset)) {
    throw EDebugFormatError("the resource directory lies outside the file");
  }
  const std::vector<uint8_t>& bytes = image.Bytes();
  ByteSpan file{bytes.data(), bytes.size()};
  // The directory's offsets count from its root; its data lies in the same section.
  const PeSection* section = nullptr;
  for (const PeSection& s : image.Sections()) {
    if (directory.VirtualAddress >= s.VirtualAddress &&
        directory.VirtualAddress - s.VirtualAddress < s.RawSize) {
      section = &s;
    }
  }
  if (!section) throw EDebugFormatError("the resource directory lies outside the file");
  ByteSpan root = SubSpan(file, rootOffset, section->RawOffset + section->RawSize - rootOffset,
                          "resource section");
  ResourceReader reader(root);

  auto descend = [&](uint32_t target) {
    if (!(target & kSubdirectoryFlag)) throw EDebugFormatError("resource tree too shallow");
    return target & ~kSubdirectoryFlag;
  };
  for (const Entry& type : reader.Entries(0)) {
    if ((type.Name & kNamedFlag) || type.Name != kRcDataType) continue;
    for (const Entry& named : reader.Entries(descend(type.Target))) {
      if (!(named.Name & kNamedFlag) || !SameName(reader.Name(named.Name & ~kNamedFlag), name)) {
        continue;
      }
      std::vector<Entry> languages = reader.Entries(descend(named.Target));
      if (languages.empty()) continue;
      if (languages.front().Target & kSubdirectoryFlag) {
        throw EDebugFormatError("resource tree too deep");
      }
      uint32_t entryOffset = languages.front().Target;
      ByteReader entry(SubSpan(root, entryOffset, 16, "resource data entry"),
                       "resource data entry");
      uint32_t rva = entry.U32();
      uint32_t size = entry.U32();
      location.DataEntryOffset = rootOffset + entryOffset;
      location.Size = size;
      if (!image.FileOffsetOf(rva, size, location.DataOffset)) {
        throw EDebugFormatError("resource \"" + name + "\" lies outside the file");
      }
      return true;
    }
  }
  return false;
}

}  // namespace vl::tools
