// The vector versions of the chunk loops of kernel_rows.h, written once over the vector layer
// (kernel_vec_avx512.h: sixteen lanes; kernel_vec_avx2.h: eight; kernel_vec_sse41.h: four).
// Included by kernel_rows.h inside the variant's namespace after the layer.
//
// The mapping runs in double precision with the same operations in the same order as the
// scalar code, so it gives the same bits; sampling and blending use 16-bit channel arithmetic.
//
// The bilinear sampler is evaluated in one form for all its cases: a point left of the first
// column (or right of the last) uses that column twice with fraction 0, likewise for rows, and
// (p * 256 + r) >> 8 = p for r < 256, so the one-direction and single-texel cases of the scalar
// sampler come out of the same arithmetic. Only an unkeyed single texel keeps its fourth byte.

// ---- Mapping ---------------------------------------------------------------------------------

struct RowMapV {
  D m00, m02, m10, m12, m20, m22, a0, a1, a2, w;
  explicit RowMapV(const RowMap& r)
      : m00(SetD(r.m00)),
        m02(SetD(r.m02)),
        m10(SetD(r.m10)),
        m12(SetD(r.m12)),
        m20(SetD(r.m20)),
        m22(SetD(r.m22)),
        a0(SetD(r.a0)),
        a1(SetD(r.a1)),
        a2(SetD(r.a2)),
        w(SetD(r.w)) {}
};

// How w reaches the pixels of a row: 1 exactly (affine with a unit last row: multiplying by it
// changes nothing and is left out), one value for the row, or one value per pixel.
enum WeightKind { kUnitWeight, kRowWeight, kProjective };

TAVRONA_ALWAYS_INLINE int KindOf(const RowMap& r) {
  if (r.projective) return kProjective;
  return r.w == 1.0 ? kUnitWeight : kRowWeight;
}

template <int Kind>
TAVRONA_ALWAYS_INLINE void MapPointV(const RowMapV& v, D xs, D& px, D& py) {
  px = AddD(AddD(MulD(v.m00, xs), v.a0), v.m02);
  py = AddD(AddD(MulD(v.m10, xs), v.a1), v.m12);
  if constexpr (Kind == kRowWeight) {
    px = MulD(v.w, px);
    py = MulD(v.w, py);
  } else if constexpr (Kind == kProjective) {
    const D w = DivD(SetD(1.0), AddD(AddD(MulD(v.m20, xs), v.a2), v.m22));
    px = MulD(w, px);
    py = MulD(w, py);
  }
}

// The two double vectors of the pixels x .. x + kLanes - 1.
TAVRONA_ALWAYS_INLINE void PixelColumns(int32_t x, D& first, D& second) {
  first = AddD(SetD(static_cast<double>(x)), IotaD());
  second = AddD(first, SetD(kLanes / 2));
}

// The truncating conversion gives trunc(v) for every v that fits in 32 bits and 0x80000000
// otherwise (also for NaN); with the region starting at 0 or later, that value always misses,
// as the scalar test does. For method 2, 0x80000000 - 4096 wraps to 0x7FFFF000, beyond any
// picture (at most 2^29 pixels).
template <int Method, int Kind>
TAVRONA_ALWAYS_INLINE void MapNearestKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                          int32_t* offset) {
  const RowMapV v(r);
  const D bias = SetD(4096.0);
  const I leftLess = Set1(p.left - 1), right = Set1(p.right);
  const I topLess = Set1(p.top - 1), bottom = Set1(p.bottom);
  const I width = Set1(p.sourceWidth);
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    D xs0, xs1, vx0, vy0, vx1, vy1;
    PixelColumns(x + i, xs0, xs1);
    MapPointV<Kind>(v, xs0, vx0, vy0);
    MapPointV<Kind>(v, xs1, vx1, vy1);
    if constexpr (Method == 2) {
      vx0 = AddD(vx0, bias);
      vy0 = AddD(vy0, bias);
      vx1 = AddD(vx1, bias);
      vy1 = AddD(vy1, bias);
    }
    I tx = TruncToInt(vx0, vx1);
    I ty = TruncToInt(vy0, vy1);
    if constexpr (Method == 2) {
      tx = Sub32(tx, Set1(4096));
      ty = Sub32(ty, Set1(4096));
    }
    const I valid =
        And(And(Gt32(tx, leftLess), Gt32(right, tx)), And(Gt32(ty, topLess), Gt32(bottom, ty)));
    Store(offset + i, Select(valid, Sub32(tx, Mul32(ty, width)), Set1(kSkip)));
  }
  for (; i < n; ++i) offset[i] = MapNearestOne<Method>(r, p, x + i);
}

template <int Method>
TAVRONA_ALWAYS_INLINE void MapNearestSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                          int32_t* offset) {
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapNearestKind<Method, kUnitWeight>(r, p, x, n, offset);
    case kRowWeight:
      return MapNearestKind<Method, kRowWeight>(r, p, x, n, offset);
    default:
      return MapNearestKind<Method, kProjective>(r, p, x, n, offset);
  }
}

