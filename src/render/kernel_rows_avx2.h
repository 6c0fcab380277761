// AVX2 versions of the chunk loops of kernel_rows.h: the mapping four pixels at a time in
// double precision (the same operations in the same order as the scalar code, so the same
// bits), and sampling and blending eight pixels at a time with gathers and 16-bit channel
// arithmetic. Included by kernel_rows.h inside the variant's namespace when __AVX2__ is set.
//
// The bilinear sampler is evaluated in one form for all its cases: a point left of the first
// column (or right of the last) uses that column twice with fraction 0, likewise for rows, and
// (p * 256 + r) >> 8 = p for r < 256, so the one-direction and single-texel cases of the scalar
// sampler come out of the same arithmetic. Only an unkeyed single texel keeps its fourth byte.

// The helpers below take and return vectors; left out of line they would pass them through
// memory, so they are always inlined.
#define TAVRONA_ALWAYS_INLINE inline __attribute__((always_inline))

TAVRONA_ALWAYS_INLINE __m256d Iota4() {
  return _mm256_set_pd(3, 2, 1, 0);
}

// The low 32 bits of each 64-bit lane, as four 32-bit lanes.
TAVRONA_ALWAYS_INLINE __m128i Narrow(__m256d mask) {
  const __m256i idx = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(mask), idx));
}

TAVRONA_ALWAYS_INLINE __m256d InRange(__m256d v, __m256d low, __m256d high) {
  return _mm256_and_pd(_mm256_cmp_pd(v, low, _CMP_GE_OQ), _mm256_cmp_pd(v, high, _CMP_LT_OQ));
}

struct RowMapV {
  __m256d m00, m02, m10, m12, m20, m22, a0, a1, a2, w;
  explicit RowMapV(const RowMap& r)
      : m00(_mm256_set1_pd(r.m00)),
        m02(_mm256_set1_pd(r.m02)),
        m10(_mm256_set1_pd(r.m10)),
        m12(_mm256_set1_pd(r.m12)),
        m20(_mm256_set1_pd(r.m20)),
        m22(_mm256_set1_pd(r.m22)),
        a0(_mm256_set1_pd(r.a0)),
        a1(_mm256_set1_pd(r.a1)),
        a2(_mm256_set1_pd(r.a2)),
        w(_mm256_set1_pd(r.w)) {}
};

// How w reaches the pixels of a row: 1 exactly (affine with a unit last row: multiplying by it
// changes nothing and is left out), one value for the row, or one value per pixel.
enum WeightKind { kUnitWeight, kRowWeight, kProjective };

template <int Kind>
TAVRONA_ALWAYS_INLINE void MapPoint4(const RowMapV& v, __m256d xs, __m256d& px, __m256d& py) {
  px = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(v.m00, xs), v.a0), v.m02);
  py = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(v.m10, xs), v.a1), v.m12);
  if constexpr (Kind == kRowWeight) {
    px = _mm256_mul_pd(v.w, px);
    py = _mm256_mul_pd(v.w, py);
  } else if constexpr (Kind == kProjective) {
    const __m256d w = _mm256_div_pd(
        _mm256_set1_pd(1.0), _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(v.m20, xs), v.a2), v.m22));
    px = _mm256_mul_pd(w, px);
    py = _mm256_mul_pd(w, py);
  }
}

TAVRONA_ALWAYS_INLINE int KindOf(const RowMap& r) {
  if (r.projective) return kProjective;
  return r.w == 1.0 ? kUnitWeight : kRowWeight;
}

