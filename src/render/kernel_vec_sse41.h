// The vector layer of the kernels' row loops for SSE4.1: four 32-bit lanes per integer vector,
// two doubles per double vector; the same operations as kernel_vec_avx2.h. Included by
// kernel_rows.h inside the variant's namespace when __SSE4_1__ is set and __AVX2__ is not.

using I = __m128i;
using D = __m128d;
constexpr int kLanes = 4;

TAVRONA_ALWAYS_INLINE I Zero() {
  return _mm_setzero_si128();
}
TAVRONA_ALWAYS_INLINE I Set1(int32_t v) {
  return _mm_set1_epi32(v);
}
TAVRONA_ALWAYS_INLINE I Set1x16(int16_t v) {
  return _mm_set1_epi16(v);
}
TAVRONA_ALWAYS_INLINE I Load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
TAVRONA_ALWAYS_INLINE void Store(void* p, I v) {
  _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
TAVRONA_ALWAYS_INLINE I And(I a, I b) {
  return _mm_and_si128(a, b);
}
TAVRONA_ALWAYS_INLINE I Or(I a, I b) {
  return _mm_or_si128(a, b);
}
TAVRONA_ALWAYS_INLINE I Xor(I a, I b) {
  return _mm_xor_si128(a, b);
}
TAVRONA_ALWAYS_INLINE I AndNot(I a, I b) {
  return _mm_andnot_si128(a, b);
}
TAVRONA_ALWAYS_INLINE I Add32(I a, I b) {
  return _mm_add_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub32(I a, I b) {
  return _mm_sub_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul32(I a, I b) {
  return _mm_mullo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Min32(I a, I b) {
  return _mm_min_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Eq32(I a, I b) {
  return _mm_cmpeq_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Gt32(I a, I b) {
  return _mm_cmpgt_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I Select(I mask, I ifTrue, I ifFalse) {
  return _mm_blendv_epi8(ifFalse, ifTrue, mask);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srai32(I a) {
  return _mm_srai_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli32(I a) {
  return _mm_srli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli32(I a) {
  return _mm_slli_epi32(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Srli16(I a) {
  return _mm_srli_epi16(a, N);
}
template <int N>
TAVRONA_ALWAYS_INLINE I Slli16(I a) {
  return _mm_slli_epi16(a, N);
}
TAVRONA_ALWAYS_INLINE I Add16(I a, I b) {
  return _mm_add_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Sub16(I a, I b) {
  return _mm_sub_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Mul16(I a, I b) {
  return _mm_mullo_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I MulHiU16(I a, I b) {
  return _mm_mulhi_epu16(a, b);
}
// Per 16-bit lane: u0 s0 + u1 s1 of the unsigned bytes of u and the signed bytes of s, saturated.
TAVRONA_ALWAYS_INLINE I MulAddPairs(I u, I s) {
  return _mm_maddubs_epi16(u, s);
}
TAVRONA_ALWAYS_INLINE I AddSatU8(I a, I b) {
  return _mm_adds_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I SubSatU8(I a, I b) {
  return _mm_subs_epu8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo8(I a, I b) {
  return _mm_unpacklo_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi8(I a, I b) {
  return _mm_unpackhi_epi8(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackLo32(I a, I b) {
  return _mm_unpacklo_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I UnpackHi32(I a, I b) {
  return _mm_unpackhi_epi32(a, b);
}
TAVRONA_ALWAYS_INLINE I PackU16(I a, I b) {
  return _mm_packus_epi16(a, b);
}
TAVRONA_ALWAYS_INLINE I Shuffle8(I a, I control) {
  return _mm_shuffle_epi8(a, control);
}
// Lane k of the result is lane index[k] of a (index 0..3), through a byte shuffle.
TAVRONA_ALWAYS_INLINE I Permute32(I a, I index) {
  const I control =
      _mm_add_epi32(_mm_mullo_epi32(index, _mm_set1_epi32(0x04040404)), _mm_set1_epi32(0x03020100));
  return _mm_shuffle_epi8(a, control);
}
// Stores the lanes of v whose mask is set (SSE4.1 has no 32-bit masked store: the others are
// read and written back unchanged, so the caller must own all kLanes pixels).
TAVRONA_ALWAYS_INLINE void StoreWhere(void* p, I mask, I v) {
  Store(p, Select(mask, v, Load(p)));
}
TAVRONA_ALWAYS_INLINE bool AllSet(I mask) {
  return _mm_movemask_epi8(mask) == 0xFFFF;
}
TAVRONA_ALWAYS_INLINE bool NoneSet(I mask) {
  return _mm_testz_si128(mask, mask) != 0;
}
TAVRONA_ALWAYS_INLINE int32_t Lane0(I a) {
  return _mm_cvtsi128_si32(a);
}
TAVRONA_ALWAYS_INLINE I Iota() {
  return _mm_setr_epi32(0, 1, 2, 3);
}

TAVRONA_ALWAYS_INLINE D SetD(double v) {
  return _mm_set1_pd(v);
}
TAVRONA_ALWAYS_INLINE D AddD(D a, D b) {
  return _mm_add_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D SubD(D a, D b) {
  return _mm_sub_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D MulD(D a, D b) {
  return _mm_mul_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D DivD(D a, D b) {
  return _mm_div_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D AndD(D a, D b) {
  return _mm_and_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D GeD(D a, D b) {
  return _mm_cmpge_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D LtD(D a, D b) {
  return _mm_cmplt_pd(a, b);
}
TAVRONA_ALWAYS_INLINE D RoundToFloatD(D a) {
  return _mm_cvtps_pd(_mm_cvtpd_ps(a));
}
TAVRONA_ALWAYS_INLINE D FloorD(D a) {
  return _mm_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}
TAVRONA_ALWAYS_INLINE D TruncD(D a) {
  return _mm_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}
TAVRONA_ALWAYS_INLINE D IotaD() {
  return _mm_set_pd(1, 0);
}
TAVRONA_ALWAYS_INLINE I TruncToInt(D a, D b) {
  return _mm_unpacklo_epi64(_mm_cvttpd_epi32(a), _mm_cvttpd_epi32(b));
}
TAVRONA_ALWAYS_INLINE I NarrowMask(D a, D b) {
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castpd_ps(a), _mm_castpd_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

constexpr int kPairOrderA[2] = {0, 1};
constexpr int kPairOrderB[2] = {2, 3};
TAVRONA_ALWAYS_INLINE I Add64(I a, I b) {
  return _mm_add_epi64(a, b);
}
TAVRONA_ALWAYS_INLINE I Set1x64(int64_t v) {
  return _mm_set1_epi64x(v);
}
TAVRONA_ALWAYS_INLINE I HighHalves(I a, I b) {
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}
TAVRONA_ALWAYS_INLINE I LowHalves(I a, I b) {
  return _mm_castps_si128(
      _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

TAVRONA_ALWAYS_INLINE I Gather(const int* src, I off, I valid, int32_t safe) {
  alignas(16) int32_t o[4];
  Store(o, Select(valid, off, Set1(safe)));
  return And(_mm_setr_epi32(src[o[0]], src[o[1]], src[o[2]], src[o[3]]), valid);
}

TAVRONA_ALWAYS_INLINE void GatherPairs(const int* src, const int32_t* o, I& left, I& right) {
  auto two = [&](int k) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k])),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + o[k + 1])));
  };
  const __m128 a = _mm_castsi128_ps(two(0)), b = _mm_castsi128_ps(two(2));
  left = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
  right = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}
