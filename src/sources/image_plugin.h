/* Tavrona image plug-in interface (".spi" modules).
 *
 * A plug-in is a shared library with the extension ".spi" placed beside the Tavrona
 * executables. It is loaded with dlopen() at start-up (in file name order) and must export, with
 * C linkage and default visibility, the two functions below. This header is plain C and needs
 * nothing else from Tavrona: a third party can write a plug-in from it alone.
 *
 * Call order for one picture file:
 *   1. Probe. The program reads the first 2048 bytes of the file into a block padded with zero
 *      bytes (a shorter file arrives whole, followed by zeros) and asks every plug-in, in list
 *      order, IsSupported(NULL, block). The first nonzero answer ends the probe; if nobody
 *      answers nonzero, the file is not read any further.
 *   2. Decode. The program reads the whole file into memory (the block is padded with zeros to
 *      at least 2048 bytes, so the first 2048 bytes can always be read) and asks the plug-ins in
 *      list order IsSupported(NULL, data) again; the first that answers nonzero is asked
 *      GetPicture(data, length, TAVRONA_SPI_INPUT_MEMORY, &info, &pixels, NULL, 0). Its result
 *      is final: when it fails, no other plug-in is tried.
 *   A module without IsSupported is never asked anything; one without GetPicture is skipped in
 *   the decoding step.
 *
 * The picture a successful GetPicture returns, in two blocks that the plug-in allocates with the
 * C library's malloc() and that the program releases with free() (both sides use the process's
 * one shared C library):
 *   *info:   a BITMAPINFOHEADER (below; size field 40), followed by
 *              - for 1, 4 and 8 bits per pixel: the colour table, biClrUsed entries of
 *                TavronaRgbQuad (2^bits entries when biClrUsed is 0);
 *              - for 16 and 32 bits with compression TAVRONA_BI_BITFIELDS: three uint32_t
 *                masks, red, green and blue;
 *              - otherwise at least 4 bytes, which are ignored.
 *   *pixels: the rows, bottom row first (biHeight must be positive), each row padded to a
 *            multiple of 4 bytes: ((biBitCount * biWidth + 31) / 32) * 4 bytes per row,
 *            biHeight rows. Bit counts 1, 4, 8, 16, 24 and 32; compression TAVRONA_BI_RGB or
 *            TAVRONA_BI_BITFIELDS. 16-bit BI_RGB pixels are 5-5-5; 32-bit BI_RGB pixels are
 *            bytes blue, green, red and a fourth byte that is kept as it is (write 0).
 * On failure GetPicture returns nonzero after freeing whatever it allocated; the program does
 * not look at *info and *pixels then.
 *
 * All integers are little-endian and of the sizes given; addresses are full pointers.
 */
#ifndef TAVRONA_SOURCES_IMAGE_PLUGIN_H_
#define TAVRONA_SOURCES_IMAGE_PLUGIN_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of the probe block handed to IsSupported. */
#define TAVRONA_SPI_PROBE_SIZE 2048

/* GetPicture's input flag: data points to the file's bytes in memory (the only form the
 * program uses). With TAVRONA_SPI_INPUT_FILE, data is a NUL-terminated UTF-8 file name and
 * length is an offset into that file at which the picture starts. */
#define TAVRONA_SPI_INPUT_FILE 0u
#define TAVRONA_SPI_INPUT_MEMORY 1u

#define TAVRONA_BI_RGB 0u
#define TAVRONA_BI_BITFIELDS 3u

#pragma pack(push, 1)
typedef struct TavronaBitmapInfoHeader {
  uint32_t biSize; /* 40 */
  int32_t biWidth;
  int32_t biHeight; /* > 0: rows bottom-up */
  uint16_t biPlanes; /* 1 */
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage; /* 0 or the pixel block's size */
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} TavronaBitmapInfoHeader;

typedef struct TavronaRgbQuad {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
} TavronaRgbQuad;
#pragma pack(pop)

/* Progress callback a plug-in may call while decoding; a nonzero result asks it to stop. The
 * program passes NULL. */
typedef int (*TavronaSpiProgress)(int done, int total, intptr_t userValue);

/* fileName: the file's name, or NULL (the program always passes NULL).
 * head: the probe block, at least TAVRONA_SPI_PROBE_SIZE readable bytes.
 * Returns nonzero when the plug-in decodes this file. */
typedef int (*TavronaSpiIsSupported)(const char* fileName, const void* head);

/* data, length, flag: the input (see TAVRONA_SPI_INPUT_*).
 * info, pixels: receive the two malloc()ed blocks described above.
 * progress, userValue: optional progress callback and the value passed back to it.
 * Returns 0 on success, anything else on failure. */
typedef int (*TavronaSpiGetPicture)(const char* data, intptr_t length, unsigned int flag,
                                    void** info, void** pixels, TavronaSpiProgress progress,
                                    intptr_t userValue);

/* The export names. */
#define TAVRONA_SPI_IS_SUPPORTED "IsSupported"
#define TAVRONA_SPI_GET_PICTURE "GetPicture"

#if defined(__GNUC__)
#define TAVRONA_SPI_EXPORT __attribute__((visibility("default")))
#else
#define TAVRONA_SPI_EXPORT
#endif

/* Prototypes a plug-in implements (declared here so that its definitions are checked). */
TAVRONA_SPI_EXPORT int IsSupported(const char* fileName, const void* head);
TAVRONA_SPI_EXPORT int GetPicture(const char* data, intptr_t length, unsigned int flag,
                                  void** info, void** pixels, TavronaSpiProgress progress,
                                  intptr_t userValue);

#ifdef __cplusplus
}
#endif

#endif /* TAVRONA_SOURCES_IMAGE_PLUGIN_H_ */
