// The vector layer of the kernels' row loops for AVX2: eight 32-bit lanes per integer vector,
// four doubles per double vector. kernel_rows_simd.h writes the loops once over these
// operations; kernel_vec_sse41.h gives the same operations on 128-bit vectors. Included by
// kernel_rows.h inside the variant's namespace when __AVX2__ is set.

using I = __m256i;  // kLanes 32-bit lanes, or twice as many 16-bit channels
using D = __m256d;  // kLanes / 2 doubles
constexpr int kLanes = 8;

TAVRONA_ALWAYS_INLINE I Zero() {
  return _mm256_setzero_si256();
}
TAVRONA_ALWAYS_INLINE I Set1(int32_t v) {
  return _mm256_set1_epi32(v);
}
TAVRONA_ALWAYS_INLINE I Set1x16(int16_t v) {
  return _mm256_set1_epi16(v);
}
TAVRONA_ALWAYS_INLINE I Load(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
TAVRONA_ALWAYS_INLINE void Store(void* p, I v) {
  _mm256_storeu_si256(static_cast<__m256i*>(p), v);
}
TAVRONA_ALWAYS_INLINE I And(I a, I b) {
  return _mm256_and_si256(a, b);
}
TAVRONA_ALWAYS_INLINE I Or(I a, I b) {
  return _mm256_or_si256(a, b);
}
TAVRONA_ALWAYS_INLINE I Xor(I a, I b) {
  return _mm256_xor_si256(a, b);
}
TAVRONA_ALWAYS_INLINE I AndNot(I a, I b) {
  return _mm256_andnot_si256(a, b);
}  // ~a & b
TAVRONA_ALWAYS_INLINE I Add32(I a, I b) {
  return _mm256_add_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub32(I a, I b) {
  return _mm256_sub_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul32(I a, I b) {
  return _mm256_mullo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Min32(I a, I b) {
  return _mm256_min_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Eq32(I a, I b) {
  return _mm256_cmpeq_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Gt32(I a, I b) {
  return _mm256_cmpgt_epi32(a, b);
}
// Per byte: ifTrue where the mask byte's top bit is set, else ifFalse.
TAVRONA_ALWAYS_INLINE I Select(I mask, I ifTrue, I ifFalse) {
  return _mm256_blendv_epi8(ifFalse, ifTrue, mask);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srai32(I a) {
  return _mm256_srai_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli32(I a) {
  return _mm256_srli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli32(I a) {
  return _mm256_slli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli16(I a) {
  return _mm256_srli_epi16(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli16(I a) {
  return _mm256_slli_epi16(a, N);
}
TAVRONA_ALWAYS_INLINE I Add16(I a, I b) {
  return _mm256_add_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub16(I a, I b) {
  return _mm256_sub_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul16(I a, I b) {
  return _mm256_mullo_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I MulHiU16(I a, I b) {
  return _mm256_mulhi_epu16(a, b);
}
// Per 16-bit lane: u0 s0 + u1 s1 of the unsigned bytes of u and the signed bytes of s, saturated.
TAVRONA_ALWAYS_INLINE I MulAddPairs(I u, I s) {
  return _mm256_maddubs_epi16(u, s);
}
TAVRONA_ALWAYS_INLINE I AddSatU8(I a, I b) {
  return _mm256_adds_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I SubSatU8(I a, I b) {
  return _mm256_subs_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo8(I a, I b) {
  return _mm256_unpacklo_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi8(I a, I b) {
  return _mm256_unpackhi_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo32(I a, I b) {
  return _mm256_unpacklo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi32(I a, I b) {
  return _mm256_unpackhi_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I PackU16(I a, I b) {
  return _mm256_packus_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Shuffle8(I a, I control) {
  return _mm256_shuffle_epi8(a, control);
}
TAVRONA_ALWAYS_INLINE I Permute32(I a, I index) {
  return _mm256_permutevar8x32_epi32(a, index);
}
// Stores the lanes of v whose mask is set; the others are neither read nor written. vpmaskmovd
// measured faster than a load, a blend and a plain store: keyed whole-texel copies of a
// 1920 x 1080 picture at its own place 10-20 % faster, other keyed copies no slower.
TAVRONA_ALWAYS_INLINE void StoreWhere(void* p, I mask, I v) {
  _mm256_maskstore_epi32(static_cast<int*>(p), mask, v);
}
TAVRONA_ALWAYS_INLINE bool AllSet(I mask) {
  return _mm256_movemask_epi8(mask) == -1;
}
TAVRONA_ALWAYS_INLINE bool NoneSet(I mask) {
  return _mm256_testz_si256(mask, mask) != 0;
}
TAVRONA_ALWAYS_INLINE int32_t Lane0(I a) {
  return _mm256_cvtsi256_si32(a);
}
TAVRONA_ALWAYS_INLINE I Iota() {
  return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
}

TAVRONA_ALWAYS_INLINE D SetD(double v) {
  return _mm256_set1_pd(v);
}
TAVRONA_ALWAYS_INLINE D AddD(D a, D b) {
  return _mm256_add_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D SubD(D a, D b) {
  return _mm256_sub_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D MulD(D a, D b) {
  return _mm256_mul_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D DivD(D a, D b) {
  return _mm256_div_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D AndD(D a, D b) {
  return _mm256_and_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D GeD(D a, D b) {
  return _mm256_cmp_pd(a, b, _CMP_GE_OQ);
}
TAVRONA_ALWAYS_INLINE D LtD(D a, D b) {
  return _mm256_cmp_pd(a, b, _CMP_LT_OQ);
}
TAVRONA_ALWAYS_INLINE D RoundToFloatD(D a) {
  return _mm256_cvtps_pd(_mm256_cvtpd_ps(a));
}
TAVRONA_ALWAYS_INLINE D FloorD(D a) {
  return _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
TAVRONA_ALWAYS_INLINE D TruncD(D a) {
  return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
// Lanes 0.. kLanes/2 - 1 and kLanes/2 .. kLanes - 1 of the pixels x, x + 1, ...
TAVRONA_ALWAYS_INLINE D IotaD() {
  return _mm256_set_pd(3, 2, 1, 0);
}
// Truncated conversion of the pixels in a (first half) and b (second half); 0x80000000 where a
// value does not fit in 32 bits (also for NaN).
TAVRONA_ALWAYS_INLINE I TruncToInt(D a, D b) {
  return _mm256_set_m128i(_mm256_cvttpd_epi32(b), _mm256_cvttpd_epi32(a));
}
// Double-lane masks of the two halves as 32-bit lane masks.
TAVRONA_ALWAYS_INLINE I NarrowMask(D a, D b) {
  const __m256i idx = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  return _mm256_set_m128i(
      _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(b), idx)),
      _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(a), idx)));
}

// 64-bit lanes for the incremental mapping. Pixel order of the two vectors that hold the
// kLanes values: a holds pixels 0, 1, 4, 5 and b pixels 2, 3, 6, 7, so that taking the high
// (or low) halves of both gives the pixels in order.
constexpr int kPairOrderA[4] = {0, 1, 4, 5};
constexpr int kPairOrderB[4] = {2, 3, 6, 7};
TAVRONA_ALWAYS_INLINE I Add64(I a, I b) {
  return _mm256_add_epi64(a, b);
}
TAVRONA_ALWAYS_INLINE I Set1x64(int64_t v) {
  return _mm256_set1_epi64x(v);
}
TAVRONA_ALWAYS_INLINE I HighHalves(I a, I b) {
  return _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}
TAVRONA_ALWAYS_INLINE I LowHalves(I a, I b) {
  return _mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// kLanes texels at src + off where valid, 0 elsewhere. Lanes that are not valid read the texel
// at src + safe instead (a texel of the region), so no lane reads outside the region.
TAVRONA_ALWAYS_INLINE I Gather(const int* src, I off, I valid, int32_t safe) {
  return _mm256_mask_i32gather_epi32(Zero(), src, Select(valid, off, Set1(safe)), valid, 4);
}

// Two neighbouring texels per lane: left = src[o[k]], right = src[o[k] + 1].
TAVRONA_ALWAYS_INLINE void GatherPairs(const int* src, const int32_t* o, I& left, I& right) {
  auto two = [&](int k) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k])),
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
}