// Small: every coordinate u of the picture fits in 32 bits (sides below 2^22 texels), so u is
// converted once and split with a shift and a mask; trunc and floor agree there because the
// sample point is not negative. Otherwise the split is done in double precision.
template <bool Rounding, bool Keyed, int Kind, bool Small>
TAVRONA_ALWAYS_INLINE void MapLinearKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                         int32_t* ix, int32_t* iy, int32_t* fxy) {
  const RowMapV v(r);
  const D left = SetD(p.leftF), right = SetD(p.rightF);
  const D top = SetD(p.topF), bottom = SetD(p.bottomF);
  const D k256 = SetD(256.0), kHalf = SetD(0.5);
  // The fixed-point coordinates of the pixels in a (first half) and b (second half).
  auto fixed = [&](D a, D b, I& whole, I& fraction) {
    auto scaled = [&](D s) {
      const D t = Keyed ? MulD(SubD(s, kHalf), k256) : MulD(s, k256);
      return Rounding ? AddD(t, kHalf) : t;
    };
    if constexpr (Small) {
      I u = TruncToInt(scaled(a), scaled(b));
      if constexpr (!Keyed) u = Sub32(u, Set1(128));
      whole = Srai32<8>(u);
      fraction = And(u, Set1(255));
    } else {
      auto exact = [&](D s) {
        return Keyed ? TruncD(scaled(s)) : SubD(FloorD(scaled(s)), SetD(128.0));
      };
      const D ua = exact(a), ub = exact(b);
      const D wa = FloorD(MulD(ua, SetD(1.0 / 256.0))), wb = FloorD(MulD(ub, SetD(1.0 / 256.0)));
      whole = TruncToInt(wa, wb);
      fraction = TruncToInt(SubD(ua, MulD(wa, k256)), SubD(ub, MulD(wb, k256)));
    }
  };
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    D xs0, xs1, sx0, sy0, sx1, sy1;
    PixelColumns(x + i, xs0, xs1);
    MapPointV<Kind>(v, xs0, sx0, sy0);
    MapPointV<Kind>(v, xs1, sx1, sy1);
    sx0 = RoundToFloatD(sx0);  // the sample point is a float
    sy0 = RoundToFloatD(sy0);
    sx1 = RoundToFloatD(sx1);
    sy1 = RoundToFloatD(sy1);
    const D valid0 =
        AndD(AndD(GeD(sx0, left), LtD(sx0, right)), AndD(GeD(sy0, top), LtD(sy0, bottom)));
    const D valid1 =
        AndD(AndD(GeD(sx1, left), LtD(sx1, right)), AndD(GeD(sy1, top), LtD(sy1, bottom)));
    // Invalid lanes are zeroed before the fixed-point conversion so that it stays in range.
    I wx, fx, wy, fy;
    fixed(AndD(sx0, valid0), AndD(sx1, valid1), wx, fx);
    fixed(AndD(sy0, valid0), AndD(sy1, valid1), wy, fy);
    Store(ix + i, Select(NarrowMask(valid0, valid1), wx, Set1(kSkip)));
    Store(iy + i, wy);
    Store(fxy + i, Or(fx, Slli32<16>(fy)));
  }
  for (; i < n; ++i) MapLinearOne<Rounding, Keyed>(r, p, x + i, ix[i], iy[i], fxy[i]);
}

template <bool Rounding, bool Keyed>
TAVRONA_ALWAYS_INLINE void MapLinearSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                         int32_t* ix, int32_t* iy, int32_t* fxy) {
  if (!p.smallSource) {
    return MapLinearKind<Rounding, Keyed, kProjective, false>(r, p, x, n, ix, iy, fxy);
  }
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapLinearKind<Rounding, Keyed, kUnitWeight, true>(r, p, x, n, ix, iy, fxy);
    case kRowWeight:
      return MapLinearKind<Rounding, Keyed, kRowWeight, true>(r, p, x, n, ix, iy, fxy);
    default:
      return MapLinearKind<Rounding, Keyed, kProjective, true>(r, p, x, n, ix, iy, fxy);
  }
}

// ---- Channel arithmetic ------------------------------------------------------------------------

TAVRONA_ALWAYS_INLINE I ColourMask() {
  return Set1(0x00FFFFFF);
}
// The channels of the pixels in the low (Lo16) or high (Hi16) half of each 128-bit block, as
// 16-bit values.
TAVRONA_ALWAYS_INLINE I Lo16(I v) {
  return UnpackLo8(v, Zero());
}
TAVRONA_ALWAYS_INLINE I Hi16(I v) {
  return UnpackHi8(v, Zero());
}

// The opacity weights of MixConstV: the byte pair (A, 256 - A) in every 16-bit lane, for an
// opacity byte A of 1..255.
TAVRONA_ALWAYS_INLINE I OpacityWeights(uint32_t opacity) {
  return Set1x16(static_cast<int16_t>((opacity & 0xFF) | (((256 - opacity) & 0xFF) << 8)));
}

// MixPixel with one weight A = 1..255 for every lane (weights from OpacityWeights), in one
// multiply-add per pair of channels: with s' = s - 128 and d' = d - 128 as signed bytes,
// A s' + (256 - A) d' = A s + (256 - A) d - 32768 lies in -32768..32512, so the pairwise
// multiply-add cannot saturate, and adding 32768 back (flipping the top bit) gives the exact
// 16-bit sum, shifted right by 8 as MixPixel does.
TAVRONA_ALWAYS_INLINE I MixConstV(I weights, I s, I d) {
  const I bias = Set1(static_cast<int32_t>(0x80808080u));
  const I top = Set1x16(static_cast<int16_t>(0x8000));
  const I sb = Xor(s, bias), db = Xor(d, bias);
  const I lo = Srli16<8>(Xor(MulAddPairs(weights, UnpackLo8(sb, db)), top));
  const I hi = Srli16<8>(Xor(MulAddPairs(weights, UnpackHi8(sb, db)), top));
  return And(PackU16(lo, hi), ColourMask());
}

// The even bytes (blue, red) and the odd bytes (green, fourth) of every pixel as 16-bit
// channels in place: the form in which the loops below interpolate and mix without byte
// shuffles, which share two ports on the processors measured (the keyed loops were bound by
// them). Sums d 256 + (s - d) w wrap in 16 bits, but their exact values lie in 0..65280 for
// w = 0..256, so the high bytes come out right.
TAVRONA_ALWAYS_INLINE I EvenBytes(I v) {
  return And(v, Set1(0x00FF00FF));
}
TAVRONA_ALWAYS_INLINE I OddBytes(I v) {
  return Srli16<8>(v);
}

