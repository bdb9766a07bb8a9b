#include "hooking/x86_decoder.h"

namespace vl::hooking {

namespace {

constexpr size_t kMaxInstructionLength = 15;

class TDecoder {
 public:
  TDecoder(const uint8_t* code, size_t available, TCpuMode mode)
      : code_(code),
        limit_(available < kMaxInstructionLength ? available : kMaxInstructionLength),
        x64_(mode == TCpuMode::cmX64) {}

  bool Decode(TInstruction& out);

 private:
  bool Next(uint8_t& b) {
    if (pos_ >= limit_) return false;
    b = code_[pos_++];
    return true;
  }
  bool Skip(size_t n) {
    pos_ += n;
    return pos_ <= limit_;
  }
  size_t ImmZ() const { return opsize16_ ? 2 : 4; }
  bool ModRM();
  bool ModRMImm(size_t immediate) { return ModRM() && Skip(immediate); }
  bool Finish(TInstruction& out, TInstructionKind kind) {
    if (pos_ > limit_) return false;
    out.Length = static_cast<uint8_t>(pos_);
    out.Kind = kind;
    out.RelOffset = relOffset_;
    out.RipDispOffset = ripDispOffset_;
    return true;
  }
  bool OneByte(uint8_t op, TInstruction& out);
  bool TwoByte(TInstruction& out);

