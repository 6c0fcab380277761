// SSE4.1 versions of the chunk loops of kernel_rows.h, the same algorithms as the AVX2 ones
// (kernel_rows_avx2.h, which explains them) on 128-bit vectors: the mapping two pixels per double
// vector, sampling and blending four pixels at a time. Included by kernel_rows.h inside the
// variant's namespace when __SSE4_1__ is set and __AVX2__ is not.

#define TAVRONA_ALWAYS_INLINE inline __attribute__((always_inline))

enum WeightKind { kUnitWeight, kRowWeight, kProjective };

inline int KindOf(const RowMap& r) {
  if (r.projective) return kProjective;
  return r.w == 1.0 ? kUnitWeight : kRowWeight;
}

struct RowMapV {
  __m128d m00, m02, m10, m12, m20, m22, a0, a1, a2, w;
  explicit RowMapV(const RowMap& r)
      : m00(_mm_set1_pd(r.m00)),
        m02(_mm_set1_pd(r.m02)),
        m10(_mm_set1_pd(r.m10)),
        m12(_mm_set1_pd(r.m12)),
        m20(_mm_set1_pd(r.m20)),
        m22(_mm_set1_pd(r.m22)),
        a0(_mm_set1_pd(r.a0)),
        a1(_mm_set1_pd(r.a1)),
        a2(_mm_set1_pd(r.a2)),
        w(_mm_set1_pd(r.w)) {}
};

template <int Kind>
TAVRONA_ALWAYS_INLINE void MapPoint2(const RowMapV& v, __m128d xs, __m128d& px, __m128d& py) {
  px = _mm_add_pd(_mm_add_pd(_mm_mul_pd(v.m00, xs), v.a0), v.m02);
  py = _mm_add_pd(_mm_add_pd(_mm_mul_pd(v.m10, xs), v.a1), v.m12);
  if constexpr (Kind == kRowWeight) {
    px = _mm_mul_pd(v.w, px);
    py = _mm_mul_pd(v.w, py);
  } else if constexpr (Kind == kProjective) {
    const __m128d w =
        _mm_div_pd(_mm_set1_pd(1.0), _mm_add_pd(_mm_add_pd(_mm_mul_pd(v.m20, xs), v.a2), v.m22));
    px = _mm_mul_pd(w, px);
    py = _mm_mul_pd(w, py);
  }
}

// Four truncated conversions: pixels 0, 1 from a, 2, 3 from b (0x80000000 where out of range).
TAVRONA_ALWAYS_INLINE __m128i Convert4(__m128d a, __m128d b) {
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(a), _mm_cvttpd_epi32(b));
}

template <int Method, int Kind>
TAVRONA_ALWAYS_INLINE void MapNearestSimdKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                              int32_t* offset) {
  const RowMapV v(r);
  const __m128d bias = _mm_set1_pd(4096.0);
  const __m128i bias32 = _mm_set1_epi32(4096);
  const __m128i leftLess = _mm_set1_epi32(p.left - 1), right = _mm_set1_epi32(p.right);
  const __m128i topLess = _mm_set1_epi32(p.top - 1), bottom = _mm_set1_epi32(p.bottom);
  const __m128i width = _mm_set1_epi32(p.sourceWidth);
  const __m128i skip = _mm_set1_epi32(kSkip);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128d xs0 = _mm_set_pd(x + i + 1, x + i);
    const __m128d xs1 = _mm_add_pd(xs0, _mm_set1_pd(2.0));
    __m128d vx0, vy0, vx1, vy1;
    MapPoint2<Kind>(v, xs0, vx0, vy0);
    MapPoint2<Kind>(v, xs1, vx1, vy1);
    if constexpr (Method == 2) {
      vx0 = _mm_add_pd(vx0, bias);
      vy0 = _mm_add_pd(vy0, bias);
      vx1 = _mm_add_pd(vx1, bias);
      vy1 = _mm_add_pd(vy1, bias);
    }
    __m128i tx = Convert4(vx0, vx1);
    __m128i ty = Convert4(vy0, vy1);
    if constexpr (Method == 2) {
      tx = _mm_sub_epi32(tx, bias32);
      ty = _mm_sub_epi32(ty, bias32);
    }
    const __m128i valid =
        _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(tx, leftLess), _mm_cmpgt_epi32(right, tx)),
                      _mm_and_si128(_mm_cmpgt_epi32(ty, topLess), _mm_cmpgt_epi32(bottom, ty)));
    const __m128i off = _mm_sub_epi32(tx, _mm_mullo_epi32(ty, width));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(offset + i), _mm_blendv_epi8(skip, off, valid));
  }
  for (; i < n; ++i) offset[i] = MapNearestOne<Method>(r, p, x + i);
}

