// The kernels' row loops built for the portable instruction set (compile flags in CMakeLists.txt).
#define TAVRONA_KERNEL_NS portable
#include "render/kernel_rows.h"
