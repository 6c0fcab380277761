// The kernels' row loops built for the avx2 instruction set (compile flags in CMakeLists.txt).
#define TAVRONA_KERNEL_NS avx2
#include "render/kernel_rows.h"
