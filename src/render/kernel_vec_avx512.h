// The vector layer of the kernels' row loops for AVX-512 (F, BW, DQ, VL): sixteen 32-bit lanes per
// integer vector, eight doubles per double vector; the same operations as kernel_vec_avx2.h.
// Included by kernel_rows.h inside the variant's namespace when __AVX512BW__ is set.
//
// The row loops treat a comparison result as a vector whose lanes are all ones or all zeros, as
// the narrower layers give it; here the comparisons produce mask registers, turned into such
// vectors (vpmovm2d) where the loops want them. Select is a bitwise choice (vpternlogd), which is
// the same as the narrower layers' byte-wise blend for those whole-lane masks.
//
// Byte and 16-bit operations (unpacking, packing, shuffles) work within each 128-bit block, as
// in the narrower layers, so that Lo16 / Hi16 / PackU16 and SpreadWeights pair up the same way.

using I = __m512i;  // kLanes 32-bit lanes, or twice as many 16-bit channels
using D = __m512d;  // kLanes / 2 doubles
constexpr int kLanes = 16;

TAVRONA_ALWAYS_INLINE __mmask16 MaskOf(I mask) {
  return _mm512_movepi32_mask(mask);
}
TAVRONA_ALWAYS_INLINE I VectorOf(__mmask16 mask) {
  return _mm512_movm_epi32(mask);
}