// Eight pixels per step. The truncating conversion gives trunc(v) for every v that fits in 32
// bits and 0x80000000 otherwise (also for NaN); with the region starting at 0 or later, that
// value always misses, as the scalar test does. For method 2, 0x80000000 - 4096 wraps to
// 0x7FFFF000, beyond any picture (at most 2^29 pixels).
template <int Method, int Kind>
TAVRONA_ALWAYS_INLINE void MapNearestSimdKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                              int32_t* offset) {
  const RowMapV v(r);
  const __m256d bias = _mm256_set1_pd(4096.0);
  const __m256i bias32 = _mm256_set1_epi32(4096);
  const __m256i leftLess = _mm256_set1_epi32(p.left - 1), right = _mm256_set1_epi32(p.right);
  const __m256i topLess = _mm256_set1_epi32(p.top - 1), bottom = _mm256_set1_epi32(p.bottom);
  const __m256i width = _mm256_set1_epi32(p.sourceWidth);
  const __m256i skip = _mm256_set1_epi32(kSkip);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256d xs0 = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(x + i)), Iota4());
    const __m256d xs1 = _mm256_add_pd(xs0, _mm256_set1_pd(4.0));
    __m256d vx0, vy0, vx1, vy1;
    MapPoint4<Kind>(v, xs0, vx0, vy0);
    MapPoint4<Kind>(v, xs1, vx1, vy1);
    if constexpr (Method == 2) {
      vx0 = _mm256_add_pd(vx0, bias);
      vy0 = _mm256_add_pd(vy0, bias);
      vx1 = _mm256_add_pd(vx1, bias);
      vy1 = _mm256_add_pd(vy1, bias);
    }
    __m256i tx = _mm256_set_m128i(_mm256_cvttpd_epi32(vx1), _mm256_cvttpd_epi32(vx0));
    __m256i ty = _mm256_set_m128i(_mm256_cvttpd_epi32(vy1), _mm256_cvttpd_epi32(vy0));
    if constexpr (Method == 2) {
      tx = _mm256_sub_epi32(tx, bias32);
      ty = _mm256_sub_epi32(ty, bias32);
    }
    const __m256i valid = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpgt_epi32(tx, leftLess), _mm256_cmpgt_epi32(right, tx)),
        _mm256_and_si256(_mm256_cmpgt_epi32(ty, topLess), _mm256_cmpgt_epi32(bottom, ty)));
    const __m256i off = _mm256_sub_epi32(tx, _mm256_mullo_epi32(ty, width));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(offset + i),
                        _mm256_blendv_epi8(skip, off, valid));
  }
  for (; i < n; ++i) offset[i] = MapNearestOne<Method>(r, p, x + i);
}

template <int Method, bool Projective>
TAVRONA_ALWAYS_INLINE void MapNearestSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                          int32_t* offset) {
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapNearestSimdKind<Method, kUnitWeight>(r, p, x, n, offset);
    case kRowWeight:
      return MapNearestSimdKind<Method, kRowWeight>(r, p, x, n, offset);
    default:
      return MapNearestSimdKind<Method, kProjective>(r, p, x, n, offset);
  }
}