  const uint8_t* code_;
  size_t limit_;
  bool x64_;
  size_t pos_ = 0;
  bool opsize16_ = false;
  bool addrPrefix_ = false;
  bool rexW_ = false;
  uint8_t reg_ = 0;  // reg field of the last ModRM byte
  uint8_t mod_ = 0;  // mod field of the last ModRM byte
  uint8_t relOffset_ = 0;
  uint8_t ripDispOffset_ = 0;
};

bool TDecoder::ModRM() {
  uint8_t m;
  if (!Next(m)) return false;
  mod_ = m >> 6;
  reg_ = (m >> 3) & 7;
  uint8_t rm = m & 7;
  if (mod_ == 3) return true;
  size_t disp = 0;
  if (!x64_ && addrPrefix_) {  // 16-bit addressing
    if (mod_ == 0 && rm == 6) disp = 2;
    if (mod_ == 1) disp = 1;
    if (mod_ == 2) disp = 2;
    return Skip(disp);
  }
  if (rm == 4) {
    uint8_t sib;
    if (!Next(sib)) return false;
    if ((sib & 7) == 5 && mod_ == 0) disp = 4;
  }
  if (mod_ == 0 && rm == 5) {
    disp = 4;
    if (x64_) {
      if (addrPrefix_) return false;  // EIP-relative: not worth moving
      ripDispOffset_ = static_cast<uint8_t>(pos_);
    }
  }
  if (mod_ == 1) disp = 1;
  if (mod_ == 2) disp = 4;
  return Skip(disp);
}

bool TDecoder::Decode(TInstruction& out) {
  uint8_t b;
  for (;;) {
    if (!Next(b)) return false;
    if (b == 0x66) {
      opsize16_ = true;
    } else if (b == 0x67) {
      addrPrefix_ = true;
    } else if (b == 0xF0 || b == 0xF2 || b == 0xF3 || b == 0x26 || b == 0x2E || b == 0x36 ||
               b == 0x3E || b == 0x64 || b == 0x65) {
      // lock, repeat and segment prefixes do not change the length
    } else {
      break;
    }
  }
  if (x64_ && (b & 0xF0) == 0x40) {
    rexW_ = (b & 8) != 0;
    if (!Next(b)) return false;
  }
  return OneByte(b, out);
}

bool TDecoder::OneByte(uint8_t op, TInstruction& out) {
  using K = TInstructionKind;
  const K plain = K::ikPlain;
  if (op < 0x40) {
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
      case 3:
        return ModRM() && Finish(out, plain);
      case 4:
        return Skip(1) && Finish(out, plain);
      case 5:
        return Skip(ImmZ()) && Finish(out, plain);
      default:
        break;
    }
    if (op == 0x0F) return TwoByte(out);
    // push/pop of segment registers and the decimal adjustments exist in 32-bit mode only;
    // 26, 2E, 36, 3E are prefixes and arrive here only after a REX byte.
    if (x64_ || op == 0x26 || op == 0x2E || op == 0x36 || op == 0x3E) return false;
    return Finish(out, plain);
  }
  if (op < 0x50) return !x64_ && Finish(out, plain);  // inc/dec (REX bytes in 64-bit mode)
  if (op < 0x60) return Finish(out, plain);           // push/pop
  if (op >= 0x70 && op <= 0x7F) return Skip(1) && Finish(out, K::ikShortBranch);
  if (op >= 0x91 && op <= 0x99) return Finish(out, plain);
  if (op >= 0xB0 && op <= 0xB7) return Skip(1) && Finish(out, plain);
  if (op >= 0xB8 && op <= 0xBF) return Skip(x64_ && rexW_ ? 8 : ImmZ()) && Finish(out, plain);
  if (op >= 0xD8 && op <= 0xDF) return ModRM() && Finish(out, plain);  // x87
  switch (op) {
    case 0x60:
    case 0x61:
      return !x64_ && Finish(out, plain);
    case 0x62:  // bound (EVEX in 64-bit mode)
      return !x64_ && ModRM() && mod_ != 3 && Finish(out, plain);
    case 0x63:  // arpl / movsxd
      return ModRM() && Finish(out, plain);
    case 0x68:
      return Skip(ImmZ()) && Finish(out, plain);
    case 0x69:
      return ModRMImm(ImmZ()) && Finish(out, plain);
    case 0x6A:
      return Skip(1) && Finish(out, plain);
    case 0x6B:
      return ModRMImm(1) && Finish(out, plain);
    case 0x6C:
    case 0x6D:
    case 0x6E:
    case 0x6F:
      return Finish(out, plain);
    case 0x80:
    case 0x83:
      return ModRMImm(1) && Finish(out, plain);
    case 0x81:
      return ModRMImm(ImmZ()) && Finish(out, plain);
    case 0x82:
      return !x64_ && ModRMImm(1) && Finish(out, plain);
    case 0x84:
    case 0x85:
    case 0x86:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8A:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0x8E:
      return ModRM() && Finish(out, plain);
    case 0x8F:  // pop r/m (other reg values are XOP)
      return ModRM() && reg_ == 0 && Finish(out, plain);
    case 0x90:
      return Finish(out, plain);
    case 0x9A:  // far call
      return !x64_ && Skip(ImmZ() + 2) && Finish(out, K::ikUnmovable);
    case 0x9B:
    case 0x9C:
    case 0x9D:
    case 0x9E:
    case 0x9F:
      return Finish(out, plain);
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA3: {
      size_t offset = x64_ ? (addrPrefix_ ? 4 : 8) : (addrPrefix_ ? 2 : 4);
      return Skip(offset) && Finish(out, plain);
    }
    case 0xA4:
    case 0xA5:
    case 0xA6:
    case 0xA7:
    case 0xAA:
    case 0xAB:
    case 0xAC:
    case 0xAD:
    case 0xAE:
    case 0xAF:
      return Finish(out, plain);
    case 0xA8:
      return Skip(1) && Finish(out, plain);
    case 0xA9:
      return Skip(ImmZ()) && Finish(out, plain);
    case 0xC0:
    case 0xC1:
      return ModRMImm(1) && Finish(out, plain);
    case 0xC2:
      return Skip(2) && Finish(out, K::ikReturn);
    case 0xC3:
      return Finish(out, K::ikReturn);
    case 0xC4:  // les/lds (VEX prefixes in 64-bit mode and with a register operand)
    case 0xC5:
      return !x64_ && ModRM() && mod_ != 3 && Finish(out, plain);
    case 0xC6:
      return ModRMImm(1) && reg_ == 0 && Finish(out, plain);
    case 0xC7:
      return ModRMImm(ImmZ()) && reg_ == 0 && Finish(out, plain);
    case 0xC8:
      return Skip(3) && Finish(out, plain);
    case 0xC9:
      return Finish(out, plain);
    case 0xCA:
      return Skip(2) && Finish(out, K::ikReturn);
    case 0xCB:
    case 0xCF:
      return Finish(out, K::ikReturn);
    case 0xCC:
      return Finish(out, K::ikUnmovable);
    case 0xCD:
      return Skip(1) && Finish(out, plain);
    case 0xCE:
      return !x64_ && Finish(out, plain);
    case 0xD0:
    case 0xD1:
    case 0xD2:
    case 0xD3:
      return ModRM() && Finish(out, plain);
    case 0xD4:
    case 0xD5:
      return !x64_ && Skip(1) && Finish(out, plain);
    case 0xD7:
      return Finish(out, plain);
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE3:
    case 0xEB:
      return Skip(1) && Finish(out, K::ikShortBranch);
    case 0xE4:
    case 0xE5:
    case 0xE6:
    case 0xE7:
      return Skip(1) && Finish(out, plain);
    case 0xE8:
    case 0xE9: {
      if (opsize16_) return Skip(2) && Finish(out, K::ikUnmovable);
      relOffset_ = static_cast<uint8_t>(pos_);
      return Skip(4) && Finish(out, op == 0xE8 ? K::ikCallRel32 : K::ikJmpRel32);
    }
    case 0xEA:
      return !x64_ && Skip(ImmZ() + 2) && Finish(out, K::ikUnmovable);
    case 0xEC:
    case 0xED:
    case 0xEE:
    case 0xEF:
    case 0xF1:
    case 0xF4:
    case 0xF5:
    case 0xF8:
    case 0xF9:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFD:
      return Finish(out, plain);
    case 0xF6:
      return ModRM() && Skip(reg_ < 2 ? 1 : 0) && Finish(out, plain);
    case 0xF7:
      return ModRM() && Skip(reg_ < 2 ? ImmZ() : 0) && Finish(out, plain);
    case 0xFE:
      return ModRM() && reg_ < 2 && Finish(out, plain);
    case 0xFF:
      if (!ModRM()) return false;
      switch (reg_) {
        case 2:
        case 3:
          return Finish(out, K::ikCallIndirect);
        case 4:
        case 5:
          return Finish(out, K::ikJmpIndirect);
        case 7:
          return false;
        default:
          return Finish(out, plain);
      }
    default:
      return false;  // prefixes after REX, salc, and anything unknown
  }
}

bool TDecoder::TwoByte(TInstruction& out) {
  using K = TInstructionKind;
  const K plain = K::ikPlain;
  uint8_t op;
  if (!Next(op)) return false;
  if (op >= 0x20 && op <= 0x23) {  // mov to/from control and debug registers: register form only
    uint8_t modrm;
    return Next(modrm) && Finish(out, plain);
  }
  if ((op >= 0x10 && op <= 0x1F) || (op >= 0x28 && op <= 0x2F) || (op >= 0x40 && op <= 0x6F) ||
      (op >= 0x74 && op <= 0x76) || (op >= 0x90 && op <= 0x9F) || op >= 0xD0) {
    return ModRM() && Finish(out, plain);
  }
  if (op >= 0x80 && op <= 0x8F) {
    if (opsize16_) return Skip(2) && Finish(out, K::ikUnmovable);
    relOffset_ = static_cast<uint8_t>(pos_);
    return Skip(4) && Finish(out, K::ikJccRel32);
  }
  if (op >= 0xC8 && op <= 0xCF) return Finish(out, plain);  // bswap
  switch (op) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x0D:
    case 0x78:
    case 0x79:
    case 0x7C:
    case 0x7D:
    case 0x7E:
    case 0x7F:
    case 0xA3:
    case 0xA5:
    case 0xAB:
    case 0xAD:
    case 0xAE:
    case 0xAF:
    case 0xB0:
    case 0xB1:
    case 0xB2:
    case 0xB3:
    case 0xB4:
    case 0xB5:
    case 0xB6:
    case 0xB7:
    case 0xB8:
    case 0xB9:
    case 0xBB:
    case 0xBC:
    case 0xBD:
    case 0xBE:
    case 0xBF:
    case 0xC0:
    case 0xC1:
    case 0xC3:
    case 0xC7:
      return ModRM() && Finish(out, plain);
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73:
    case 0xA4:
    case 0xAC:
    case 0xBA:
    case 0xC2:
    case 0xC4:
    case 0xC5:
    case 0xC6:
      return ModRMImm(1) && Finish(out, plain);
    case 0x05:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x09:
    case 0x0E:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x33:
    case 0x34:
    case 0x35:
    case 0x37:
    case 0x77:
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA8:
    case 0xA9:
    case 0xAA:
      return Finish(out, plain);
    case 0x0B:  // ud2
      return Finish(out, K::ikUnmovable);
    case 0x38: {
      uint8_t third;
      return Next(third) && ModRM() && Finish(out, plain);
    }
    case 0x3A: {
      uint8_t third;
      return Next(third) && ModRMImm(1) && Finish(out, plain);
    }
    default:
      return false;
  }
}

}  // namespace

bool DecodeInstruction(const uint8_t* code, size_t available, TCpuMode mode, TInstruction& out) {
  out = TInstruction();
  if (!code || available == 0) return false;
  TDecoder decoder(code, available, mode);
  TInstruction result;
  if (!decoder.Decode(result)) return false;
  out = result;
  return true;
}

}  // namespace vl::hooking