// (d (256 - w) + s w) >> 8 of 16-bit channels, w = 0..256 in every 16-bit lane.
TAVRONA_ALWAYS_INLINE I MixChannels(I w16, I s, I d) {
  return Srli16<8>(Add16(Slli16<8>(d), Mul16(Sub16(s, d), w16)));
}

// MixPixel with a weight w per pixel (32-bit lanes, 0..256, 256 giving s itself) of a sample
// given as its even and odd bytes; a fourth byte of 0.
TAVRONA_ALWAYS_INLINE I MixHalvesV(I w, I sE, I sO, I d) {
  const I w16 = Or(w, Slli32<16>(w));
  const I mE = MixChannels(w16, sE, EvenBytes(d));
  const I mO = MixChannels(w16, sO, OddBytes(d));
  return And(Or(mE, Slli16<8>(mO)), ColourMask());
}

TAVRONA_ALWAYS_INLINE I MixWeightsV(I w, I s, I d) {
  return MixHalvesV(w, EvenBytes(s), OddBytes(s), d);
}

// (p (256 - f) + q f [+ 128]) >> 8 on the even and odd bytes of p and q, f = 0..256 in every
// 16-bit lane: Lerp of kernel_sampling.h. LerpBytes returns the bytes packed again.
// The sums before the shift: p 256 + (q - p) f [+ 128] on the even and odd bytes.
template <bool Rounding>
TAVRONA_ALWAYS_INLINE void LerpSums(I p, I q, I f16, I& sE, I& sO) {
  const I pE = EvenBytes(p), pO = OddBytes(p);
  sE = Add16(Slli16<8>(pE), Mul16(Sub16(EvenBytes(q), pE), f16));
  sO = Add16(Slli16<8>(pO), Mul16(Sub16(OddBytes(q), pO), f16));
  if constexpr (Rounding) {
    sE = Add16(sE, Set1x16(128));
    sO = Add16(sO, Set1x16(128));
  }
}

template <bool Rounding>
TAVRONA_ALWAYS_INLINE void LerpHalves(I p, I q, I f16, I& even, I& odd) {
  I sE, sO;
  LerpSums<Rounding>(p, q, f16, sE, sO);
  even = Srli16<8>(sE);
  odd = Srli16<8>(sO);
}

template <bool Rounding>
TAVRONA_ALWAYS_INLINE I LerpBytes(I p, I q, I f16) {
  I sE, sO;
  LerpSums<Rounding>(p, q, f16, sE, sO);
  // The even sums' high bytes moved down, the odd sums' high bytes kept in place.
  return Or(Srli16<8>(sE), AndNot(Set1(0x00FF00FF), sO));
}

// A keyed sample of coverage alpha (32-bit lanes) as its even and odd bytes, drawn plainly
// (mode 0, full opacity, uncoloured) over dv where valid: nothing at coverage 0, the sample
// whole at 255 (weight 256 = alpha + ((alpha + 1) >> 8)), MixPixel(alpha, ...) between.
TAVRONA_ALWAYS_INLINE I CoverPlainV(I alpha, I sE, I sO, I dv, I valid) {
  valid = AndNot(Eq32(alpha, Zero()), valid);
  const I w = Add32(alpha, Srli32<8>(Add32(alpha, Set1(1))));
  return Select(valid, MixHalvesV(w, sE, sO, dv), dv);
}

// x / 255 truncated for 16-bit x: (x * 0x8081) >> 23.
TAVRONA_ALWAYS_INLINE I Div255x16(I x) {
  return Srli16<7>(MulHiU16(x, Set1x16(static_cast<int16_t>(0x8081))));
}

TAVRONA_ALWAYS_INLINE I MultiplyV(I a, I b) {
  const I lo = Div255x16(Mul16(Lo16(a), Lo16(b)));
  const I hi = Div255x16(Mul16(Hi16(a), Hi16(b)));
  return And(PackU16(lo, hi), ColourMask());
}

// BlendPixel on every lane; weights: OpacityWeights of the opacity byte (mode 0, not opaque).
template <int Mode, bool Opaque>
TAVRONA_ALWAYS_INLINE I BlendV(I s, I d, I weights) {
  if constexpr (Mode == 0) {
    if constexpr (Opaque) {
      return s;
    } else {
      return MixConstV(weights, s, d);
    }
  } else if constexpr (Mode == 1) {
    return And(d, s);
  } else if constexpr (Mode == 2) {
    return Or(d, s);
  } else if constexpr (Mode == 3) {
    return Xor(d, s);
  } else if constexpr (Mode == 4) {
    return MultiplyV(d, s);
  } else if constexpr (Mode == 5) {
    return And(AddSatU8(d, s), ColourMask());
  } else {
    static_assert(Mode == 6);
    return And(SubSatU8(d, s), ColourMask());
  }
}

// Bilinear interpolation of four texel vectors (t00 upper left, t10 upper right, t01 lower
// left, t11 lower right) with fractions fx, fy per 32-bit lane: rows first, then columns.
template <bool Rounding>
TAVRONA_ALWAYS_INLINE I Bilinear(I t00, I t10, I t01, I t11, I fx, I fy) {
  const I fx16 = Or(fx, Slli32<16>(fx)), fy16 = Or(fy, Slli32<16>(fy));
  return LerpBytes<Rounding>(LerpBytes<Rounding>(t00, t10, fx16),
                             LerpBytes<Rounding>(t01, t11, fx16), fy16);
}