// Small: every coordinate u of the picture fits in 32 bits (sides below 2^22 texels), so u is
// converted once and split with a shift and a mask; trunc and floor agree there because the
// sample point is not negative. Otherwise the split is done in double precision.
template <bool Rounding, bool Keyed, int Kind, bool Small>
TAVRONA_ALWAYS_INLINE void MapLinearSimdKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                             int32_t* ix, int32_t* iy, int32_t* fxy) {
  [[maybe_unused]] constexpr int kTrunc = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
  constexpr int kFloor = _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC;
  const RowMapV v(r);
  const __m256d left = _mm256_set1_pd(p.leftF), right = _mm256_set1_pd(p.rightF);
  const __m256d top = _mm256_set1_pd(p.topF), bottom = _mm256_set1_pd(p.bottomF);
  const __m256d k256 = _mm256_set1_pd(256.0), kInv256 = _mm256_set1_pd(1.0 / 256.0);
  const __m256d kHalf = _mm256_set1_pd(0.5), k128 = _mm256_set1_pd(128.0);
  const __m128i skip = _mm_set1_epi32(kSkip);
  auto fixed = [&](__m256d s, __m128i& whole, __m128i& fraction) {
    if constexpr (Small) {
      __m128i u;
      if constexpr (Keyed) {
        const __m256d t = _mm256_mul_pd(_mm256_sub_pd(s, kHalf), k256);
        u = _mm256_cvttpd_epi32(Rounding ? _mm256_add_pd(t, kHalf) : t);
      } else {
        const __m256d t = _mm256_mul_pd(s, k256);
        u = _mm_sub_epi32(_mm256_cvttpd_epi32(Rounding ? _mm256_add_pd(t, kHalf) : t),
                          _mm_set1_epi32(128));
      }
      whole = _mm_srai_epi32(u, 8);
      fraction = _mm_and_si128(u, _mm_set1_epi32(255));
      return;
    }
    __m256d u;
    if constexpr (Keyed) {
      const __m256d t = _mm256_mul_pd(_mm256_sub_pd(s, kHalf), k256);
      u = _mm256_round_pd(Rounding ? _mm256_add_pd(t, kHalf) : t, kTrunc);
    } else {
      const __m256d t = _mm256_mul_pd(s, k256);
      u = _mm256_sub_pd(_mm256_round_pd(Rounding ? _mm256_add_pd(t, kHalf) : t, kFloor), k128);
    }
    const __m256d w = _mm256_round_pd(_mm256_mul_pd(u, kInv256), kFloor);
    whole = _mm256_cvttpd_epi32(w);
    fraction = _mm256_cvttpd_epi32(_mm256_sub_pd(u, _mm256_mul_pd(w, k256)));
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d xs = _mm256_add_pd(_mm256_set1_pd(static_cast<double>(x + i)), Iota4());
    __m256d sx, sy;
    MapPoint4<Kind>(v, xs, sx, sy);
    sx = _mm256_cvtps_pd(_mm256_cvtpd_ps(sx));  // the sample point is a float
    sy = _mm256_cvtps_pd(_mm256_cvtpd_ps(sy));
    const __m256d valid = _mm256_and_pd(InRange(sx, left, right), InRange(sy, top, bottom));
    // Invalid lanes are zeroed before the fixed-point conversion so that it stays in range.
    sx = _mm256_and_pd(sx, valid);
    sy = _mm256_and_pd(sy, valid);
    __m128i wx, fx, wy, fy;
    fixed(sx, wx, fx);
    fixed(sy, wy, fy);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ix + i), _mm_blendv_epi8(skip, wx, Narrow(valid)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iy + i), wy);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(fxy + i), _mm_or_si128(fx, _mm_slli_epi32(fy, 16)));
  }
  for (; i < n; ++i) MapLinearOne<Rounding, Keyed>(r, p, x + i, ix[i], iy[i], fxy[i]);
}

template <bool Rounding, bool Keyed, bool Projective>
TAVRONA_ALWAYS_INLINE void MapLinearSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                         int32_t* ix, int32_t* iy, int32_t* fxy) {
  if (!p.smallSource) {
    return MapLinearSimdKind<Rounding, Keyed, kProjective, false>(r, p, x, n, ix, iy, fxy);
  }
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapLinearSimdKind<Rounding, Keyed, kUnitWeight, true>(r, p, x, n, ix, iy, fxy);
    case kRowWeight:
      return MapLinearSimdKind<Rounding, Keyed, kRowWeight, true>(r, p, x, n, ix, iy, fxy);
    default:
      return MapLinearSimdKind<Rounding, Keyed, kProjective, true>(r, p, x, n, ix, iy, fxy);
  }
}

// ---- Eight-pixel channel arithmetic ----------------------------------------------------------

TAVRONA_ALWAYS_INLINE __m256i ColourMask() {
  return _mm256_set1_epi32(0x00FFFFFF);
}
TAVRONA_ALWAYS_INLINE __m256i Lo16(__m256i v) {
  return _mm256_unpacklo_epi8(v, _mm256_setzero_si256());
}
TAVRONA_ALWAYS_INLINE __m256i Hi16(__m256i v) {
  return _mm256_unpackhi_epi8(v, _mm256_setzero_si256());
}