template <int Method, bool Projective>
inline void MapNearestSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n, int32_t* offset) {
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapNearestSimdKind<Method, kUnitWeight>(r, p, x, n, offset);
    case kRowWeight:
      return MapNearestSimdKind<Method, kRowWeight>(r, p, x, n, offset);
    default:
      return MapNearestSimdKind<Method, kProjective>(r, p, x, n, offset);
  }
}

// Bilinear mapping, for pictures below 2^22 texels a side (else the scalar loop runs).
template <bool Rounding, bool Keyed, int Kind>
TAVRONA_ALWAYS_INLINE void MapLinearSimdKind(const RowMap& r, const DrawPlan& p, int32_t x, int n,
                                             int32_t* ix, int32_t* iy, int32_t* fxy) {
  const RowMapV v(r);
  const __m128d left = _mm_set1_pd(p.leftF), right = _mm_set1_pd(p.rightF);
  const __m128d top = _mm_set1_pd(p.topF), bottom = _mm_set1_pd(p.bottomF);
  const __m128d k256 = _mm_set1_pd(256.0), kHalf = _mm_set1_pd(0.5);
  const __m128i skip = _mm_set1_epi32(kSkip);
  auto toFloat = [](__m128d a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); };
  auto inRange = [](__m128d a, __m128d low, __m128d high) {
    return _mm_and_pd(_mm_cmpge_pd(a, low), _mm_cmplt_pd(a, high));
  };
  auto scaled = [&](__m128d s) {
    if constexpr (Keyed) {
      const __m128d t = _mm_mul_pd(_mm_sub_pd(s, kHalf), k256);
      return Rounding ? _mm_add_pd(t, kHalf) : t;
    } else {
      const __m128d t = _mm_mul_pd(s, k256);
      return Rounding ? _mm_add_pd(t, kHalf) : t;
    }
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128d xs0 = _mm_set_pd(x + i + 1, x + i);
    const __m128d xs1 = _mm_add_pd(xs0, _mm_set1_pd(2.0));
    __m128d sx0, sy0, sx1, sy1;
    MapPoint2<Kind>(v, xs0, sx0, sy0);
    MapPoint2<Kind>(v, xs1, sx1, sy1);
    sx0 = toFloat(sx0);
    sy0 = toFloat(sy0);
    sx1 = toFloat(sx1);
    sy1 = toFloat(sy1);
    const __m128d valid0 = _mm_and_pd(inRange(sx0, left, right), inRange(sy0, top, bottom));
    const __m128d valid1 = _mm_and_pd(inRange(sx1, left, right), inRange(sy1, top, bottom));
    // Invalid lanes are zeroed so that the conversions stay in range.
    __m128i ux = Convert4(scaled(_mm_and_pd(sx0, valid0)), scaled(_mm_and_pd(sx1, valid1)));
    __m128i uy = Convert4(scaled(_mm_and_pd(sy0, valid0)), scaled(_mm_and_pd(sy1, valid1)));
    if constexpr (!Keyed) {
      ux = _mm_sub_epi32(ux, _mm_set1_epi32(128));
      uy = _mm_sub_epi32(uy, _mm_set1_epi32(128));
    }
    const __m128i valid = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castpd_ps(valid0), _mm_castpd_ps(valid1), _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i byte = _mm_set1_epi32(255);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ix + i),
                     _mm_blendv_epi8(skip, _mm_srai_epi32(ux, 8), valid));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iy + i), _mm_srai_epi32(uy, 8));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(fxy + i),
        _mm_or_si128(_mm_and_si128(ux, byte), _mm_slli_epi32(_mm_and_si128(uy, byte), 16)));
  }
  for (; i < n; ++i) MapLinearOne<Rounding, Keyed>(r, p, x + i, ix[i], iy[i], fxy[i]);
}

