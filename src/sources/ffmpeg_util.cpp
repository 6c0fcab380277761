#include "sources/ffmpeg_util.h"

namespace tavrona {

std::string FfmpegErrorText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(error, text, sizeof text) < 0) return "FFmpeg error " + std::to_string(error);
  return text;
}

}  // namespace tavrona