// A weight per pixel (32-bit lanes, 0..256) spread over that pixel's four 16-bit channels, for
// the low and the high unpacked halves.
TAVRONA_ALWAYS_INLINE void SpreadWeights(__m256i w, __m256i& lo, __m256i& hi) {
  const __m256i pair = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
  lo = _mm256_unpacklo_epi32(pair, pair);
  hi = _mm256_unpackhi_epi32(pair, pair);
}

// MixPixel with a weight per channel lane (wlo, whi as SpreadWeights gives them).
TAVRONA_ALWAYS_INLINE __m256i MixV(__m256i wlo, __m256i whi, __m256i s, __m256i d) {
  const __m256i k256 = _mm256_set1_epi16(256);
  const __m256i lo =
      _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(Lo16(s), wlo),
                                         _mm256_mullo_epi16(Lo16(d), _mm256_sub_epi16(k256, wlo))),
                        8);
  const __m256i hi =
      _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(Hi16(s), whi),
                                         _mm256_mullo_epi16(Hi16(d), _mm256_sub_epi16(k256, whi))),
                        8);
  return _mm256_and_si256(_mm256_packus_epi16(lo, hi), ColourMask());
}

// x / 255 truncated for 16-bit x: (x * 0x8081) >> 23.
TAVRONA_ALWAYS_INLINE __m256i Div255x16(__m256i x) {
  return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))), 7);
}

TAVRONA_ALWAYS_INLINE __m256i MultiplyV(__m256i a, __m256i b) {
  const __m256i lo = Div255x16(_mm256_mullo_epi16(Lo16(a), Lo16(b)));
  const __m256i hi = Div255x16(_mm256_mullo_epi16(Hi16(a), Hi16(b)));
  return _mm256_and_si256(_mm256_packus_epi16(lo, hi), ColourMask());
}

template <int Mode, bool Opaque>
TAVRONA_ALWAYS_INLINE __m256i BlendV(__m256i s, __m256i d, __m256i opacityLo) {
  if constexpr (Mode == 0) {
    if constexpr (Opaque) {
      return s;
    } else {
      return MixV(opacityLo, opacityLo, s, d);
    }
  } else if constexpr (Mode == 1) {
    return _mm256_and_si256(d, s);
  } else if constexpr (Mode == 2) {
    return _mm256_or_si256(d, s);
  } else if constexpr (Mode == 3) {
    return _mm256_xor_si256(d, s);
  } else if constexpr (Mode == 4) {
    return MultiplyV(d, s);
  } else if constexpr (Mode == 5) {
    return _mm256_and_si256(_mm256_adds_epu8(d, s), ColourMask());
  } else {
    return _mm256_and_si256(_mm256_subs_epu8(d, s), ColourMask());
  }
}

TAVRONA_ALWAYS_INLINE bool None(__m256i mask) {
  return _mm256_testz_si256(mask, mask) != 0;
}

// Asks for the cache line of the texel at base + offset + ahead bytes (an address that is only
// a guess and may lie outside the picture: prefetches never fault).
TAVRONA_ALWAYS_INLINE void PrefetchTexel(const void* base, int32_t offset, intptr_t ahead) {
  if (offset == kSkip) return;
  const uintptr_t address =
      reinterpret_cast<uintptr_t>(base) + static_cast<intptr_t>(offset) * 4 + ahead;
  _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
}

// Eight texels at src + off where valid, 0 elsewhere. Lanes that are not valid read the texel
// at src + safe instead (a texel of the region), so no lane reads outside the region.
TAVRONA_ALWAYS_INLINE __m256i Gather8(const int* src, __m256i off, __m256i valid, int32_t safe) {
#if defined(TAVRONA_HARDWARE_GATHER)
  (void)safe;
  return _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), src, off, valid, 4);
