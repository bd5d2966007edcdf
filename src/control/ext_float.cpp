#include "control/ext_float.h"

#include <array>
#include <cstddef>

namespace zq {
namespace {

// Unsigned integer of 320 bits in 32-bit limbs, least significant first:
// wide enough for every exact intermediate the curve arithmetic needs.
struct Wide {
  static constexpr int kLimbs = 10;
  std::array<uint32_t, kLimbs> limb{};

  static Wide From(uint64_t v) {
    Wide w;
    w.limb[0] = static_cast<uint32_t>(v);
    w.limb[1] = static_cast<uint32_t>(v >> 32);
    return w;
  }
  bool IsZero() const {
    for (uint32_t l : limb) {
      if (l != 0) return false;
    }
    return true;
  }
  int TopBit() const {  // -1 for zero
    for (int i = kLimbs - 1; i >= 0; --i) {
      uint32_t l = limb[static_cast<std::size_t>(i)];
      if (l != 0) {
        int b = 31;
        while (((l >> b) & 1u) == 0) --b;
        return i * 32 + b;
      }
    }
    return -1;
  }
  bool Bit(int n) const {
    if (n < 0 || n >= kLimbs * 32) return false;
    return (limb[static_cast<std::size_t>(n / 32)] >> (n % 32)) & 1u;
  }
  bool AnyBelow(int n) const {  // any bit set below bit n
    if (n <= 0) return false;
    int whole = n / 32;
    for (int i = 0; i < whole && i < kLimbs; ++i) {
      if (limb[static_cast<std::size_t>(i)] != 0) return true;
    }
    int part = n % 32;
    return whole < kLimbs && part != 0 &&
           (limb[static_cast<std::size_t>(whole)] & ((1u << part) - 1u)) != 0;
  }
  uint32_t LimbAt(int i) const {
    return (i >= 0 && i < kLimbs) ? limb[static_cast<std::size_t>(i)] : 0u;
  }
  Wide ShiftLeft(int n) const {
    Wide r;
    int whole = n / 32, part = n % 32;
    for (int i = kLimbs - 1; i >= 0; --i) {
      uint64_t hi = LimbAt(i - whole);
      uint64_t lo = LimbAt(i - whole - 1);
      uint64_t v = part == 0 ? hi : ((hi << part) | (lo >> (32 - part)));
      r.limb[static_cast<std::size_t>(i)] = static_cast<uint32_t>(v);
    }
    return r;
  }
  uint64_t BitsFrom(int n) const {  // the 64 bits from bit n up
    int whole = n / 32, part = n % 32;
    uint64_t l0 = LimbAt(whole), l1 = LimbAt(whole + 1), l2 = LimbAt(whole + 2);
    uint64_t low = (l1 << 32) | l0;
    if (part == 0) return low;
    return (low >> part) | (l2 << (64 - part));
  }
  Wide Plus(const Wide& o) const {
    Wide r;
    uint64_t carry = 0;
    for (std::size_t i = 0; i < kLimbs; ++i) {
      uint64_t s = uint64_t{limb[i]} + o.limb[i] + carry;
      r.limb[i] = static_cast<uint32_t>(s);
      carry = s >> 32;
    }
    return r;
  }
  Wide Minus(const Wide& o) const {  // requires *this >= o
    Wide r;
    int64_t borrow = 0;
    for (std::size_t i = 0; i < kLimbs; ++i) {
      int64_t d = int64_t{limb[i]} - o.limb[i] - borrow;
      borrow = d < 0 ? 1 : 0;
      r.limb[i] = static_cast<uint32_t>(d + (borrow << 32));
    }
    return r;
  }
  int Compare(const Wide& o) const {
    for (int i = kLimbs - 1; i >= 0; --i) {
      uint32_t a = limb[static_cast<std::size_t>(i)], b = o.limb[static_cast<std::size_t>(i)];
      if (a != b) return a < b ? -1 : 1;
    }
    return 0;
  }
  Wide TimesSmall(uint32_t m) const {
    Wide r;
    uint64_t carry = 0;
    for (std::size_t i = 0; i < kLimbs; ++i) {
      uint64_t p = uint64_t{limb[i]} * m + carry;
      r.limb[i] = static_cast<uint32_t>(p);
      carry = p >> 32;
    }
    return r;
  }
  Wide DivSmall(uint32_t d, uint32_t& remainder) const {
    Wide r;
    uint64_t rem = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      uint64_t cur = (rem << 32) | limb[static_cast<std::size_t>(i)];
      r.limb[static_cast<std::size_t>(i)] = static_cast<uint32_t>(cur / d);
      rem = cur % d;
    }
    remainder = static_cast<uint32_t>(rem);
    return r;
  }
};

// Rounds the exact value (-1)^negative * (n + sticky fraction) * 2^exponent
// to `bits` significant bits, nearest with ties to even. `sticky` says that
// the true value lies strictly above n (by less than one unit of n's last
// bit), as left over by a division or a far smaller addend.
ExtFloat RoundWide(bool negative, const Wide& n, int32_t exponent, bool sticky, int bits) {
  ExtFloat r;
  int top = n.TopBit();
  if (top < 0) return r;  // callers keep enough bits that sticky alone never remains
  r.negative = negative;
  int drop = top + 1 - bits;
  if (drop <= 0) {
    r.mantissa = n.BitsFrom(0);
    r.exponent = exponent;
    // an inexact value this short cannot occur: callers widen before rounding
    return r;
  }
  uint64_t q = n.BitsFrom(drop) & (bits == 64 ? ~uint64_t{0} : ((uint64_t{1} << bits) - 1));
  bool half = n.Bit(drop - 1);
  bool rest = sticky || n.AnyBelow(drop - 1);
  int32_t e = exponent + drop;
  if (half && (rest || (q & 1u))) {
    ++q;
    if (bits < 64 ? q == (uint64_t{1} << bits) : q == 0) {
      q = uint64_t{1} << (bits - 1);
      ++e;
    }
  }
  r.mantissa = q;
  r.exponent = e;
  return r;
}

constexpr int kGuard = 70;  // extra low bits kept when a small addend is shifted out

}  // namespace