// Keyed samplers: a key texel keeps its colour with coverage 0, every other texel gets 255.
TAVRONA_ALWAYS_INLINE I Cover(I t, I key) {
  return Or(And(t, ColourMask()), AndNot(Eq32(t, key), Set1(static_cast<int32_t>(0xFF000000u))));
}

// ---- Fetching ----------------------------------------------------------------------------------

// Asks for the cache line of the texel at base + offset + ahead bytes (an address that is only
// a guess and may lie outside the picture: prefetches never fault).
TAVRONA_ALWAYS_INLINE void PrefetchTexel(const void* base, int32_t offset, intptr_t ahead) {
  if (offset == kSkip) return;
  const uintptr_t address =
      reinterpret_cast<uintptr_t>(base) + static_cast<intptr_t>(offset) * 4 + ahead;
  _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
}

// kLanes texels of one source row: when all lanes lie within kLanes texels from the first
// lane's column, and those texels are inside the region (windowEnd: the region's right edge as
// an offset from src), one load and a permutation fetch them. False otherwise.
TAVRONA_ALWAYS_INLINE bool WindowFetch(const int* src, I off, int32_t first, int32_t windowEnd,
                                       I& out) {
  if (first == kSkip || first > windowEnd - kLanes) return false;
  const I delta = Sub32(off, Set1(first));
  const I inside = And(Gt32(delta, Set1(-1)), Gt32(Set1(kLanes), delta));
  if (!AllSet(inside)) return false;  // also rejects kSkip lanes
  out = Permute32(Load(src + first), delta);
  return true;
}

// ---- Nearest texel -----------------------------------------------------------------------------

// source and offset: texel i is source[offset[i]]. safe: the offset of a texel of the region.
// windowEnd: for separable placements, where source is one row of the picture and the offsets
// are columns, the region's right edge (texels close together are then loaded at once); 0
// otherwise. prefetchBytes: see PrefetchDistance.
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendNearestSimd(const DrawPlan& p, const uint32_t* source, int32_t safe,
                                            const int32_t* offset, int n, uint32_t* d,
                                            int32_t windowEnd, intptr_t prefetchBytes = 0) {
  const int* src = reinterpret_cast<const int*>(source);
  const I skip = Set1(kSkip), key = Set1(static_cast<int32_t>(p.key));
  const I colour = Set1(static_cast<int32_t>(p.colour));
  const I opacity = OpacityWeights(p.opacity);
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    const I off = Load(offset + i);
    I valid = Xor(Eq32(off, skip), Set1(-1));
    if (NoneSet(valid)) continue;
    I s;
    if (windowEnd != 0 && WindowFetch(src, off, offset[i], windowEnd, s)) {
      // fetched
    } else {
      if constexpr (Mode == 0 && Opaque && !Coloured && !Keyed) {
        // A plain copy: scalar moves beat assembling a vector from single loads.
        if (AllSet(valid)) {
          for (int k = 0; k < kLanes; ++k) d[i + k] = source[offset[i + k]];
          // The same columns some rows further down will want texels near these.
          PrefetchTexel(source, offset[i], prefetchBytes);
          PrefetchTexel(source, offset[i + kLanes / 2], prefetchBytes);
          continue;
        }
      }
      s = Gather(src, off, valid, safe);
      if (prefetchBytes != 0) {
        PrefetchTexel(source, offset[i], prefetchBytes);
        PrefetchTexel(source, offset[i + kLanes / 2], prefetchBytes);
      }
    }
    if constexpr (Keyed) valid = AndNot(Eq32(s, key), valid);
    if constexpr (Mode == 0 && Opaque && !Coloured) {
      // Texels copied whole: with a masked store (AVX2, AVX-512) the destination is not read.
      StoreWhere(d + i, valid, s);
      continue;
    }
    const I dv = Load(d + i);
    const I sc = Coloured ? MultiplyV(s, colour) : s;
    Store(d + i, Select(valid, BlendV<Mode, Opaque>(sc, dv, opacity), dv));
  }
  if (i < n) BlendNearest<Mode, Keyed, Coloured, Opaque>(p, source, offset + i, n - i, d + i);
}

// A run of consecutive texels (BlendRunScalar): whole vectors loaded straight from the source
// row, no offsets.
template <int Mode, bool Keyed, bool Coloured, bool Opaque, bool Centred>
TAVRONA_ALWAYS_INLINE void BlendRunSimd(const DrawPlan& p, const uint32_t* src, int n,
                                        uint32_t* d) {
  const I key = Set1(static_cast<int32_t>(p.key)), ones = Set1(-1);
  const I colour = Set1(static_cast<int32_t>(p.colour));
  const I weights = OpacityWeights(p.opacity);
  // Keyed runs read the destination as well (a masked store still fetches the lines it writes
  // into) and ask for both streams 1,024 bytes ahead: the destination otherwise waits on memory
  // whenever the frame has left the cache, which an unkeyed copy, whose stores do not wait, does
  // not feel. Measured on plain keyed rows of a 1920 x 1080 picture with both pictures pushed
  // out of the cache by another draw in between: 5 to 15 % faster than the hardware's
  // prefetching alone (9 of 10 alternating runs); 128 bytes ahead was 20 % slower.
  constexpr int kAhead = 1024 / sizeof(uint32_t);
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    if constexpr (Keyed) {
      _mm_prefetch(reinterpret_cast<const char*>(d + i + kAhead), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(src + i + kAhead), _MM_HINT_T0);
    }
    I s = Load(src + i);
    I valid = ones;
    if constexpr (Keyed) valid = Xor(Eq32(s, key), ones);
    if constexpr (Centred) s = And(s, ColourMask());
    if constexpr (Mode == 0 && Opaque && !Coloured) {
      if constexpr (Keyed) {
        StoreWhere(d + i, valid, s);
      } else {
        Store(d + i, s);
      }
      continue;
    }
    const I dv = Load(d + i);
    const I out = BlendV<Mode, Opaque>(Coloured ? MultiplyV(s, colour) : s, dv, weights);
    Store(d + i, Keyed ? Select(valid, out, dv) : out);
  }
  if (i < n) {
    BlendRunScalar<Mode, Keyed, Coloured, Opaque, Centred>(p, src + i, n - i, d + i);
  }
}