#else
  alignas(32) int32_t o[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(o),
                     _mm256_blendv_epi8(_mm256_set1_epi32(safe), off, valid));
  const __m256i t = _mm256_setr_epi32(src[o[0]], src[o[1]], src[o[2]], src[o[3]], src[o[4]],
                                      src[o[5]], src[o[6]], src[o[7]]);
  return _mm256_and_si256(t, valid);
#endif
}

// Eight texels of one source row: when all lanes are valid and lie within eight texels from
// the first lane's column, and those eight texels are inside the region (windowEnd: the region's
// right edge as an offset from src), one load and a permutation fetch them. False otherwise.
TAVRONA_ALWAYS_INLINE bool WindowFetch(const int* src, __m256i off, int32_t first,
                                       int32_t windowEnd, __m256i& out) {
  if (first == kSkip || first > windowEnd - 8) return false;
  const __m256i delta = _mm256_sub_epi32(off, _mm256_set1_epi32(first));
  const __m256i inside = _mm256_and_si256(_mm256_cmpgt_epi32(delta, _mm256_set1_epi32(-1)),
                                          _mm256_cmpgt_epi32(_mm256_set1_epi32(8), delta));
  if (_mm256_movemask_epi8(inside) != -1) return false;  // also rejects kSkip lanes
  out = _mm256_permutevar8x32_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + first)), delta);
  return true;
}

// source and offset: texel i is source[offset[i]]. safe: the offset of a texel of the region.
// windowEnd: for separable placements, where source is one row of the picture and the offsets
// are columns, the region's right edge (eight texels close together are then loaded at once);
// 0 otherwise. prefetchBytes: see PrefetchDistance.
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendNearestSimd(const DrawPlan& p, const uint32_t* source, int32_t safe,
                                            const int32_t* offset, int n, uint32_t* d,
                                            int32_t windowEnd, intptr_t prefetchBytes = 0) {
  const int* src = reinterpret_cast<const int*>(source);
  const __m256i skip = _mm256_set1_epi32(kSkip), key = _mm256_set1_epi32(static_cast<int>(p.key));
  const __m256i colour = _mm256_set1_epi32(static_cast<int>(p.colour));
  const __m256i opacity = _mm256_set1_epi16(static_cast<short>(p.opacity));
  const __m256i ones = _mm256_set1_epi32(-1);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i off = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(offset + i));
    __m256i valid = _mm256_xor_si256(_mm256_cmpeq_epi32(off, skip), ones);
    if (None(valid)) continue;
    __m256i s;
    if (windowEnd != 0 && WindowFetch(src, off, offset[i], windowEnd, s)) {
      // fetched
    } else {
      if constexpr (Mode == 0 && Opaque && !Coloured && !Keyed) {
        // A plain copy: scalar moves beat assembling a vector from eight loads.
        if (_mm256_movemask_epi8(valid) == -1) {
          for (int k = 0; k < 8; ++k) d[i + k] = source[offset[i + k]];
          // The same columns some rows further down will want texels near these.
          PrefetchTexel(source, offset[i], prefetchBytes);
          PrefetchTexel(source, offset[i + 4], prefetchBytes);
          continue;
        }
      }
      s = Gather8(src, off, valid, safe);
      if (prefetchBytes != 0) {
        PrefetchTexel(source, offset[i], prefetchBytes);
        PrefetchTexel(source, offset[i + 4], prefetchBytes);
      }
    }
    if constexpr (Keyed) valid = _mm256_andnot_si256(_mm256_cmpeq_epi32(s, key), valid);
    __m256i* dp = reinterpret_cast<__m256i*>(d + i);
    if constexpr (Mode == 0 && Opaque && !Coloured) {
      // Eight texels copied whole: the destination need not be read.
      if (_mm256_movemask_epi8(valid) == -1) {
        _mm256_storeu_si256(dp, s);
        continue;
      }
    }
    const __m256i dv = _mm256_loadu_si256(dp);
    const __m256i sc = Coloured ? MultiplyV(s, colour) : s;
    _mm256_storeu_si256(dp, _mm256_blendv_epi8(dv, BlendV<Mode, Opaque>(sc, dv, opacity), valid));
  }
  if (i < n) BlendNearest<Mode, Keyed, Coloured, Opaque>(p, source, offset + i, n - i, d + i);
}

