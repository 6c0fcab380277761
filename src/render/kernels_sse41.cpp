// The kernels' row loops built for the sse41 instruction set (compile flags in CMakeLists.txt).
#define TAVRONA_KERNEL_NS sse41
#include "render/kernel_rows.h"