// ---- Bilinear ----------------------------------------------------------------------------------

// kLanes bilinear samples; valid lanes only are gathered. Unkeyed: fourth byte 0 except for
// single corner texels; keyed: coverage in the fourth byte. sameRows: all lanes share their
// row (separable placements).
template <bool Rounding, bool Keyed>
TAVRONA_ALWAYS_INLINE I SampleSimd(const DrawPlan& p, const SampleRegion& region, I ix, I iy, I f,
                                   I valid, bool sameRows) {
  const int* src = reinterpret_cast<const int*>(p.sourceTop);
  const I one = Set1(1), ones = Set1(-1);
  const I firstX = Set1(region.firstX), lastX = Set1(region.lastX);
  const I firstY = Set1(region.firstY), lastY = Set1(region.lastY);
  // Columns: ix < firstX or ix >= lastX use one column with fraction 0.
  const I beforeX = Gt32(firstX, ix);
  const I edgeX = Or(beforeX, Xor(Gt32(lastX, ix), ones));
  const I c0 = Select(edgeX, Select(beforeX, firstX, lastX), ix);
  const I c1 = Select(edgeX, c0, Add32(ix, one));
  I fx = AndNot(edgeX, And(f, Set1(0xFF)));
  const I beforeY = Gt32(firstY, iy);
  const I edgeY = Or(beforeY, Xor(Gt32(lastY, iy), ones));
  const I r0 = Select(edgeY, Select(beforeY, firstY, lastY), iy);
  const I r1 = Select(edgeY, r0, Add32(iy, one));
  const I fy = AndNot(edgeY, Srli32<16>(f));
  I t00, t10, t01, t11;
  // Separable placements: all pixels sample the same two rows, and under magnification their
  // columns lie within kLanes texels, fetched with one load per row.
  bool fetched = false;
  if (sameRows && AllSet(valid)) {
    const int32_t first = Lane0(c0);
    const int* row0 = src - static_cast<ptrdiff_t>(Lane0(r0)) * p.sourceWidth;
    const int* row1 = src - static_cast<ptrdiff_t>(Lane0(r1)) * p.sourceWidth;
    const int32_t end = region.lastX + 1;
    if (WindowFetch(row0, c0, first, end, t00)) {
      // The right-hand texels start at the same column or one further.
      if (WindowFetch(row0, c1, first, end, t10)) {
        WindowFetch(row1, c1, first, end, t11);
        fetched = true;
      } else if (WindowFetch(row0, c1, first + 1, end, t10)) {
        WindowFetch(row1, c1, first + 1, end, t11);
        fetched = true;
      }
      if (fetched) WindowFetch(row1, c0, first, end, t01);
    }
  }
  const I width = Set1(p.sourceWidth);
  const I row0 = Mul32(r0, width), row1 = Mul32(r1, width);
  const int32_t safe = region.firstX - region.firstY * p.sourceWidth;
  if (!fetched && region.lastX > region.firstX) {
    // Left and right texels side by side, loaded as pairs. A pixel right of the last column
    // takes the pair ending there with all weight on its right texel, which gives that texel
    // exactly as the single-column form does.
    fx = Select(Eq32(c0, lastX), Set1(256), fx);
    const I pc = Min32(c0, Set1(region.lastX - 1));
    const I safeV = Set1(safe);
    alignas(32) int32_t o0[kLanes], o1[kLanes];
    Store(o0, Select(valid, Sub32(pc, row0), safeV));
    Store(o1, Select(valid, Sub32(pc, row1), safeV));
    GatherPairs(src, o0, t00, t10);
    GatherPairs(src, o1, t01, t11);
    fetched = true;
  }
  if (!fetched) {
    t00 = Gather(src, Sub32(c0, row0), valid, safe);
    t10 = Gather(src, Sub32(c1, row0), valid, safe);
    t01 = Gather(src, Sub32(c0, row1), valid, safe);
    t11 = Gather(src, Sub32(c1, row1), valid, safe);
  }
  if constexpr (Keyed) {
    const I key = Set1(static_cast<int32_t>(p.key));
    t00 = Cover(t00, key);
    t10 = Cover(t10, key);
    t01 = Cover(t01, key);
    t11 = Cover(t11, key);
  }
  const I s = Bilinear<Rounding>(t00, t10, t01, t11, fx, fy);
  if constexpr (Keyed) {
    return s;
  } else {
    // A single corner texel keeps its fourth byte, which the arithmetic carried through
    // unchanged (weights 0 and 256 in both directions).
    return Select(And(edgeX, edgeY), s, And(s, ColourMask()));
  }
}