ExtFloat ExtFloat::FromInt(int64_t value) {
  ExtFloat r;
  r.negative = value < 0;
  r.mantissa = r.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return r;
}

ExtFloat RoundTo(const ExtFloat& x, int bits) {
  return RoundWide(x.negative, Wide::From(x.mantissa), x.exponent, false, bits);
}

ExtFloat Add(const ExtFloat& a, const ExtFloat& b, int bits) {
  if (a.IsZero()) return RoundTo(b, bits);
  if (b.IsZero()) return RoundTo(a, bits);
  const ExtFloat& hi = a.exponent >= b.exponent ? a : b;
  const ExtFloat& lo = a.exponent >= b.exponent ? b : a;
  int64_t gap = int64_t{hi.exponent} - lo.exponent;
  Wide h, l;
  int32_t exponent;
  bool sticky = false;
  if (gap <= 200) {
    h = Wide::From(hi.mantissa).ShiftLeft(static_cast<int>(gap));
    l = Wide::From(lo.mantissa);
    exponent = lo.exponent;
  } else {
    // the small addend lies far below the last bit kept: it only decides
    // which way an exact tie goes, like a sticky bit
    h = Wide::From(hi.mantissa).ShiftLeft(kGuard);
    l = Wide{};
    exponent = hi.exponent - kGuard;
    sticky = true;
  }
  if (hi.negative == lo.negative) return RoundWide(hi.negative, h.Plus(l), exponent, sticky, bits);
  if (sticky) {
    // hi - tiny: one unit below hi plus a sticky fraction
    return RoundWide(hi.negative, h.Minus(Wide::From(1)), exponent, true, bits);
  }
  int c = h.Compare(l);
  if (c == 0) return ExtFloat{};
  return c > 0 ? RoundWide(hi.negative, h.Minus(l), exponent, false, bits)
               : RoundWide(lo.negative, l.Minus(h), exponent, false, bits);
}

ExtFloat Sub(const ExtFloat& a, const ExtFloat& b, int bits) {
  ExtFloat nb = b;
  nb.negative = !b.negative;
  return Add(a, nb, bits);
}

ExtFloat Mul(const ExtFloat& a, const ExtFloat& b, int bits) {
  if (a.IsZero() || b.IsZero()) return ExtFloat{};
  Wide p = Wide::From(a.mantissa).TimesSmall(static_cast<uint32_t>(b.mantissa));
  Wide hiPart = Wide::From(a.mantissa).TimesSmall(static_cast<uint32_t>(b.mantissa >> 32));
  p = p.Plus(hiPart.ShiftLeft(32));
  return RoundWide(a.negative != b.negative, p, a.exponent + b.exponent, false, bits);
}

ExtFloat DivInt(const ExtFloat& a, uint32_t divisor, int bits) {
  if (a.IsZero()) return ExtFloat{};
  constexpr int kWiden = 160;  // quotient keeps far more bits than any rounding needs
  uint32_t remainder = 0;
  Wide q = Wide::From(a.mantissa).ShiftLeft(kWiden).DivSmall(divisor, remainder);
  return RoundWide(a.negative, q, a.exponent - kWiden, remainder != 0, bits);
}

int64_t RoundToInteger(const ExtFloat& x) {
  if (x.IsZero()) return 0;
  uint64_t magnitude;
  if (x.exponent >= 0) {
    magnitude = x.mantissa << x.exponent;
  } else if (x.exponent < -64) {
    magnitude = 0;  // below a quarter
  } else {
    int drop = -x.exponent;
    Wide n = Wide::From(x.mantissa);
    magnitude = n.BitsFrom(drop);
    if (n.Bit(drop - 1) && (n.AnyBelow(drop - 1) || (magnitude & 1u))) ++magnitude;
  }
  int64_t v = static_cast<int64_t>(magnitude);
  return x.negative ? -v : v;
}

}  // namespace zq