// Eight bilinear samples; valid lanes only are gathered. Unkeyed: fourth byte 0 except for
// single corner texels; keyed: coverage in the fourth byte.
template <bool Rounding, bool Keyed>
// sameRows: all lanes share their row (separable placements).
TAVRONA_ALWAYS_INLINE __m256i SampleSimd(const DrawPlan& p, const SampleRegion& region, __m256i ix,
                                         __m256i iy, __m256i f, __m256i valid, bool sameRows) {
  const int* src = reinterpret_cast<const int*>(p.sourceTop);
  const __m256i one = _mm256_set1_epi32(1), byte = _mm256_set1_epi32(0xFF);
  const __m256i firstX = _mm256_set1_epi32(region.firstX), lastX = _mm256_set1_epi32(region.lastX);
  const __m256i firstY = _mm256_set1_epi32(region.firstY), lastY = _mm256_set1_epi32(region.lastY);
  // Columns: ix < firstX or ix >= lastX use one column with fraction 0.
  const __m256i beforeX = _mm256_cmpgt_epi32(firstX, ix);
  const __m256i edgeX = _mm256_or_si256(
      beforeX, _mm256_xor_si256(_mm256_cmpgt_epi32(lastX, ix), _mm256_set1_epi32(-1)));
  const __m256i c0 = _mm256_blendv_epi8(ix, _mm256_blendv_epi8(lastX, firstX, beforeX), edgeX);
  const __m256i c1 = _mm256_blendv_epi8(_mm256_add_epi32(ix, one), c0, edgeX);
  __m256i fx = _mm256_andnot_si256(edgeX, _mm256_and_si256(f, byte));
  const __m256i beforeY = _mm256_cmpgt_epi32(firstY, iy);
  const __m256i edgeY = _mm256_or_si256(
      beforeY, _mm256_xor_si256(_mm256_cmpgt_epi32(lastY, iy), _mm256_set1_epi32(-1)));
  const __m256i r0 = _mm256_blendv_epi8(iy, _mm256_blendv_epi8(lastY, firstY, beforeY), edgeY);
  const __m256i r1 = _mm256_blendv_epi8(_mm256_add_epi32(iy, one), r0, edgeY);
  const __m256i fy = _mm256_andnot_si256(edgeY, _mm256_srli_epi32(f, 16));
  __m256i t00, t10, t01, t11;
  // Separable placements: all eight pixels sample the same two rows, and under magnification
  // their columns lie within eight texels, fetched with one load per row.
  bool fetched = false;
  if (sameRows && _mm256_movemask_epi8(valid) == -1) {
    const int32_t first = _mm256_cvtsi256_si32(c0);
    const int32_t top = _mm256_cvtsi256_si32(r0), bottom = _mm256_cvtsi256_si32(r1);
    const int* row0 = src - static_cast<ptrdiff_t>(top) * p.sourceWidth;
    const int* row1 = src - static_cast<ptrdiff_t>(bottom) * p.sourceWidth;
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
  const __m256i width = _mm256_set1_epi32(p.sourceWidth);
  const __m256i row0 = _mm256_mullo_epi32(r0, width), row1 = _mm256_mullo_epi32(r1, width);
  const int32_t safe = region.firstX - region.firstY * p.sourceWidth;
  if (!fetched && region.lastX > region.firstX) {
    // Left and right texels side by side, loaded as pairs. A pixel right of the last column
    // takes the pair ending there with all weight on its right texel, which gives that texel
    // exactly as the single-column form does.
    const __m256i lastPair = _mm256_set1_epi32(region.lastX - 1);
    const __m256i rightEdge = _mm256_cmpeq_epi32(c0, lastX);
    fx = _mm256_blendv_epi8(fx, _mm256_set1_epi32(256), rightEdge);
    const __m256i pc = _mm256_min_epi32(c0, lastPair);
    const __m256i safeV = _mm256_set1_epi32(safe);
    alignas(32) int32_t o0[8], o1[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(o0),
                       _mm256_blendv_epi8(safeV, _mm256_sub_epi32(pc, row0), valid));
    _mm256_store_si256(reinterpret_cast<__m256i*>(o1),
                       _mm256_blendv_epi8(safeV, _mm256_sub_epi32(pc, row1), valid));
    auto pairs = [&](const int32_t* o, __m256i& left, __m256i& right) {
      auto two = [&](int k) {
        return _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k])),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k + 1])));
      };
      const __m256i a = _mm256_set_m128i(two(2), two(0));  // pixels 0..3, left/right interleaved
      const __m256i b = _mm256_set_m128i(two(6), two(4));  // pixels 4..7
      const __m256 fa = _mm256_castsi256_ps(a), fb = _mm256_castsi256_ps(b);
      left = _mm256_permute4x64_epi64(
          _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
          _MM_SHUFFLE(3, 1, 2, 0));
      right = _mm256_permute4x64_epi64(
          _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))),
          _MM_SHUFFLE(3, 1, 2, 0));
    };
    pairs(o0, t00, t10);
    pairs(o1, t01, t11);
    fetched = true;
  }
  if (!fetched) {
    t00 = Gather8(src, _mm256_sub_epi32(c0, row0), valid, safe);
    t10 = Gather8(src, _mm256_sub_epi32(c1, row0), valid, safe);
    t01 = Gather8(src, _mm256_sub_epi32(c0, row1), valid, safe);
    t11 = Gather8(src, _mm256_sub_epi32(c1, row1), valid, safe);
  }
  if constexpr (Keyed) {
    const __m256i key = _mm256_set1_epi32(static_cast<int>(p.key));
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    auto cover = [&](__m256i t) {
      const __m256i isKey = _mm256_cmpeq_epi32(t, key);
      return _mm256_blendv_epi8(_mm256_or_si256(t, opaque), _mm256_and_si256(t, ColourMask()),
                                isKey);
    };
    t00 = cover(t00);
    t10 = cover(t10);
    t01 = cover(t01);
    t11 = cover(t11);
  }
  const __m256i k256 = _mm256_set1_epi32(256);
  __m256i fxLo, fxHi, gxLo, gxHi, fyLo, fyHi, gyLo, gyHi;
  SpreadWeights(fx, fxLo, fxHi);
  SpreadWeights(_mm256_sub_epi32(k256, fx), gxLo, gxHi);
  SpreadWeights(fy, fyLo, fyHi);
  SpreadWeights(_mm256_sub_epi32(k256, fy), gyLo, gyHi);
  const __m256i round = _mm256_set1_epi16(Rounding ? 128 : 0);
  auto lerp2 = [&](__m256i a00, __m256i a10, __m256i a01, __m256i a11, __m256i fxw, __m256i gxw,
                   __m256i fyw, __m256i gyw) {
    const __m256i upper = _mm256_srli_epi16(
        _mm256_add_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(a00, gxw), _mm256_mullo_epi16(a10, fxw)), round),
        8);
    const __m256i lower = _mm256_srli_epi16(
        _mm256_add_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(a01, gxw), _mm256_mullo_epi16(a11, fxw)), round),
        8);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(upper, gyw),
                                                               _mm256_mullo_epi16(lower, fyw)),
                                              round),
                             8);
  };
  const __m256i lo = lerp2(Lo16(t00), Lo16(t10), Lo16(t01), Lo16(t11), fxLo, gxLo, fyLo, gyLo);
  const __m256i hi = lerp2(Hi16(t00), Hi16(t10), Hi16(t01), Hi16(t11), fxHi, gxHi, fyHi, gyHi);
  const __m256i s = _mm256_packus_epi16(lo, hi);
  if constexpr (Keyed) {
    return s;
  } else {
    // A single corner texel keeps its fourth byte, which the arithmetic carried through
    // unchanged (weights 0 and 256 in both directions).
    const __m256i corner = _mm256_and_si256(edgeX, edgeY);
    return _mm256_blendv_epi8(_mm256_and_si256(s, ColourMask()), s, corner);
  }
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendLinearSimd(const DrawPlan& p, const SampleRegion& region,
                                           const int32_t* ix, const int32_t* iy, const int32_t* fxy,
                                           int n, uint32_t* d, intptr_t prefetchBytes = 0) {
  const __m256i skip = _mm256_set1_epi32(kSkip), ones = _mm256_set1_epi32(-1);
  const __m256i colour = _mm256_set1_epi32(static_cast<int>(p.colour));
  const __m256i opacity16 = _mm256_set1_epi16(static_cast<short>(p.opacity));
  const __m256i opacity32 = _mm256_set1_epi32(static_cast<int>(p.opacity));
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i vx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ix + i));
    __m256i valid = _mm256_xor_si256(_mm256_cmpeq_epi32(vx, skip), ones);
    if (None(valid)) continue;
    const __m256i vy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(iy + i));
    const __m256i vf = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(fxy + i));
    const __m256i s = SampleSimd<Rounding, Keyed>(p, region, vx, vy, vf, valid, p.separable);
    if (prefetchBytes != 0) {
      if (ix[i] != kSkip) PrefetchTexel(p.sourceTop, ix[i] - iy[i] * p.sourceWidth, prefetchBytes);
      if (ix[i + 4] != kSkip) {
        PrefetchTexel(p.sourceTop, ix[i + 4] - iy[i + 4] * p.sourceWidth, prefetchBytes);
      }
    }
    __m256i* dp = reinterpret_cast<__m256i*>(d + i);
    const __m256i dv = _mm256_loadu_si256(dp);
    __m256i result;
    if constexpr (Keyed) {
      const __m256i alpha = _mm256_srli_epi32(s, 24);
      valid = _mm256_andnot_si256(_mm256_cmpeq_epi32(alpha, _mm256_setzero_si256()), valid);
      if (None(valid)) continue;
      const __m256i full = _mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255));
      const __m256i sc = Coloured ? MultiplyV(s, colour) : _mm256_and_si256(s, ColourMask());
      __m256i w;
      if constexpr (Mode == 0 && !Opaque) {
        // (alpha * A) / 255 below full coverage, A at full coverage.
        const __m256i scaled = _mm256_srli_epi32(
            _mm256_mullo_epi32(_mm256_mullo_epi32(alpha, opacity32), _mm256_set1_epi32(0x8081)),
            23);
        w = _mm256_blendv_epi8(scaled, opacity32, full);
      } else {
        w = _mm256_blendv_epi8(alpha, _mm256_set1_epi32(256), full);
      }
      __m256i wLo, wHi;
      SpreadWeights(w, wLo, wHi);
      const __m256i mixed = MixV(wLo, wHi, sc, dv);
      if constexpr (Mode == 0) {
        result = mixed;
      } else {
        result = BlendV<Mode, true>(mixed, dv, opacity16);
      }
    } else {
      const __m256i sc = Coloured ? MultiplyV(s, colour) : s;
      result = BlendV<Mode, Opaque>(sc, dv, opacity16);
    }
    _mm256_storeu_si256(dp, _mm256_blendv_epi8(dv, result, valid));
  }
  if (i < n) {
    BlendLinear<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, ix + i, iy + i, fxy + i, n - i,
                                                         d + i);
  }
}