// The new destination pixels for the samples s over dv (the lanes that are not valid are
// returned unchanged). Keyed: the coverage in the fourth byte fades the sample in first.
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE I CombineLinear(const DrawPlan& p, I s, I dv, I valid) {
  const I opacity16 = OpacityWeights(p.opacity);
  const I colour = Set1(static_cast<int32_t>(p.colour));
  if constexpr (Keyed) {
    const I alpha = Srli32<24>(s);
    if constexpr (Mode == 0 && Opaque && !Coloured) {
      return CoverPlainV(alpha, EvenBytes(s), OddBytes(s), dv, valid);
    }
    // Coverage 0 leaves the pixel as it is, fourth byte included.
    valid = AndNot(Eq32(alpha, Zero()), valid);
    const I sc = Coloured ? MultiplyV(s, colour) : And(s, ColourMask());
    // MixPixel(w, sc, dv); a weight of 0 gives dv without its fourth byte.
    I mixed;
    if constexpr (Mode == 0 && !Opaque) {
      // (alpha * A) / 255 below full coverage, A at full coverage.
      const I full = Eq32(alpha, Set1(255));
      const I opacity32 = Set1(static_cast<int32_t>(p.opacity));
      const I scaled = Srli32<23>(Mul32(Mul32(alpha, opacity32), Set1(0x8081)));
      mixed = MixWeightsV(Select(full, opacity32, scaled), sc, dv);
    } else {
      // Full coverage takes sc whole: the weight 255 becomes 256 (alpha + (alpha + 1) >> 8).
      mixed = MixWeightsV(Add32(alpha, Srli32<8>(Add32(alpha, Set1(1)))), sc, dv);
    }
    if constexpr (Mode == 0) {
      return Select(valid, mixed, dv);
    } else {
      return Select(valid, BlendV<Mode, true>(mixed, dv, opacity16), dv);
    }
  } else {
    const I sc = Coloured ? MultiplyV(s, colour) : s;
    return Select(valid, BlendV<Mode, Opaque>(sc, dv, opacity16), dv);
  }
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendLinearSimd(const DrawPlan& p, const SampleRegion& region,
                                           const int32_t* ix, const int32_t* iy, const int32_t* fxy,
                                           int n, uint32_t* d, intptr_t prefetchBytes = 0) {
  const I skip = Set1(kSkip), ones = Set1(-1);
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    const I vx = Load(ix + i);
    const I valid = Xor(Eq32(vx, skip), ones);
    if (NoneSet(valid)) continue;
    const I s =
        SampleSimd<Rounding, Keyed>(p, region, vx, Load(iy + i), Load(fxy + i), valid, p.separable);
    if (prefetchBytes != 0) {
      for (int k = 0; k < kLanes; k += 4) {
        if (ix[i + k] != kSkip) {
          PrefetchTexel(p.sourceTop, ix[i + k] - iy[i + k] * p.sourceWidth, prefetchBytes);
        }
      }
    }
    Store(d + i, CombineLinear<Mode, Keyed, Coloured, Opaque>(p, s, Load(d + i), valid));
  }
  if (i < n) {
    BlendLinear<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, ix + i, iy + i, fxy + i, n - i,
                                                         d + i);
  }
}

// ---- Bilinear, separable placements: two passes (LerpRowScalar, BlendLerpedRowsScalar) -------

template <bool Rounding, bool Keyed>
TAVRONA_ALWAYS_INLINE void LerpRowSimd(const DrawPlan& p, int32_t row, const int32_t* pair,
                                       const int32_t* weight, int n, uint32_t* out) {
  const int* src =
      reinterpret_cast<const int*>(p.sourceTop - static_cast<ptrdiff_t>(row) * p.sourceWidth);
  const I key = Set1(static_cast<int32_t>(p.key));
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    I left, right;
    GatherPairs(src, pair + i, left, right);
    if constexpr (Keyed) {
      left = Cover(left, key);
      right = Cover(right, key);
    }
    const I w = Load(weight + i);
    Store(out + i, LerpBytes<Rounding>(left, right, Or(w, Slli32<16>(w))));
  }
  if (i < n) LerpRowScalar<Rounding, Keyed>(p, row, pair + i, weight + i, n - i, out + i);
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendLerpedRowsSimd(const DrawPlan& p, const uint32_t* upper,
                                               const uint32_t* lower, uint32_t fy, bool cornerY,
                                               const int32_t* columns, const int32_t* edgeX, int n,
                                               uint32_t* d) {
  const I f = Set1x16(static_cast<int16_t>(fy)), skip = Set1(kSkip), ones = Set1(-1);
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    const I valid = Xor(Eq32(Load(columns + i), skip), ones);
    if (NoneSet(valid)) continue;
    const I u = Load(upper + i), l = Load(lower + i);
    if constexpr (Keyed || !(Mode == 0 && Opaque && !Coloured)) {
      // Draws that read the destination ask for it 2 KiB ahead (see BlendRunSimd). Measured on
      // keyed and translucent 1920 x 1080 pictures scaled by 1.37, alternating runs: 10-15 %
      // faster than the hardware's prefetching alone; 1 KiB ahead gained a little less.
      _mm_prefetch(reinterpret_cast<const char*>(d + i + 512), _MM_HINT_T0);
    }
    if constexpr (Mode == 0 && Opaque && !Coloured && Keyed) {
      // Interpolated and mixed as even and odd bytes, never packed in between; the coverage
      // is the odd half's upper channel.
      I sE = EvenBytes(u), sO = OddBytes(u);
      if (fy != 0) LerpHalves<Rounding>(u, l, f, sE, sO);
      Store(d + i, CoverPlainV(Srli32<16>(sO), sE, sO, Load(d + i), valid));
      continue;
    }
    I s = fy == 0 ? u : LerpBytes<Rounding>(u, l, f);
    if constexpr (!Keyed) {
      s = cornerY ? Select(Load(edgeX + i), s, And(s, ColourMask())) : And(s, ColourMask());
    }
    if constexpr (Mode == 0 && Opaque && !Coloured && !Keyed) {
      if (AllSet(valid)) {
        Store(d + i, s);
      } else {
        StoreWhere(d + i, valid, s);
      }
      continue;
    }
    Store(d + i, CombineLinear<Mode, Keyed, Coloured, Opaque>(p, s, Load(d + i), valid));
  }
  if (i < n) {
    BlendLerpedRowsScalar<Rounding, Mode, Keyed, Coloured, Opaque>(
        p, upper + i, lower + i, fy, cornerY, columns + i, edgeX + i, n - i, d + i);
  }
}

