/* A configurable image plug-in for the tests, built several times with different settings:
 *   TEST_MAGIC           the first bytes of the files it claims
 *   TEST_HAS_PROBE       0: the module exports no IsSupported
 *   TEST_GET_RESULT      GetPicture's result; nonzero fails without a picture
 *   TEST_PICTURE         1: 8-bit picture with a two-entry colour table
 *                        2: 24-bit picture
 *                        3: 16-bit 5-6-5 bit-field picture
 *                        4: a 24-bit header with a negative height (rows top-down)
 *   TEST_COLOUR          0x00RRGGBB of the picture's pixels
 * It records what it was called with, for the tests to read through dlsym. */
#include <stdlib.h>
#include <string.h>

#include "sources/image_plugin.h"

TAVRONA_SPI_EXPORT int tst_is_supported_calls = 0;
TAVRONA_SPI_EXPORT int tst_get_picture_calls = 0;
TAVRONA_SPI_EXPORT unsigned char tst_first_head[TAVRONA_SPI_PROBE_SIZE];
TAVRONA_SPI_EXPORT intptr_t tst_last_length = -1;
TAVRONA_SPI_EXPORT unsigned int tst_last_flag = 99;

#define PICTURE_WIDTH 3
#define PICTURE_HEIGHT 2

#if TEST_HAS_PROBE
TAVRONA_SPI_EXPORT int IsSupported(const char* fileName, const void* head) {
  if (fileName != NULL) return 0;
  if (tst_is_supported_calls++ == 0) memcpy(tst_first_head, head, TAVRONA_SPI_PROBE_SIZE);
  /* Touch the whole probe block: it must be readable however short the file is. */
  unsigned sum = 0;
  for (int i = 0; i < TAVRONA_SPI_PROBE_SIZE; ++i) sum += ((const unsigned char*)head)[i];
  (void)sum;
  return memcmp(head, TEST_MAGIC, sizeof TEST_MAGIC - 1) == 0;
}
#endif

static int MakePicture(void** info, void** pixels) {
  const uint32_t colour = TEST_COLOUR;
  const uint8_t blue = colour & 0xFF, green = (colour >> 8) & 0xFF, red = (colour >> 16) & 0xFF;
  int bits = 24;
  uint32_t compression = TAVRONA_BI_RGB;
  size_t tableBytes = 4;
#if TEST_PICTURE == 1
  bits = 8;
  tableBytes = 2 * sizeof(TavronaRgbQuad);
#elif TEST_PICTURE == 3
  bits = 16;
  compression = TAVRONA_BI_BITFIELDS;
  tableBytes = 12;
#endif
  const size_t stride = ((size_t)bits * PICTURE_WIDTH + 31) / 32 * 4;
  TavronaBitmapInfoHeader* h = calloc(1, sizeof *h + tableBytes);
  unsigned char* rows = calloc(PICTURE_HEIGHT, stride);
  if (h == NULL || rows == NULL) {
    free(h);
    free(rows);
    return 1;
  }
  h->biSize = sizeof *h;
  h->biWidth = PICTURE_WIDTH;
  h->biHeight = TEST_PICTURE == 4 ? -PICTURE_HEIGHT : PICTURE_HEIGHT;
  h->biPlanes = 1;
  h->biBitCount = (uint16_t)bits;
  h->biCompression = compression;
  unsigned char* table = (unsigned char*)(h + 1);
  for (int y = 0; y < PICTURE_HEIGHT; ++y) {
    unsigned char* row = rows + y * stride;
    for (int x = 0; x < PICTURE_WIDTH; ++x) {
#if TEST_PICTURE == 1
      row[x] = 1; /* every pixel is colour-table entry 1 */
#elif TEST_PICTURE == 3
      const uint16_t v = (uint16_t)(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
      row[2 * x] = v & 0xFF;
      row[2 * x + 1] = v >> 8;
#else
      row[3 * x] = blue;
      row[3 * x + 1] = green;
      row[3 * x + 2] = red;
#endif
    }
  }
#if TEST_PICTURE == 1
  h->biClrUsed = 2;
  const TavronaRgbQuad entries[2] = {{0, 0, 0, 0}, {blue, green, red, 0}};
  memcpy(table, entries, sizeof entries);
#elif TEST_PICTURE == 3
  const uint32_t masks[3] = {0xF800u, 0x07E0u, 0x001Fu};
  memcpy(table, masks, sizeof masks);
#else
  (void)table;
#endif
  *info = h;
  *pixels = rows;
  return 0;
}

TAVRONA_SPI_EXPORT int GetPicture(const char* data, intptr_t length, unsigned int flag,
                                  void** info, void** pixels, TavronaSpiProgress progress,
                                  intptr_t userValue) {
  (void)data;
  (void)progress;
  (void)userValue;
  ++tst_get_picture_calls;
  tst_last_length = length;
  tst_last_flag = flag;
  if (TEST_GET_RESULT != 0) return TEST_GET_RESULT;
  return MakePicture(info, pixels);
}