template <bool Rounding, bool Keyed, bool Projective>
inline void MapLinearSimd(const RowMap& r, const DrawPlan& p, int32_t x, int n, int32_t* ix,
                          int32_t* iy, int32_t* fxy) {
  if (!p.smallSource) return MapLinear<Rounding, Keyed>(r, p, x, n, ix, iy, fxy);
  switch (KindOf(r)) {
    case kUnitWeight:
      return MapLinearSimdKind<Rounding, Keyed, kUnitWeight>(r, p, x, n, ix, iy, fxy);
    case kRowWeight:
      return MapLinearSimdKind<Rounding, Keyed, kRowWeight>(r, p, x, n, ix, iy, fxy);
    default:
      return MapLinearSimdKind<Rounding, Keyed, kProjective>(r, p, x, n, ix, iy, fxy);
  }
}

// ---- Four-pixel channel arithmetic -----------------------------------------------------------

TAVRONA_ALWAYS_INLINE __m128i ColourMask() {
  return _mm_set1_epi32(0x00FFFFFF);
}
TAVRONA_ALWAYS_INLINE __m128i Lo16(__m128i v) {
  return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}
TAVRONA_ALWAYS_INLINE __m128i Hi16(__m128i v) {
  return _mm_unpackhi_epi8(v, _mm_setzero_si128());
}

TAVRONA_ALWAYS_INLINE void SpreadWeights(__m128i w, __m128i& lo, __m128i& hi) {
  const __m128i pair = _mm_or_si128(w, _mm_slli_epi32(w, 16));
  lo = _mm_unpacklo_epi32(pair, pair);
  hi = _mm_unpackhi_epi32(pair, pair);
}

TAVRONA_ALWAYS_INLINE __m128i MixV(__m128i wlo, __m128i whi, __m128i s, __m128i d) {
  const __m128i k256 = _mm_set1_epi16(256);
  const __m128i lo =
      _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Lo16(s), wlo),
                                   _mm_mullo_epi16(Lo16(d), _mm_sub_epi16(k256, wlo))),
                     8);
  const __m128i hi =
      _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(Hi16(s), whi),
                                   _mm_mullo_epi16(Hi16(d), _mm_sub_epi16(k256, whi))),
                     8);
  return _mm_and_si128(_mm_packus_epi16(lo, hi), ColourMask());
}

TAVRONA_ALWAYS_INLINE __m128i Div255x16(__m128i x) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

TAVRONA_ALWAYS_INLINE __m128i MultiplyV(__m128i a, __m128i b) {
  const __m128i lo = Div255x16(_mm_mullo_epi16(Lo16(a), Lo16(b)));
  const __m128i hi = Div255x16(_mm_mullo_epi16(Hi16(a), Hi16(b)));
  return _mm_and_si128(_mm_packus_epi16(lo, hi), ColourMask());
}

template <int Mode, bool Opaque>
TAVRONA_ALWAYS_INLINE __m128i BlendV(__m128i s, __m128i d, __m128i opacity) {
  if constexpr (Mode == 0) {
    if constexpr (Opaque) {
      return s;
    } else {
      return MixV(opacity, opacity, s, d);
    }
  } else if constexpr (Mode == 1) {
    return _mm_and_si128(d, s);
  } else if constexpr (Mode == 2) {
    return _mm_or_si128(d, s);
  } else if constexpr (Mode == 3) {
    return _mm_xor_si128(d, s);
  } else if constexpr (Mode == 4) {
    return MultiplyV(d, s);
  } else if constexpr (Mode == 5) {
    return _mm_and_si128(_mm_adds_epu8(d, s), ColourMask());
  } else {
    return _mm_and_si128(_mm_subs_epu8(d, s), ColourMask());
  }
}