// ---- Bilinear, affine placements: incremental mapping
// --------------------------------------------
//
// For an affine placement the sample point moves by the same step from pixel to pixel along a
// row, so the fixed-point coordinates are carried from pixel to pixel in 64-bit integers with
// 32 bits below the 1/256 step, instead of being evaluated in double precision per pixel. They
// then differ from the per-pixel evaluation (which rounds the point to a float first) by less
// than one 1/256 step, and so by at most one step after rounding down; this is allowed for the
// bilinear methods. Which pixels are drawn is still decided exactly: along a row of an affine
// placement each float sample coordinate is a monotone function of x (every operation of the
// evaluation is), so the pixels whose points lie in the region form one run, found by the
// per-pixel test at its ends.

// The affine mapping applies to pictures whose region lies below 2^14 texels in both
// directions: float sample points there are within 1/8 step of their exact values.
inline bool UsesAffineMapping(const DrawPlan& p) {
  return p.inverse[6] == 0 && p.inverse[7] == 0 && p.right <= (1 << 14) && p.bottom <= (1 << 14);
}

// One destination row: the run [begin, end) of pixels that sample the region, and the
// fixed-point coordinates of the pixel begin in units of 2^-32 step with their steps per pixel.
// exact: the row is mapped pixel by pixel instead (no run found with certainty, or values out
// of range).
struct AffineRow {
  int32_t begin = 0, end = 0;
  bool exact = true;
  int64_t ux = 0, uy = 0, dux = 0, duy = 0;
};

template <bool Rounding>
inline AffineRow PlanAffineRow(const DrawPlan& p, int32_t y) {
  AffineRow out;
  const RowMap r = MakeRowMap<3>(p.inverse, y);
  if (r.projective || !std::isfinite(r.w)) return out;
  auto hit = [&](int32_t x) {
    double vx, vy;
    MapPoint(r, x, vx, vy);
    const double sx = RoundToFloat(vx), sy = RoundToFloat(vy);
    return sx >= p.leftF && sx < p.rightF && sy >= p.topF && sy < p.bottomF;
  };
  double vx0, vy0;
  MapPoint(r, p.x0, vx0, vy0);
  const double kx = r.w * r.m00, ky = r.w * r.m10;
  if (!std::isfinite(vx0) || !std::isfinite(vy0) || !std::isfinite(kx) || !std::isfinite(ky)) {
    return out;
  }
  // Estimate of the run from the linear model, then the exact ends.
  double lo = p.x0, hi = p.x1 - 1;
  auto clip = [&](double c0, double k, double low, double high) {
    if (k == 0) {
      if (!(c0 >= low && c0 < high)) hi = lo - 1;
      return;
    }
    double a = p.x0 + (low - c0) / k, b = p.x0 + (high - c0) / k;
    if (a > b) std::swap(a, b);
    lo = std::max(lo, a);
    hi = std::min(hi, b);
  };
  clip(vx0, kx, p.leftF, p.rightF);
  clip(vy0, ky, p.topF, p.bottomF);
  if (!(hi - lo >= 4)) return out;
  const int32_t c = static_cast<int32_t>(std::floor((lo + hi) / 2));
  if (c < p.x0 || c >= p.x1 || !hit(c)) return out;
  int32_t first = std::clamp(static_cast<int32_t>(std::ceil(lo)), p.x0, c);
  if (!(hit(first) && (first == p.x0 || !hit(first - 1)))) {
    int32_t a = p.x0, b = c;  // the first hit lies in [a, b]; b hits
    while (a < b) {
      const int32_t m = a + (b - a) / 2;
      if (hit(m)) {
        b = m;
      } else {
        a = m + 1;
      }
    }
    first = b;
  }
  int32_t last = std::clamp(static_cast<int32_t>(std::floor(hi)), c, p.x1 - 1);
  if (!(hit(last) && (last == p.x1 - 1 || !hit(last + 1)))) {
    int32_t a = c, b = p.x1 - 1;  // the last hit lies in [a, b]; a hits
    while (a < b) {
      const int32_t m = a + (b - a + 1) / 2;
      if (hit(m)) {
        a = m;
      } else {
        b = m - 1;
      }
    }
    last = a;
  }
  double vx, vy;
  MapPoint(r, first, vx, vy);
  const double offset = Rounding ? -127.5 : -128.0;
  const double ux = 256.0 * vx + offset, uy = 256.0 * vy + offset;
  const double dux = 256.0 * kx, duy = 256.0 * ky;
  const double length = last - first;
  // Coordinates within 2^29 steps and steps per pixel within 2^20 keep every 64-bit sum
  // (up to a block of kLanes beyond the run) far from overflow and every coordinate in 32 bits.
  constexpr double kLimit = 536870912.0;  // 2^29 steps
  for (double v : {ux, uy, ux + dux * length, uy + duy * length}) {
    if (!(std::fabs(v) < kLimit)) return out;
  }
  if (!(std::fabs(dux) < 1048576.0 && std::fabs(duy) < 1048576.0)) return out;
  constexpr double kUnit = 4294967296.0;  // 2^32
  out.begin = first;
  out.end = last + 1;
  out.exact = false;
  out.ux = static_cast<int64_t>(std::floor(ux * kUnit + 0.5));
  out.uy = static_cast<int64_t>(std::floor(uy * kUnit + 0.5));
  out.dux = static_cast<int64_t>(std::floor(dux * kUnit + 0.5));
  out.duy = static_cast<int64_t>(std::floor(duy * kUnit + 0.5));
  return out;
}