TAVRONA_ALWAYS_INLINE I Zero() {
  return _mm512_setzero_si512();
}
TAVRONA_ALWAYS_INLINE I Set1(int32_t v) {
  return _mm512_set1_epi32(v);
}
TAVRONA_ALWAYS_INLINE I Set1x16(int16_t v) {
  return _mm512_set1_epi16(v);
}
TAVRONA_ALWAYS_INLINE I Load(const void* p) {
  return _mm512_loadu_si512(p);
}
TAVRONA_ALWAYS_INLINE void Store(void* p, I v) {
  _mm512_storeu_si512(p, v);
}
TAVRONA_ALWAYS_INLINE I And(I a, I b) {
  return _mm512_and_si512(a, b);
}
TAVRONA_ALWAYS_INLINE I Or(I a, I b) {
  return _mm512_or_si512(a, b);
}
TAVRONA_ALWAYS_INLINE I Xor(I a, I b) {
  return _mm512_xor_si512(a, b);
}
TAVRONA_ALWAYS_INLINE I AndNot(I a, I b) {
  return _mm512_andnot_si512(a, b);
}  // ~a & b
TAVRONA_ALWAYS_INLINE I Add32(I a, I b) {
  return _mm512_add_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub32(I a, I b) {
  return _mm512_sub_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul32(I a, I b) {
  return _mm512_mullo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Min32(I a, I b) {
  return _mm512_min_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Eq32(I a, I b) {
  return VectorOf(_mm512_cmpeq_epi32_mask(a, b));
}
TAVRONA_ALWAYS_INLINE I Gt32(I a, I b) {
  return VectorOf(_mm512_cmpgt_epi32_mask(a, b));
}
// ifTrue where the mask's bits are set, else ifFalse (mask lanes all ones or all zeros).
TAVRONA_ALWAYS_INLINE I Select(I mask, I ifTrue, I ifFalse) {
  return _mm512_ternarylogic_epi32(mask, ifTrue, ifFalse, 0xCA);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srai32(I a) {
  return _mm512_srai_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli32(I a) {
  return _mm512_srli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli32(I a) {
  return _mm512_slli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli16(I a) {
  return _mm512_srli_epi16(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli16(I a) {
  return _mm512_slli_epi16(a, N);
}
TAVRONA_ALWAYS_INLINE I Add16(I a, I b) {
  return _mm512_add_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub16(I a, I b) {
  return _mm512_sub_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul16(I a, I b) {
  return _mm512_mullo_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I MulHiU16(I a, I b) {
  return _mm512_mulhi_epu16(a, b);
}
// Per 16-bit lane: u0 s0 + u1 s1 of the unsigned bytes of u and the signed bytes of s, saturated.
TAVRONA_ALWAYS_INLINE I MulAddPairs(I u, I s) {
  return _mm512_maddubs_epi16(u, s);
}
TAVRONA_ALWAYS_INLINE I AddSatU8(I a, I b) {
  return _mm512_adds_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I SubSatU8(I a, I b) {
  return _mm512_subs_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo8(I a, I b) {
  return _mm512_unpacklo_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi8(I a, I b) {
  return _mm512_unpackhi_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo32(I a, I b) {
  return _mm512_unpacklo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi32(I a, I b) {
  return _mm512_unpackhi_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I PackU16(I a, I b) {
  return _mm512_packus_epi16(a, b);
}
// Lane k of the result is lane index[k] of a (index 0..kLanes - 1).
TAVRONA_ALWAYS_INLINE I Permute32(I a, I index) {
  return _mm512_permutexvar_epi32(index, a);
}
// Stores the lanes of v whose mask is set; the others are neither read nor written. Measured
// faster than a load, a choice and a plain store: keyed whole-texel copies of a 1920 x 1080
// picture at its own place 10-25 % faster, other keyed copies no slower.
TAVRONA_ALWAYS_INLINE void StoreWhere(void* p, I mask, I v) {
  _mm512_mask_storeu_epi32(p, MaskOf(mask), v);
}
TAVRONA_ALWAYS_INLINE bool AllSet(I mask) {
  return MaskOf(mask) == 0xFFFF;
}
TAVRONA_ALWAYS_INLINE bool NoneSet(I mask) {
  return _mm512_test_epi32_mask(mask, mask) == 0;
}
TAVRONA_ALWAYS_INLINE int32_t Lane0(I a) {
  return _mm_cvtsi128_si32(_mm512_castsi512_si128(a));
}

TAVRONA_ALWAYS_INLINE D SetD(double v) {
  return _mm512_set1_pd(v);
}
TAVRONA_ALWAYS_INLINE D AddD(D a, D b) {
  return _mm512_add_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D SubD(D a, D b) {
  return _mm512_sub_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D MulD(D a, D b) {
  return _mm512_mul_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D DivD(D a, D b) {
  return _mm512_div_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D AndD(D a, D b) {
  return _mm512_and_pd(a, b);
}
// Comparisons as double vectors whose lanes are all ones or all zeros.
TAVRONA_ALWAYS_INLINE D GeD(D a, D b) {
  return _mm512_castsi512_pd(_mm512_movm_epi64(_mm512_cmp_pd_mask(a, b, _CMP_GE_OQ)));
}
TAVRONA_ALWAYS_INLINE D LtD(D a, D b) {
  return _mm512_castsi512_pd(_mm512_movm_epi64(_mm512_cmp_pd_mask(a, b, _CMP_LT_OQ)));
}
TAVRONA_ALWAYS_INLINE D RoundToFloatD(D a) {
  return _mm512_cvtps_pd(_mm512_cvtpd_ps(a));
}
TAVRONA_ALWAYS_INLINE D FloorD(D a) {
  return _mm512_roundscale_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
TAVRONA_ALWAYS_INLINE D TruncD(D a) {
  return _mm512_roundscale_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
// Lanes 0.. kLanes/2 - 1 and kLanes/2 .. kLanes - 1 of the pixels x, x + 1, ...
TAVRONA_ALWAYS_INLINE D IotaD() {
  return _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
}
// Truncated conversion of the pixels in a (first half) and b (second half); 0x80000000 where a
// value does not fit in 32 bits (also for NaN).
TAVRONA_ALWAYS_INLINE I TruncToInt(D a, D b) {
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(a)),
                            _mm512_cvttpd_epi32(b), 1);
}
// Double-lane masks of the two halves as 32-bit lane masks.
TAVRONA_ALWAYS_INLINE I NarrowMask(D a, D b) {
  const __mmask8 low = _mm512_movepi64_mask(_mm512_castpd_si512(a));
  const __mmask8 high = _mm512_movepi64_mask(_mm512_castpd_si512(b));
  return VectorOf(_mm512_kunpackb(high, low));
}

// 64-bit lanes for the incremental mapping. Pixel order of the two vectors that hold the
// kLanes values: in each 128-bit block k, a holds pixels 4k, 4k + 1 and b pixels 4k + 2,
// 4k + 3, so that taking the high (or low) halves of both gives the pixels in order.
constexpr int kPairOrderA[8] = {0, 1, 4, 5, 8, 9, 12, 13};
constexpr int kPairOrderB[8] = {2, 3, 6, 7, 10, 11, 14, 15};
TAVRONA_ALWAYS_INLINE I Add64(I a, I b) {
  return _mm512_add_epi64(a, b);
}
TAVRONA_ALWAYS_INLINE I Set1x64(int64_t v) {
  return _mm512_set1_epi64(v);
}
TAVRONA_ALWAYS_INLINE I HighHalves(I a, I b) {
  return _mm512_castps_si512(
      _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}
TAVRONA_ALWAYS_INLINE I LowHalves(I a, I b) {
  return _mm512_castps_si512(
      _mm512_shuffle_ps(_mm512_castsi512_ps(a), _mm512_castsi512_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// kLanes texels at src + off where valid, 0 elsewhere. Lanes that are not valid read the texel
// at src + safe instead (a texel of the region), so no lane reads outside the region.
TAVRONA_ALWAYS_INLINE I Gather(const int* src, I off, I valid, int32_t safe) {
  return _mm512_mask_i32gather_epi32(Zero(), MaskOf(valid), Select(valid, off, Set1(safe)), src,
                                     4);
}

// Two neighbouring texels per lane: left = src[o[k]], right = src[o[k] + 1]. The pairs are
// loaded as single 64-bit words (cheaper than a gather where the pairs are scattered) and
// separated with two cross-lane permutations.
TAVRONA_ALWAYS_INLINE void GatherPairs(const int* src, const int32_t* o, I& left, I& right) {
  auto two = [&](int k) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k])),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k + 1])));
  };
  auto four = [&](int k) { return _mm256_set_m128i(two(k + 2), two(k)); };
  const I a = _mm512_inserti64x4(_mm512_castsi256_si512(four(0)), four(4), 1);    // pixels 0..7
  const I b = _mm512_inserti64x4(_mm512_castsi256_si512(four(8)), four(12), 1);   // 8..15
  const I even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  left = _mm512_permutex2var_epi32(a, even, b);
  right = _mm512_permutex2var_epi32(a, Add32(even, Set1(1)), b);
}
