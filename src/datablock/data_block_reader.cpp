#include "datablock/data_block_reader.h"

#include <exception>
#include <new>
#include <vector>

#include "binary/checked_reader.h"
#include "datablock/data_version.h"
#include "zlibwrap/decompress.h"

namespace vl::datablock {

namespace {

using TBlockReader = binary::TCheckedReader<EDataBlockError>;
using binary::LoadU16;
using binary::LoadU32;

// Runs a reading step; any failure makes the block count as absent, with the reason, and
// leaves the process-wide data version as it was.
template <class Step>
TBlockResult Guarded(const char* form, Step step) {
  TBlockResult result;
  uint16_t versionBefore = CurrentDataVersion();
  try {
    step(result.Block);
    result.Found = true;
  } catch (const std::bad_alloc&) {
    result.Reason = Format("%s: out of memory", form);
  } catch (const std::exception& e) {
    result.Reason = Format("%s: %s", form, e.what());
  } catch (...) {
    result.Reason = Format("%s: unknown failure", form);
  }
  if (!result.Found) {
    result.Block = TDataBlock();
    SetCurrentDataVersion(versionBefore);
  }
  return result;
}

}  // namespace

void ReadPayload(const uint8_t* data, size_t size, uint16_t version,
                 const TOptionsReader& readOptions, TDataBlock& block) {
  TBlockReader in(data, size, "the payload");
  size_t used = readOptions(in.Current(), in.Remaining(), version);
  in.Skip(used, "options stream");
  int32_t length = in.I32("debug information length");
  if (length < 0)
    throw EDataBlockError(Format("negative debug information length %d", static_cast<int>(length)));
  const binary::TByteSpan debug = in.Take(static_cast<uint32_t>(length), "debug information");
  block.DebugInfo.assign(debug.Data, debug.Data + debug.Size);
  block.Extension.assign(in.Current(), in.Current() + in.Remaining());
}

bool HasResourceMagic(const uint8_t* data, size_t size) {
  return data && size >= 4 && LoadU32(data) == kMagic;
}

TBlockResult ReadResourceBlock(const uint8_t* data, size_t size, const TOptionsReader& readOptions,
                               size_t maxPayload) {
  return Guarded("resource block", [&](TDataBlock& block) {
    if (!HasResourceMagic(data, size)) throw EDataBlockError("no magic number");
    TBlockReader in(data, size, "the resource");
    in.Skip(4, "magic");
    block.DataVersion = in.U16("data version");
    SetCurrentDataVersion(block.DataVersion);
    block.Reserved1 = in.I32("reserved values");
    block.Reserved2 = in.I32("reserved values");
    if (block.DataVersion >= kFirstCompressedVersion) {
      std::vector<uint8_t> payload =
          zlibwrap::DecompressBuf(in.Current(), in.Remaining(), maxPayload);
      ReadPayload(payload.data(), payload.size(), block.DataVersion, readOptions, block);
    } else {
      ReadPayload(in.Current(), in.Remaining(), block.DataVersion, readOptions, block);
    }
  });
}

bool HasTrailerMagic(TBlockSource& file) {
  uint64_t size = file.Size();
  uint8_t tail[4];
  return size >= 4 && file.ReadAt(size - 4, tail, 4) && LoadU32(tail) == kMagic;
}

TBlockResult ReadTrailerBlock(TBlockSource& file, const TOptionsReader& readOptions,
                              size_t maxPayload) {
  return Guarded("trailer block", [&](TDataBlock& block) {
    uint64_t size = file.Size();
    uint8_t tail[kTrailerTailSize];
    if (size < kTrailerTailSize || !file.ReadAt(size - kTrailerTailSize, tail, sizeof tail))
      throw EDataBlockError("file too short for a trailer");
    if (LoadU32(tail + 4) != kMagic) throw EDataBlockError("no magic number");
    int32_t b = static_cast<int32_t>(LoadU32(tail));
    if (b < static_cast<int32_t>(kTrailerHeaderSize))
      throw EDataBlockError(Format("trailer length %d is too small", static_cast<int>(b)));
    if (static_cast<uint64_t>(b) > size - kTrailerTailSize)
      throw EDataBlockError(Format("trailer length %d exceeds the file", static_cast<int>(b)));
    size_t payloadSize = static_cast<size_t>(b) - kTrailerHeaderSize;
    if (payloadSize > maxPayload)
      throw EDataBlockError(Format("trailer length %d exceeds the limit", static_cast<int>(b)));
    uint64_t start = size - kTrailerTailSize - static_cast<uint64_t>(b);

    uint8_t header[kTrailerHeaderSize];
    if (!file.ReadAt(start, header, sizeof header))
      throw EDataBlockError("cannot read the trailer header");
    block.DataVersion = LoadU16(header);
    SetCurrentDataVersion(block.DataVersion);
    block.Reserved1 = static_cast<int32_t>(LoadU32(header + 2));
    block.Reserved2 = static_cast<int32_t>(LoadU32(header + 6));

    std::vector<uint8_t> payload(payloadSize);
    if (!file.ReadAt(start + kTrailerHeaderSize, payload.data(), payloadSize))
      throw EDataBlockError("cannot read the trailer payload");
    ReadPayload(payload.data(), payload.size(), block.DataVersion, readOptions, block);
  });
}

}  // namespace vl::datablock