// The fixed-point coordinates of kLanes pixels from their 64-bit forms (a and b as the layer
// orders them): rounded down, or towards zero for the keyed samplers.
// FixedLanes gives the values rounded down; TruncLanes turns them into the keyed samplers'
// values rounded towards zero. The two differ only below 0, which only the edge path meets.
TAVRONA_ALWAYS_INLINE I FixedLanes(I a, I b) {
  return HighHalves(a, b);
}
TAVRONA_ALWAYS_INLINE I TruncLanes(I u, I a, I b) {
  const I inexact = Xor(Eq32(LowHalves(a, b), Zero()), Set1(-1));
  return Sub32(u, And(Gt32(Zero(), u), inexact));
}

// Pixels x .. x + n - 1 of the row, all inside the run of a; d points at pixel x.
template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendLinearAffine(const DrawPlan& p, const SampleRegion& region,
                                             const AffineRow& a, int32_t x, int n, uint32_t* d,
                                             intptr_t prefetchBytes) {
  const int* src = reinterpret_cast<const int*>(p.sourceTop);
  const int64_t ux = a.ux + static_cast<int64_t>(x - a.begin) * a.dux;
  const int64_t uy = a.uy + static_cast<int64_t>(x - a.begin) * a.duy;
  alignas(32) int64_t lanes[4][kLanes / 2];
  for (int k = 0; k < kLanes / 2; ++k) {
    lanes[0][k] = ux + kPairOrderA[k] * a.dux;
    lanes[1][k] = ux + kPairOrderB[k] * a.dux;
    lanes[2][k] = uy + kPairOrderA[k] * a.duy;
    lanes[3][k] = uy + kPairOrderB[k] * a.duy;
  }
  I uxA = Load(lanes[0]), uxB = Load(lanes[1]), uyA = Load(lanes[2]), uyB = Load(lanes[3]);
  const I stepX = Set1x64(a.dux * kLanes), stepY = Set1x64(a.duy * kLanes);
  const I firstXLess = Set1(region.firstX - 1), lastX = Set1(region.lastX);
  const I firstYLess = Set1(region.firstY - 1), lastY = Set1(region.lastY);
  const I byte = Set1(255), ones = Set1(-1), width = Set1(p.sourceWidth);
  const I key = Set1(static_cast<int32_t>(p.key));
  // Shrinking by half or more, neighbouring pixels sample texels on cache lines of their own
  // (a picture shrunk to a fifth reads most lines of its source for a few pixels): then every
  // pixel's two lines are asked for ahead, not only two lines of the block.
  constexpr int64_t kTwoTexels = int64_t{512} << 32;
  const bool sparse = std::abs(a.dux) >= kTwoTexels || std::abs(a.duy) >= kTwoTexels;
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) {
    I u = FixedLanes(uxA, uxB), v = FixedLanes(uyA, uyB);
    I ix = Srai32<8>(u), iy = Srai32<8>(v);
    // All four texels of every pixel inside the region: no edge cases to handle.
    const I inside =
        And(And(Gt32(ix, firstXLess), Gt32(lastX, ix)), And(Gt32(iy, firstYLess), Gt32(lastY, iy)));
    I s;
    if (AllSet(inside)) {
      const I fx = And(u, byte), fy = And(v, byte);
      alignas(32) int32_t o[kLanes];
      Store(o, Sub32(ix, Mul32(iy, width)));
      I t00, t10, t01, t11;
      GatherPairs(src, o, t00, t10);
      GatherPairs(src - p.sourceWidth, o, t01, t11);  // the row below
      if (prefetchBytes != 0) {
        if (sparse) {
          for (int k = 0; k < kLanes; ++k) {
            PrefetchTexel(src, o[k], prefetchBytes);
            PrefetchTexel(src - p.sourceWidth, o[k], prefetchBytes);
          }
        } else {
          PrefetchTexel(src, o[0], prefetchBytes);
          PrefetchTexel(src, o[kLanes / 2], prefetchBytes);
        }
      }
      if constexpr (Keyed) {
        t00 = Cover(t00, key);
        t10 = Cover(t10, key);
        t01 = Cover(t01, key);
        t11 = Cover(t11, key);
        s = Bilinear<Rounding>(t00, t10, t01, t11, fx, fy);
      } else {
        s = And(Bilinear<Rounding>(t00, t10, t01, t11, fx, fy), ColourMask());
      }
    } else {
      if constexpr (Keyed) {
        u = TruncLanes(u, uxA, uxB);
        v = TruncLanes(v, uyA, uyB);
        ix = Srai32<8>(u);
        iy = Srai32<8>(v);
      }
      const I f = Or(And(u, byte), Slli32<16>(And(v, byte)));
      s = SampleSimd<Rounding, Keyed>(p, region, ix, iy, f, ones, false);
    }
    uxA = Add64(uxA, stepX);
    uxB = Add64(uxB, stepX);
    uyA = Add64(uyA, stepY);
    uyB = Add64(uyB, stepY);
    if constexpr (Mode == 0 && Opaque && !Coloured && !Keyed) {
      Store(d + i, s);
    } else {
      Store(d + i, CombineLinear<Mode, Keyed, Coloured, Opaque>(p, s, Load(d + i), ones));
    }
  }
  if (i < n) {
    alignas(32) int32_t tx[kLanes], ty[kLanes], tf[kLanes];
    I u = FixedLanes(uxA, uxB), v = FixedLanes(uyA, uyB);
    if constexpr (Keyed) {
      u = TruncLanes(u, uxA, uxB);
      v = TruncLanes(v, uyA, uyB);
    }
    Store(tx, Srai32<8>(u));
    Store(ty, Srai32<8>(v));
    Store(tf, Or(And(u, byte), Slli32<16>(And(v, byte))));
    BlendLinear<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, tx, ty, tf, n - i, d + i);
  }
}