TAVRONA_ALWAYS_INLINE bool None(__m128i mask) {
  return _mm_testz_si128(mask, mask) != 0;
}

// Four texels at src + off where valid, 0 elsewhere; other lanes read the region texel at
// src + safe.
TAVRONA_ALWAYS_INLINE __m128i Gather4(const int* src, __m128i off, __m128i valid, int32_t safe) {
  alignas(16) int32_t o[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(o), _mm_blendv_epi8(_mm_set1_epi32(safe), off, valid));
  return _mm_and_si128(_mm_setr_epi32(src[o[0]], src[o[1]], src[o[2]], src[o[3]]), valid);
}

TAVRONA_ALWAYS_INLINE void PrefetchTexel(const void* base, int32_t offset, intptr_t ahead) {
  if (offset == kSkip) return;
  const uintptr_t address =
      reinterpret_cast<uintptr_t>(base) + static_cast<intptr_t>(offset) * 4 + ahead;
  _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
}

// As the AVX2 version; windowEnd only enables loading four consecutive texels at once.
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendNearestSimd(const DrawPlan& p, const uint32_t* source, int32_t safe,
                                            const int32_t* offset, int n, uint32_t* d,
                                            int32_t windowEnd, intptr_t prefetchBytes = 0) {
  const int* src = reinterpret_cast<const int*>(source);
  const __m128i skip = _mm_set1_epi32(kSkip), key = _mm_set1_epi32(static_cast<int>(p.key));
  const __m128i colour = _mm_set1_epi32(static_cast<int>(p.colour));
  const __m128i opacity = _mm_set1_epi16(static_cast<short>(p.opacity));
  const __m128i ones = _mm_set1_epi32(-1), iota = _mm_setr_epi32(0, 1, 2, 3);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i off = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offset + i));
    __m128i valid = _mm_xor_si128(_mm_cmpeq_epi32(off, skip), ones);
    if (None(valid)) continue;
    __m128i s;
    if (windowEnd != 0 && offset[i] != kSkip && offset[i] <= windowEnd - 4 &&
        _mm_movemask_epi8(_mm_cmpeq_epi32(off, _mm_add_epi32(_mm_set1_epi32(offset[i]), iota))) ==
            0xFFFF) {
      s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + offset[i]));
    } else {
      if constexpr (Mode == 0 && Opaque && !Coloured && !Keyed) {
        if (_mm_movemask_epi8(valid) == 0xFFFF) {
          for (int k = 0; k < 4; ++k) d[i + k] = source[offset[i + k]];
          PrefetchTexel(source, offset[i], prefetchBytes);
          continue;
        }
      }
      s = Gather4(src, off, valid, safe);
      if (prefetchBytes != 0) PrefetchTexel(source, offset[i], prefetchBytes);
    }
    if constexpr (Keyed) valid = _mm_andnot_si128(_mm_cmpeq_epi32(s, key), valid);
    __m128i* dp = reinterpret_cast<__m128i*>(d + i);
    if constexpr (Mode == 0 && Opaque && !Coloured) {
      if (_mm_movemask_epi8(valid) == 0xFFFF) {
        _mm_storeu_si128(dp, s);
        continue;
      }
    }
    const __m128i dv = _mm_loadu_si128(dp);
    const __m128i sc = Coloured ? MultiplyV(s, colour) : s;
    _mm_storeu_si128(dp, _mm_blendv_epi8(dv, BlendV<Mode, Opaque>(sc, dv, opacity), valid));
  }
  if (i < n) BlendNearest<Mode, Keyed, Coloured, Opaque>(p, source, offset + i, n - i, d + i);
}

template <bool Rounding, bool Keyed>
TAVRONA_ALWAYS_INLINE __m128i SampleSimd(const DrawPlan& p, const SampleRegion& region, __m128i ix,
                                         __m128i iy, __m128i f, __m128i valid) {
  const int* src = reinterpret_cast<const int*>(p.sourceTop);
  const __m128i one = _mm_set1_epi32(1), byte = _mm_set1_epi32(0xFF), ones = _mm_set1_epi32(-1);
  const __m128i firstX = _mm_set1_epi32(region.firstX), lastX = _mm_set1_epi32(region.lastX);
  const __m128i firstY = _mm_set1_epi32(region.firstY), lastY = _mm_set1_epi32(region.lastY);
  const __m128i beforeX = _mm_cmpgt_epi32(firstX, ix);
  const __m128i edgeX = _mm_or_si128(beforeX, _mm_xor_si128(_mm_cmpgt_epi32(lastX, ix), ones));
  const __m128i c0 = _mm_blendv_epi8(ix, _mm_blendv_epi8(lastX, firstX, beforeX), edgeX);
  const __m128i c1 = _mm_blendv_epi8(_mm_add_epi32(ix, one), c0, edgeX);
  const __m128i fx = _mm_andnot_si128(edgeX, _mm_and_si128(f, byte));
  const __m128i beforeY = _mm_cmpgt_epi32(firstY, iy);
  const __m128i edgeY = _mm_or_si128(beforeY, _mm_xor_si128(_mm_cmpgt_epi32(lastY, iy), ones));
  const __m128i r0 = _mm_blendv_epi8(iy, _mm_blendv_epi8(lastY, firstY, beforeY), edgeY);
  const __m128i r1 = _mm_blendv_epi8(_mm_add_epi32(iy, one), r0, edgeY);
  const __m128i fy = _mm_andnot_si128(edgeY, _mm_srli_epi32(f, 16));
  const __m128i width = _mm_set1_epi32(p.sourceWidth);
  const __m128i row0 = _mm_mullo_epi32(r0, width), row1 = _mm_mullo_epi32(r1, width);
  const int32_t safe = region.firstX - region.firstY * p.sourceWidth;
  __m128i t00 = Gather4(src, _mm_sub_epi32(c0, row0), valid, safe);
  __m128i t10 = Gather4(src, _mm_sub_epi32(c1, row0), valid, safe);
  __m128i t01 = Gather4(src, _mm_sub_epi32(c0, row1), valid, safe);
  __m128i t11 = Gather4(src, _mm_sub_epi32(c1, row1), valid, safe);
  if constexpr (Keyed) {
    const __m128i key = _mm_set1_epi32(static_cast<int>(p.key));
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto cover = [&](__m128i t) {
      return _mm_blendv_epi8(_mm_or_si128(t, opaque), _mm_and_si128(t, ColourMask()),
                             _mm_cmpeq_epi32(t, key));
    };
    t00 = cover(t00);
    t10 = cover(t10);
    t01 = cover(t01);
    t11 = cover(t11);
  }
  const __m128i k256 = _mm_set1_epi32(256);
  __m128i fxLo, fxHi, gxLo, gxHi, fyLo, fyHi, gyLo, gyHi;
  SpreadWeights(fx, fxLo, fxHi);
  SpreadWeights(_mm_sub_epi32(k256, fx), gxLo, gxHi);
  SpreadWeights(fy, fyLo, fyHi);
  SpreadWeights(_mm_sub_epi32(k256, fy), gyLo, gyHi);
  const __m128i round = _mm_set1_epi16(Rounding ? 128 : 0);
  auto lerp2 = [&](__m128i a00, __m128i a10, __m128i a01, __m128i a11, __m128i fxw, __m128i gxw,
                   __m128i fyw, __m128i gyw) {
    const __m128i upper = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a00, gxw), _mm_mullo_epi16(a10, fxw)), round),
        8);
    const __m128i lower = _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a01, gxw), _mm_mullo_epi16(a11, fxw)), round),
        8);
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(upper, gyw), _mm_mullo_epi16(lower, fyw)),
                      round),
        8);
  };
  const __m128i lo = lerp2(Lo16(t00), Lo16(t10), Lo16(t01), Lo16(t11), fxLo, gxLo, fyLo, gyLo);
  const __m128i hi = lerp2(Hi16(t00), Hi16(t10), Hi16(t01), Hi16(t11), fxHi, gxHi, fyHi, gyHi);
  const __m128i s = _mm_packus_epi16(lo, hi);
  if constexpr (Keyed) {
    return s;
  } else {
    return _mm_blendv_epi8(_mm_and_si128(s, ColourMask()), t00, _mm_and_si128(edgeX, edgeY));
  }
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
TAVRONA_ALWAYS_INLINE void BlendLinearSimd(const DrawPlan& p, const SampleRegion& region,
                                           const int32_t* ix, const int32_t* iy, const int32_t* fxy,
                                           int n, uint32_t* d, intptr_t prefetchBytes = 0) {
  const __m128i skip = _mm_set1_epi32(kSkip), ones = _mm_set1_epi32(-1);
  const __m128i colour = _mm_set1_epi32(static_cast<int>(p.colour));
  const __m128i opacity16 = _mm_set1_epi16(static_cast<short>(p.opacity));
  const __m128i opacity32 = _mm_set1_epi32(static_cast<int>(p.opacity));
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i vx = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ix + i));
    __m128i valid = _mm_xor_si128(_mm_cmpeq_epi32(vx, skip), ones);
    if (None(valid)) continue;
    const __m128i vy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(iy + i));
    const __m128i vf = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fxy + i));
    const __m128i s = SampleSimd<Rounding, Keyed>(p, region, vx, vy, vf, valid);
    if (prefetchBytes != 0 && ix[i] != kSkip) {
      PrefetchTexel(p.sourceTop, ix[i] - iy[i] * p.sourceWidth, prefetchBytes);
    }
    __m128i* dp = reinterpret_cast<__m128i*>(d + i);
    const __m128i dv = _mm_loadu_si128(dp);
    __m128i result;
    if constexpr (Keyed) {
      const __m128i alpha = _mm_srli_epi32(s, 24);
      valid = _mm_andnot_si128(_mm_cmpeq_epi32(alpha, _mm_setzero_si128()), valid);
      if (None(valid)) continue;
      const __m128i full = _mm_cmpeq_epi32(alpha, _mm_set1_epi32(255));
      const __m128i sc = Coloured ? MultiplyV(s, colour) : _mm_and_si128(s, ColourMask());
      __m128i w;
      if constexpr (Mode == 0 && !Opaque) {
        const __m128i scaled = _mm_srli_epi32(
            _mm_mullo_epi32(_mm_mullo_epi32(alpha, opacity32), _mm_set1_epi32(0x8081)), 23);
        w = _mm_blendv_epi8(scaled, opacity32, full);
      } else {
        w = _mm_blendv_epi8(alpha, _mm_set1_epi32(256), full);
      }
      __m128i wLo, wHi;
      SpreadWeights(w, wLo, wHi);
      const __m128i mixed = MixV(wLo, wHi, sc, dv);
      if constexpr (Mode == 0) {
        result = mixed;
      } else {
        result = BlendV<Mode, true>(mixed, dv, opacity16);
      }
    } else {
      const __m128i sc = Coloured ? MultiplyV(s, colour) : s;
      result = BlendV<Mode, Opaque>(sc, dv, opacity16);
    }
    _mm_storeu_si128(dp, _mm_blendv_epi8(dv, result, valid));
  }
  if (i < n) {
    BlendLinear<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, ix + i, iy + i, fxy + i, n - i,
                                                         d + i);
  }
}
